// CopyFileW of the stand-in. It keeps the Windows contract (an existing
// read-only target or a folder is refused, content and last-write time are
// copied, the read-only attribute goes along) and adds what a publishing
// tool needs:
// - the target is replaced in one step: a reader sees the earlier copy or
//   the whole new one, never a part;
// - nothing is left behind: the data goes into an unnamed file in the
//   target's folder, which only gets a name once it is whole; where the
//   file system has no unnamed files, the named temporary file in flight is
//   removed if a signal ends the process;
// - the copy takes exactly the bytes the source held when it was opened: a
//   source that yields more (a /proc file, a growing log) or fewer, or that
//   is written to while it is copied, fails;
// - the target's folder is reached without following a symbolic link, and a
//   link at the target's name is refused, never written through.
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "platform/posix/files/descriptors.h"
#include "platform/posix/files/errors.h"
#include "platform/posix/interrupts.h"
#include "platform/posix/names.h"
#include "platform/posix/files/write_folders.h"

namespace posix {
namespace {

// Refusals inside a copy, as the errno values that the folder operations
// pass along; Win32Error turns them into the codes Windows gives.
constexpr int kTargetExists = EEXIST;    // fail-if-exists, and a name is taken
constexpr int kTargetRefused = EACCES;   // read-only, a folder, or a link
constexpr int kSameFile = EBUSY;         // the source itself
constexpr int kSourceChanged = ESTALE;   // more or fewer bytes than its size
constexpr int kReadFault = EBADMSG;      // EIO while reading the source

DWORD Win32Error(int error) {
    switch (error) {
    case kTargetExists: return ERROR_FILE_EXISTS;
    case kSourceChanged: return ERROR_FILE_INVALID;
    case kReadFault: return ERROR_READ_FAULT;
    default: return WriteErrorFromErrno(error);
    }
}

// ---------------------------------------------------------------------------
// The one named temporary file that may exist at a time, for the signal
// handler. Set field by field, then marked valid.

volatile sig_atomic_t namedInFlight = 0;
int namedInFlightFolder = -1;
char namedInFlightName[NAME_MAX + 1];

void RemoveNamedInFlight() noexcept {
    if (namedInFlight != 0) ::unlinkat(namedInFlightFolder, namedInFlightName, 0);
}

// A name in the target's folder that no other copy uses: hidden, with the
// process id and a counter.
std::string TemporaryName() {
    static const std::string processId = std::to_string(::getpid());
    static unsigned counter = 0;
    return ".cuecarry-" + processId + "-" + std::to_string(counter++) + ".tmp";
}

// Owns the named temporary file from its creation until it is renamed onto
// the target; removes it on every other way out, and from the signal
// handler if the process is ended meanwhile.
class NamedTemporary {
public:
    explicit NamedTemporary(int folder) : folder_(folder) {}
    ~NamedTemporary() {
        if (created_ && !renamed_) ::unlinkat(folder_, name_.c_str(), 0);
        namedInFlight = 0;
    }
    NamedTemporary(const NamedTemporary&) = delete;
    NamedTemporary& operator=(const NamedTemporary&) = delete;

    // Makes the file with `make(name)` (0 or an errno). The name is known to
    // the signal handler before the file can exist. A name that a file left
    // by an earlier process of the same id still holds is passed over.
    template <typename Make>
    int Create(Make make) {
        constexpr int kAttempts = 16;
        int error = EEXIST;
        for (int attempt = 0; attempt < kAttempts && error == EEXIST; ++attempt) {
            name_ = TemporaryName();
            namedInFlight = 0;
            std::memcpy(namedInFlightName, name_.c_str(), name_.size() + 1);
            namedInFlightFolder = folder_;
            std::atomic_signal_fence(std::memory_order_seq_cst);
            namedInFlight = 1;
            error = make(name_.c_str());
        }
        created_ = error == 0;
        return error;
    }
    const char* name() const { return name_.c_str(); }
    void Renamed() { renamed_ = true; }

private:
    int folder_;
    std::string name_;
    bool created_ = false;
    bool renamed_ = false;
};

// ---------------------------------------------------------------------------
// Process-wide facts, read once

// A write beyond the file-size limit then fails with EFBIG, like a full
// disk, instead of ending the process; the copy is counted and the walk
// goes on. A handler the program set is left alone.
void LetWritesFailAtTheFileSizeLimit() {
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
        (current.sa_flags & SA_SIGINFO) == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
    }
}

void PrepareProcess() {
    static const bool prepared = [] {
        LetWritesFailAtTheFileSizeLimit();
        AddInterruptAction(RemoveNamedInFlight);
        return true;
    }();
    (void)prepared;
}

mode_t CreationMask() {
    static const mode_t mask = [] {
        const mode_t current = ::umask(0);
        ::umask(current);
        return current;
    }();
    return mask;
}

// An unnamed file can get a name through its /proc/self/fd link whatever
// the kernel; without /proc the copies use named temporary files.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// Gives the unnamed file `fd` the name `name` in `folder`. By the descriptor
// itself where the kernel allows it (newer kernels do, for anyone; older
// ones say ENOENT unless the process may read every folder), which is half
// the cost of the way through /proc.
int NameUnnamed(int fd, int folder, const char* name) {
    static bool byDescriptor = true;
    if (byDescriptor) {
        if (::linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0) return 0;
        if (errno != ENOENT && errno != EPERM) return errno;
        byDescriptor = false;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// ---------------------------------------------------------------------------
// The data

bool CopyRangeUnsupported(int err) {
    return err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP || err == EBADF;
}

// Reads at most `size` + 1 bytes: one more than the size shows that the
// source grew. Writes at most `size`.
int CopyByReading(int in, int out, off_t copied, off_t size) {
    constexpr off_t kBufferSize = 128 * 1024;
    const std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    for (;;) {
        const off_t wanted = std::min(kBufferSize, size + 1 - copied);
        const ssize_t got = ::pread(in, buffer.get(), static_cast<std::size_t>(wanted), copied);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno == EIO ? kReadFault : errno;
        if (got == 0) return copied == size ? 0 : kSourceChanged;
        if (copied + got > size) return kSourceChanged;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.get() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) return errno;
            done += put;
        }
        copied += got;
    }
}

// The kernel's copy, asked for one byte more than the size, so that a source
// that grew shows at once and an ordinary file needs one call: a short count
// at exactly the size is its end. A first answer of nothing is confirmed by
// reading, since files whose size stat does not know (procfs and the like)
// answer that way too. The source is read from its start whatever its file
// position, so that a copy tried again takes it whole again.
int CopyByKernel(int in, int out, off_t size) {
    off_t copied = 0;
    for (;;) {
        const std::size_t wanted = static_cast<std::size_t>(size + 1 - copied);
        off_t from = copied;
        const ssize_t moved = ::copy_file_range(in, &from, out, nullptr, wanted, 0);
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0) return CopyRangeUnsupported(errno) ? CopyByReading(in, out, copied, size) : errno;
        if (moved == 0) return copied == 0 ? CopyByReading(in, out, 0, size) : copied == size ? 0 : kSourceChanged;
        copied += moved;
        if (copied > size) return kSourceChanged;
        if (copied == size && static_cast<std::size_t>(moved) < wanted) return 0;
    }
}

// A reflink shares the blocks instead of copying them. Once the source's
// file system has refused one, later copies from it don't ask again: on file
// systems without reflinks (ext4, tmpfs) that saves a call per file.
bool Reflinked(int in, int out, const struct stat& source) {
    thread_local std::optional<dev_t> refusedFrom;
    if (refusedFrom == source.st_dev) return false;
    if (::ioctl(out, FICLONE, in) == 0) return true;
    refusedFrom = source.st_dev;
    return false;
}

// A source written to while it was copied may have given part of its old
// and part of its new content, whatever its size says.
int UnchangedSince(int in, const struct stat& before) {
    struct stat after;
    if (::fstat(in, &after) != 0) return errno;
    const bool same = after.st_size == before.st_size && after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                      after.st_mtim.tv_nsec == before.st_mtim.tv_nsec;
    return same ? 0 : kSourceChanged;
}

int CopyContent(int in, int out, const struct stat& source) {
    int error = 0;
    if (Reflinked(in, out, source)) {
        struct stat cloned;
        if (::fstat(out, &cloned) != 0) return errno;
        error = cloned.st_size == source.st_size ? 0 : kSourceChanged;
    } else {
        error = CopyByKernel(in, out, source.st_size);
    }
    return error != 0 ? error : UnchangedSince(in, source);
}

// Windows keeps the read-only attribute and the last-write time on a copy.
// The mode was asked for when the file was made; only what the creation
// mask took away is set again.
int CopyMetadata(const struct stat& source, int out) {
    const mode_t mode = source.st_mode & 0777;
    if ((mode & CreationMask()) != 0 && ::fchmod(out, mode) != 0) return errno;
    const struct timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    return ::futimens(out, times) == 0 ? 0 : errno;
}

// ---------------------------------------------------------------------------
// Putting the copy in place

// What Windows refuses: an existing target under fail-if-exists, a folder, a
// read-only file (by the mode bits, so that it holds for root too), or the
// source itself; and what we refuse: a link, which is never written through.
int CheckTarget(int folder, const char* name, const struct stat& source, bool failIfExists, bool& present) {
    struct stat st;
    present = false;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? 0 : errno;
    present = true;
    if (failIfExists) return kTargetExists;
    if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR) == 0) return kTargetRefused;
    if (st.st_dev == source.st_dev && st.st_ino == source.st_ino) return kSameFile;
    return 0;
}

// Renames the temporary file onto the target: one step, so a reader sees the
// earlier target or the whole new one.
int Replace(int folder, NamedTemporary& temp, const char* target) {
    if (::renameat(folder, temp.name(), folder, target) != 0) return errno;
    temp.Renamed();
    return 0;
}

// Gives the unnamed copy the target's name, which nothing may have yet.
int LinkAsTarget(FileDescriptor& temp, int folder, const std::string& target) {
    if (const int err = NameUnnamed(temp.get(), folder, target.c_str()); err != 0) return err;
    if (const int err = temp.Close(); err != 0) {
        ::unlinkat(folder, target.c_str(), 0);
        return err;
    }
    return 0;
}

// The unnamed copy gets the target's name if nothing has it yet; an earlier
// copy is replaced through a named temporary file, which exists only for the
// two calls that link and rename it. Whether the latest target was there
// foretells this one: into a destination filled by an earlier run every
// target is there, into a new one none is, so the first try is the likely
// one and the other costs a call only when the guess fails.
int PlaceUnnamed(FileDescriptor& temp, int folder, const std::string& target, const struct stat& source,
                 bool failIfExists) {
    static bool targetsThere = false;
    if (!targetsThere) {
        const int linked = LinkAsTarget(temp, folder, target);
        if (linked != EEXIST) return linked;
    }
    bool present = false;
    if (const int refused = CheckTarget(folder, target.c_str(), source, failIfExists, present); refused != 0) {
        return refused;
    }
    targetsThere = present;
    if (!present) return LinkAsTarget(temp, folder, target);
    NamedTemporary named(folder);
    const int linked = named.Create([&](const char* name) { return NameUnnamed(temp.get(), folder, name); });
    if (linked != 0) return linked;
    if (const int err = temp.Close(); err != 0) return err;
    return Replace(folder, named, target.c_str());
}

// The unnamed file in the target's folder; EOPNOTSUPP (or what older
// kernels say instead) where the file system has none.
int OpenUnnamed(const WritePath& target, mode_t mode, FileDescriptor& temp) {
    if (!CanNameUnnamedFiles()) return EOPNOTSUPP;
    return InWriteFolder(target.folder, [&](int folder) {
        temp.Reset(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        return temp ? 0 : errno;
    });
}

int CopyUnnamed(int in, FileDescriptor& temp, const struct stat& source, const WritePath& target,
                bool failIfExists) {
    int error = CopyContent(in, temp.get(), source);
    if (error == 0) error = CopyMetadata(source, temp.get());
    if (error != 0) return error;
    return InWriteFolder(target.folder, [&](int folder) {
        return PlaceUnnamed(temp, folder, target.leaf, source, failIfExists);
    });
}

// Where the file system has no unnamed files: a named temporary file for the
// whole copy.
int CopyNamed(int in, const struct stat& source, const WritePath& target, bool failIfExists) {
    return InWriteFolder(target.folder, [&](int folder) {
        bool present = false;
        if (const int refused = CheckTarget(folder, target.leaf.c_str(), source, failIfExists, present);
            refused != 0) {
            return refused;
        }
        NamedTemporary named(folder);
        FileDescriptor temp;
        const int created = named.Create([&](const char* name) {
            temp.Reset(::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 0777));
            return temp ? 0 : errno;
        });
        if (created != 0) return created;
        int error = CopyContent(in, temp.get(), source);
        if (error == 0) error = CopyMetadata(source, temp.get());
        if (error == 0) error = temp.Close();
        if (error != 0) return error;
        if (!failIfExists) return Replace(folder, named, target.leaf.c_str());
        // Refuses a target that appeared since it was checked.
        if (::renameat2(folder, named.name(), folder, target.leaf.c_str(), RENAME_NOREPLACE) != 0) return errno;
        named.Renamed();
        return 0;
    });
}

bool NoUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

DWORD CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    PrepareProcess();
    // O_NONBLOCK: a FIFO in place of the source must not hang the open; it is
    // refused below like every other non-regular file.
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in) return EntryErrorFromErrno(errno, source);
    struct stat sourceStat;
    if (::fstat(in.get(), &sourceStat) != 0) return ErrorFromErrno(errno);
    if (!S_ISREG(sourceStat.st_mode)) return ERROR_ACCESS_DENIED;

    const std::optional<WritePath> path = MakeWritePath(target);
    if (!path) return ERROR_PATH_NOT_FOUND;
    if (path->leaf.empty()) return ERROR_ACCESS_DENIED;  // the top of the file system
    FileDescriptor temp;
    int error = OpenUnnamed(*path, sourceStat.st_mode & 0777, temp);
    if (error == 0) {
        error = CopyUnnamed(in.get(), temp, sourceStat, *path, failIfExists);
    } else if (NoUnnamedFiles(error)) {
        error = CopyNamed(in.get(), sourceStat, *path, failIfExists);
    }
    return error == 0 ? static_cast<DWORD>(ERROR_SUCCESS) : Win32Error(error);
}

}  // namespace
}  // namespace posix

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return posix::Fail(ERROR_INVALID_PARAMETER);
    try {
        const std::optional<std::string> source = posix::NativePath(lpExistingFileName);
        const std::optional<std::string> target = posix::NativePath(lpNewFileName);
        if (!source || !target) return posix::Fail(ERROR_INVALID_NAME);
        const DWORD error = posix::CopyFile(*source, *target, bFailIfExists != FALSE);
        return error == ERROR_SUCCESS ? TRUE : posix::Fail(error);
    } catch (const std::bad_alloc&) {
        return posix::Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
