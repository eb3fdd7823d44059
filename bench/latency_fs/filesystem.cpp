#include "filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

namespace latency_fs {

namespace {

FileSystem& Fs(fuse_req_t req) { return *static_cast<FileSystem*>(fuse_req_userdata(req)); }

int Errno(int result) { return result < 0 ? errno : 0; }

void ReplyStatus(fuse_req_t req, int result) { fuse_reply_err(req, Errno(result)); }

// The backing file of INO for this request.
InodeFd At(fuse_req_t req, fuse_ino_t ino) { return Fs(req).inodes.Open(ino); }

// When the backing file could not be opened, answers the request with the
// reason and says so.
bool Refused(fuse_req_t req, const InodeFd& at) {
    if (at)
        return false;
    fuse_reply_err(req, at.error());
    return true;
}

void ReplyAttr(fuse_req_t req, const InodeFd& at) {
    struct stat st;
    if (fstatat(at.get(), "", &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0)
        return (void)fuse_reply_err(req, errno);
    fuse_reply_attr(req, &st, Fs(req).settings.cacheSeconds);
}

// The entry of NAME in the backing folder DIR, each name and its attributes kept by the
// kernel for the cache time; a missing name is remembered as missing for
// the negative cache time (an inode number of 0 says so).
int FillEntry(fuse_req_t req, int dir, const char* name, fuse_entry_param* e) {
    FileSystem& fs = Fs(req);
    *e = fuse_entry_param{};
    int error = fs.inodes.Lookup(dir, name, e);
    e->attr_timeout = fs.settings.cacheSeconds;
    e->entry_timeout = error == ENOENT ? fs.settings.negativeCacheSeconds : fs.settings.cacheSeconds;
    return error;
}

// After a request that made NAME: its entry, or the error of making it.
void ReplyMade(fuse_req_t req, int dir, const char* name, int result) {
    if (result < 0)
        return (void)fuse_reply_err(req, errno);
    fuse_entry_param e;
    int error = FillEntry(req, dir, name, &e);
    if (error)
        return (void)fuse_reply_err(req, error);
    fuse_reply_entry(req, &e);
}

// An open folder: its listing and where the kernel last read up to.
struct Dir {
    DIR* stream = nullptr;
    off_t offset = 0;
    dirent* pending = nullptr;  // read but not yet sent: did not fit
    std::mutex lock;
};

Dir* DirOf(fuse_file_info* fi) { return reinterpret_cast<Dir*>(static_cast<uintptr_t>(fi->fh)); }

// ---------------------------------------------------------------- handlers

void Init(void* userdata, fuse_conn_info* conn) {
    FileSystem& fs = *static_cast<FileSystem*>(userdata);
    Request r(fs.log, Kind::Init);
    // Without this the kernel serialises lookups and listings within one
    // folder, which no network file system client does. libfuse 3.14 leaves
    // it out of its answer even when asked (channel.cpp puts it in); asked
    // anyway, for a libfuse that honours it.
    if (conn->capable & FUSE_CAP_PARALLEL_DIROPS)
        conn->want |= FUSE_CAP_PARALLEL_DIROPS;
    else
        fprintf(stderr, "latency_fs: the kernel offers no parallel directory operations\n");
    // Each write goes to the server as it is made, as on a share mounted
    // without write caching.
    conn->want &= ~FUSE_CAP_WRITEBACK_CACHE;
    // Releases, forgets and read-ahead go in the background; let as many of
    // them be in flight as there are threads to serve them.
    conn->max_background = fs.settings.threads;
    conn->congestion_threshold = fs.settings.threads * 3 / 4;
}

void Lookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
    Request r(Fs(req).log, Kind::Lookup);
    InodeFd dir = At(req, parent);
    if (Refused(req, dir))
        return;
    fuse_entry_param e;
    int error = FillEntry(req, dir.get(), name, &e);
    if (error == ENOENT)
        return (void)fuse_reply_entry(req, &e);
    if (error)
        return (void)fuse_reply_err(req, error);
    fuse_reply_entry(req, &e);
}

void Forget(fuse_req_t req, fuse_ino_t ino, uint64_t nlookup) {
    Request r(Fs(req).log, Kind::Forget);
    Fs(req).inodes.Forget(ino, nlookup);
    fuse_reply_none(req);
}

void ForgetMulti(fuse_req_t req, size_t count, fuse_forget_data* forgets) {
    Request r(Fs(req).log, Kind::BatchForget);
    for (size_t i = 0; i < count; ++i)
        Fs(req).inodes.Forget(forgets[i].ino, forgets[i].nlookup);
    fuse_reply_none(req);
}

void Getattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
    Request r(Fs(req).log, Kind::Getattr);
    InodeFd at = At(req, ino);
    if (!Refused(req, at))
        ReplyAttr(req, at);
}

int SetTimes(const InodeFd& at, const struct stat* attr, int toSet, fuse_file_info* fi) {
    timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    if (toSet & FUSE_SET_ATTR_ATIME_NOW)
        times[0].tv_nsec = UTIME_NOW;
    else if (toSet & FUSE_SET_ATTR_ATIME)
        times[0] = attr->st_atim;
    if (toSet & FUSE_SET_ATTR_MTIME_NOW)
        times[1].tv_nsec = UTIME_NOW;
    else if (toSet & FUSE_SET_ATTR_MTIME)
        times[1] = attr->st_mtim;
    if (fi)
        return futimens(static_cast<int>(fi->fh), times);
    return utimensat(AT_FDCWD, at.ProcPath().c_str(), times, 0);
}

void Setattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int toSet, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Setattr);
    InodeFd at = At(req, ino);
    if (Refused(req, at))
        return;
    std::string path = at.ProcPath();
    int result = 0;
    if (toSet & FUSE_SET_ATTR_MODE)
        result = fi ? fchmod(static_cast<int>(fi->fh), attr->st_mode) : chmod(path.c_str(), attr->st_mode);
    if (result == 0 && (toSet & (FUSE_SET_ATTR_UID | FUSE_SET_ATTR_GID))) {
        uid_t uid = (toSet & FUSE_SET_ATTR_UID) ? attr->st_uid : static_cast<uid_t>(-1);
        gid_t gid = (toSet & FUSE_SET_ATTR_GID) ? attr->st_gid : static_cast<gid_t>(-1);
        result = fchownat(at.get(), "", uid, gid, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
    }
    if (result == 0 && (toSet & FUSE_SET_ATTR_SIZE))
        result = fi ? ftruncate(static_cast<int>(fi->fh), attr->st_size) : truncate(path.c_str(), attr->st_size);
    if (result == 0 && (toSet & (FUSE_SET_ATTR_ATIME | FUSE_SET_ATTR_MTIME | FUSE_SET_ATTR_ATIME_NOW |
                                 FUSE_SET_ATTR_MTIME_NOW)))
        result = SetTimes(at, attr, toSet, fi);
    if (result != 0)
        return (void)fuse_reply_err(req, errno);
    ReplyAttr(req, at);
}

void Readlink(fuse_req_t req, fuse_ino_t ino) {
    Request r(Fs(req).log, Kind::Readlink);
    InodeFd at = At(req, ino);
    if (Refused(req, at))
        return;
    char target[PATH_MAX + 1];
    ssize_t n = readlinkat(at.get(), "", target, PATH_MAX);
    if (n < 0)
        return (void)fuse_reply_err(req, errno);
    target[n] = '\0';
    fuse_reply_readlink(req, target);
}

// Makes NAME in the folder PARENT with MAKE(descriptor of the folder) and
// answers with its entry.
template <class Make>
void MakeEntry(fuse_req_t req, fuse_ino_t parent, const char* name, Make make) {
    InodeFd dir = At(req, parent);
    if (!Refused(req, dir))
        ReplyMade(req, dir.get(), name, make(dir.get()));
}

void Mknod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, dev_t rdev) {
    Request r(Fs(req).log, Kind::Mknod);
    MakeEntry(req, parent, name, [&](int dir) { return mknodat(dir, name, mode, rdev); });
}

void Mkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode) {
    Request r(Fs(req).log, Kind::Mkdir);
    MakeEntry(req, parent, name, [&](int dir) { return mkdirat(dir, name, mode); });
}

void Symlink(fuse_req_t req, const char* link, fuse_ino_t parent, const char* name) {
    Request r(Fs(req).log, Kind::Symlink);
    MakeEntry(req, parent, name, [&](int dir) { return symlinkat(link, dir, name); });
}

void Link(fuse_req_t req, fuse_ino_t ino, fuse_ino_t newparent, const char* newname) {
    Request r(Fs(req).log, Kind::Link);
    InodeFd at = At(req, ino);
    if (!Refused(req, at))
        MakeEntry(req, newparent, newname, [&](int dir) { return linkat(at.get(), "", dir, newname, AT_EMPTY_PATH); });
}

void Unlink(fuse_req_t req, fuse_ino_t parent, const char* name) {
    Request r(Fs(req).log, Kind::Unlink);
    InodeFd dir = At(req, parent);
    if (!Refused(req, dir))
        ReplyStatus(req, unlinkat(dir.get(), name, 0));
}

void Rmdir(fuse_req_t req, fuse_ino_t parent, const char* name) {
    Request r(Fs(req).log, Kind::Rmdir);
    InodeFd dir = At(req, parent);
    if (!Refused(req, dir))
        ReplyStatus(req, unlinkat(dir.get(), name, AT_REMOVEDIR));
}

void Rename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newparent, const char* newname,
            unsigned int flags) {
    Request r(Fs(req).log, Kind::Rename);
    InodeFd from = At(req, parent);
    if (Refused(req, from))
        return;
    InodeFd to = At(req, newparent);
    if (!Refused(req, to))
        ReplyStatus(req, renameat2(from.get(), name, to.get(), newname, flags));
}

void Open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Open);
    InodeFd at = At(req, ino);
    if (Refused(req, at))
        return;
    // The O_PATH descriptor cannot read or write; reopen the file itself.
    int fd = open(at.ProcPath().c_str(), (fi->flags & ~(O_NOFOLLOW | O_CREAT | O_EXCL)) | O_CLOEXEC);
    if (fd < 0)
        return (void)fuse_reply_err(req, errno);
    fi->fh = static_cast<uint64_t>(fd);
    if (fuse_reply_open(req, fi) != 0)
        close(fd);  // the opener was interrupted: no release will come
}

void Create(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Create);
    InodeFd dir = At(req, parent);
    if (Refused(req, dir))
        return;
    int fd = openat(dir.get(), name, ((fi->flags | O_CREAT) & ~O_NOFOLLOW) | O_CLOEXEC, mode);
    if (fd < 0)
        return (void)fuse_reply_err(req, errno);
    fuse_entry_param e;
    int error = FillEntry(req, dir.get(), name, &e);
    if (error) {
        close(fd);
        return (void)fuse_reply_err(req, error);
    }
    fi->fh = static_cast<uint64_t>(fd);
    if (fuse_reply_create(req, &e, fi) != 0) {
        close(fd);
        Fs(req).inodes.Forget(e.ino, 1);
    }
}

void Read(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Read);
    std::vector<char> buffer(size);
    ssize_t n = pread(static_cast<int>(fi->fh), buffer.data(), size, off);
    if (n < 0)
        return (void)fuse_reply_err(req, errno);
    fuse_reply_buf(req, buffer.data(), static_cast<size_t>(n));
}

void Write(fuse_req_t req, fuse_ino_t, const char* buf, size_t size, off_t off, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Write);
    ssize_t n = pwrite(static_cast<int>(fi->fh), buf, size, off);
    if (n < 0)
        return (void)fuse_reply_err(req, errno);
    fuse_reply_write(req, static_cast<size_t>(n));
}

void Flush(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Flush);
    // Closing a duplicate reports what the backing file system reports on
    // close (delayed write errors), as a close on the share would.
    int fd = dup(static_cast<int>(fi->fh));
    ReplyStatus(req, fd < 0 ? -1 : close(fd));
}

void Release(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Release);
    close(static_cast<int>(fi->fh));
    fuse_reply_err(req, 0);
}

void Fsync(fuse_req_t req, fuse_ino_t, int datasync, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Fsync);
    int fd = static_cast<int>(fi->fh);
    ReplyStatus(req, datasync ? fdatasync(fd) : fsync(fd));
}

void Opendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Opendir);
    InodeFd at = At(req, ino);
    if (Refused(req, at))
        return;
    int fd = openat(at.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* stream = fd < 0 ? nullptr : fdopendir(fd);
    if (!stream) {
        int error = errno;
        if (fd >= 0)
            close(fd);
        return (void)fuse_reply_err(req, error);
    }
    Dir* dir = new Dir;
    dir->stream = stream;
    fi->fh = reinterpret_cast<uintptr_t>(dir);
    if (fuse_reply_open(req, fi) != 0) {
        closedir(stream);
        delete dir;
    }
}

bool IsDotOrDotDot(const char* name) { return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])); }

// One part of a listing from OFF on, at most SIZE bytes. With PLUS each
// entry carries its attributes and counts as a lookup, as a network client
// fills its cache from a listing (NFS READDIRPLUS, the attributes of an SMB
// directory query); the kernel asks for that only where it expects lookups.
void List(fuse_req_t req, size_t size, off_t off, fuse_file_info* fi, bool plus) {
    Dir* dir = DirOf(fi);
    std::lock_guard<std::mutex> hold(dir->lock);
    if (off != dir->offset) {
        seekdir(dir->stream, off);
        dir->pending = nullptr;
        dir->offset = off;
    }
    std::vector<char> buffer(size);
    size_t used = 0;
    for (;;) {
        if (!dir->pending) {
            errno = 0;
            dir->pending = readdir(dir->stream);
            if (!dir->pending) {
                if (errno && used == 0)
                    return (void)fuse_reply_err(req, errno);
                break;  // the end, or an error that the next call reports
            }
        }
        const char* name = dir->pending->d_name;
        off_t next = dir->pending->d_off;
        size_t need;
        if (plus) {
            fuse_entry_param e{};
            // A name gone since the listing is sent without attributes.
            if (IsDotOrDotDot(name) || FillEntry(req, dirfd(dir->stream), name, &e) != 0) {
                e = fuse_entry_param{};
                e.attr.st_ino = dir->pending->d_ino;
                e.attr.st_mode = static_cast<mode_t>(DTTOIF(dir->pending->d_type));
            }
            need = fuse_add_direntry_plus(req, buffer.data() + used, size - used, name, &e, next);
            if (need > size - used && e.ino)
                Fs(req).inodes.Forget(e.ino, 1);  // not sent: the kernel takes no reference
        } else {
            struct stat st {};
            st.st_ino = dir->pending->d_ino;
            st.st_mode = static_cast<mode_t>(DTTOIF(dir->pending->d_type));
            need = fuse_add_direntry(req, buffer.data() + used, size - used, name, &st, next);
        }
        if (need > size - used)
            break;  // sent with the next call
        used += need;
        dir->pending = nullptr;
        dir->offset = next;
    }
    fuse_reply_buf(req, buffer.data(), used);
}

void Readdir(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Readdir);
    List(req, size, off, fi, false);
}

void Readdirplus(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Readdirplus);
    List(req, size, off, fi, true);
}

void Releasedir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Releasedir);
    Dir* dir = DirOf(fi);
    closedir(dir->stream);
    delete dir;
    fuse_reply_err(req, 0);
}

void Fsyncdir(fuse_req_t req, fuse_ino_t, int datasync, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Fsyncdir);
    int fd = dirfd(DirOf(fi)->stream);
    ReplyStatus(req, datasync ? fdatasync(fd) : fsync(fd));
}

void Statfs(fuse_req_t req, fuse_ino_t ino) {
    Request r(Fs(req).log, Kind::Statfs);
    struct statvfs st;
    InodeFd at = At(req, ino);
    if (Refused(req, at))
        return;
    if (fstatvfs(at.get(), &st) != 0)
        return (void)fuse_reply_err(req, errno);
    fuse_reply_statfs(req, &st);
}

// Extended attributes go through the file itself: an O_PATH descriptor
// has none of its own.
void Setxattr(fuse_req_t req, fuse_ino_t ino, const char* name, const char* value, size_t size, int flags) {
    Request r(Fs(req).log, Kind::Setxattr);
    if (!Fs(req).settings.xattr)
        return (void)fuse_reply_err(req, ENOSYS);
    InodeFd at = At(req, ino);
    if (!Refused(req, at))
        ReplyStatus(req, setxattr(at.ProcPath().c_str(), name, value, size, flags));
}

template <class Fetch>
void ReplyXattr(fuse_req_t req, size_t size, Fetch fetch) {
    if (size == 0) {
        ssize_t n = fetch(nullptr, 0);
        return (void)(n < 0 ? fuse_reply_err(req, errno) : fuse_reply_xattr(req, static_cast<size_t>(n)));
    }
    std::vector<char> buffer(size);
    ssize_t n = fetch(buffer.data(), size);
    if (n < 0)
        return (void)fuse_reply_err(req, errno);
    fuse_reply_buf(req, buffer.data(), static_cast<size_t>(n));
}

void Getxattr(fuse_req_t req, fuse_ino_t ino, const char* name, size_t size) {
    Request r(Fs(req).log, Kind::Getxattr);
    if (!Fs(req).settings.xattr)
        return (void)fuse_reply_err(req, ENOSYS);
    InodeFd at = At(req, ino);
    if (Refused(req, at))
        return;
    std::string path = at.ProcPath();
    ReplyXattr(req, size, [&](char* buf, size_t n) { return getxattr(path.c_str(), name, buf, n); });
}

void Listxattr(fuse_req_t req, fuse_ino_t ino, size_t size) {
    Request r(Fs(req).log, Kind::Listxattr);
    if (!Fs(req).settings.xattr)
        return (void)fuse_reply_err(req, ENOSYS);
    InodeFd at = At(req, ino);
    if (Refused(req, at))
        return;
    std::string path = at.ProcPath();
    ReplyXattr(req, size, [&](char* buf, size_t n) { return listxattr(path.c_str(), buf, n); });
}

void Removexattr(fuse_req_t req, fuse_ino_t ino, const char* name) {
    Request r(Fs(req).log, Kind::Removexattr);
    if (!Fs(req).settings.xattr)
        return (void)fuse_reply_err(req, ENOSYS);
    InodeFd at = At(req, ino);
    if (!Refused(req, at))
        ReplyStatus(req, removexattr(at.ProcPath().c_str(), name));
}

void Access(fuse_req_t req, fuse_ino_t ino, int mask) {
    Request r(Fs(req).log, Kind::Access);
    InodeFd at = At(req, ino);
    if (!Refused(req, at))
        ReplyStatus(req, faccessat(AT_FDCWD, at.ProcPath().c_str(), mask, 0));
}

void Fallocate(fuse_req_t req, fuse_ino_t, int mode, off_t offset, off_t length, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Fallocate);
    ReplyStatus(req, fallocate(static_cast<int>(fi->fh), mode, offset, length));
}

void Lseek(fuse_req_t req, fuse_ino_t, off_t off, int whence, fuse_file_info* fi) {
    Request r(Fs(req).log, Kind::Lseek);
    off_t at = lseek(static_cast<int>(fi->fh), off, whence);
    if (at < 0)
        return (void)fuse_reply_err(req, errno);
    fuse_reply_lseek(req, at);
}

void CopyFileRange(fuse_req_t req, fuse_ino_t, off_t offIn, fuse_file_info* fiIn, fuse_ino_t, off_t offOut,
                   fuse_file_info* fiOut, size_t len, int flags) {
    Request r(Fs(req).log, Kind::CopyFileRange);
    ssize_t n = copy_file_range(static_cast<int>(fiIn->fh), &offIn, static_cast<int>(fiOut->fh), &offOut, len,
                                static_cast<unsigned>(flags));
    if (n < 0)
        return (void)fuse_reply_err(req, errno);
    fuse_reply_write(req, static_cast<size_t>(n));
}

fuse_lowlevel_ops MakeOperations(bool readdirplus) {
    fuse_lowlevel_ops ops{};
    ops.init = Init;
    ops.lookup = Lookup;
    ops.forget = Forget;
    ops.forget_multi = ForgetMulti;
    ops.getattr = Getattr;
    ops.setattr = Setattr;
    ops.readlink = Readlink;
    ops.mknod = Mknod;
    ops.mkdir = Mkdir;
    ops.symlink = Symlink;
    ops.link = Link;
    ops.unlink = Unlink;
    ops.rmdir = Rmdir;
    ops.rename = Rename;
    ops.open = Open;
    ops.create = Create;
    ops.read = Read;
    ops.write = Write;
    ops.flush = Flush;
    ops.release = Release;
    ops.fsync = Fsync;
    ops.opendir = Opendir;
    ops.readdir = Readdir;
    if (readdirplus)
        ops.readdirplus = Readdirplus;
    ops.releasedir = Releasedir;
    ops.fsyncdir = Fsyncdir;
    ops.statfs = Statfs;
    ops.setxattr = Setxattr;
    ops.getxattr = Getxattr;
    ops.listxattr = Listxattr;
    ops.removexattr = Removexattr;
    ops.access = Access;
    ops.fallocate = Fallocate;
    ops.lseek = Lseek;
    ops.copy_file_range = CopyFileRange;
    return ops;
}

}  // namespace

fuse_lowlevel_ops Operations(const Settings& settings) { return MakeOperations(settings.readdirplus); }

}  // namespace latency_fs
