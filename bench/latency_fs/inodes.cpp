#include "inodes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace latency_fs {

namespace {

// Passed on as they are, but a share would not run out: say so, once.
void WarnIfOutOfDescriptors(int error) {
    static std::atomic<bool> told{false};
    if ((error == EMFILE || error == ENFILE) && !told.exchange(true))
        fprintf(stderr, "latency_fs: out of file descriptors: %s\n", strerror(error));
}

}  // namespace

InodeFd::~InodeFd() {
    if (owned_ && fd_ >= 0)
        close(fd_);
}

bool InodeTable::OpenRoot(const char* path) {
    rootFd_ = open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (rootFd_ < 0 || fstat(rootFd_, &st) != 0)
        return false;
    rootDev_ = st.st_dev;
    rootIno_ = st.st_ino;
    return true;
}

InodeTable::~InodeTable() {
    for (auto& [id, inode] : byId_)
        delete inode;
    for (auto& [id, fd] : mountFds_)
        close(fd);
    if (rootFd_ >= 0)
        close(rootFd_);
}

InodeFd InodeTable::Open(fuse_ino_t ino) {
    if (ino == FUSE_ROOT_ID)
        return InodeFd(rootFd_, false, 0);
    // The kernel holds its reference until this request is answered, so the
    // entry stays; its handle is copied, as a lookup may renew it.
    std::vector<unsigned char> handle;
    int mountFd;
    {
        std::lock_guard<std::mutex> hold(lock_);
        const Inode& inode = *reinterpret_cast<const Inode*>(static_cast<uintptr_t>(ino));
        handle = inode.handle;
        mountFd = inode.mountFd;
    }
    int fd = open_by_handle_at(mountFd, reinterpret_cast<file_handle*>(handle.data()), O_PATH | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    WarnIfOutOfDescriptors(error);
    return InodeFd(fd, true, error);
}

int InodeTable::MountFd(int mountId, int fd) {
    auto known = mountFds_.find(mountId);
    if (known != mountFds_.end())
        return known->second;
    // open_by_handle_at takes no O_PATH descriptor: open the object itself,
    // any object on the mount does.
    int kept = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
    if (kept >= 0)
        mountFds_[mountId] = kept;
    return kept;
}

int InodeTable::Lookup(int dir, const char* name, fuse_entry_param* entry) {
    int fd = openat(dir, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        WarnIfOutOfDescriptors(errno);
        return errno;
    }
    std::vector<unsigned char> handle(sizeof(file_handle) + MAX_HANDLE_SZ);
    auto* fh = reinterpret_cast<file_handle*>(handle.data());
    fh->handle_bytes = MAX_HANDLE_SZ;
    int mountId = 0;
    int error = 0;
    if (fstatat(fd, "", &entry->attr, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0 ||
        name_to_handle_at(fd, "", fh, &mountId, AT_EMPTY_PATH) != 0)
        error = errno;
    if (error) {
        close(fd);
        return error;
    }
    handle.resize(sizeof(file_handle) + fh->handle_bytes);
    std::lock_guard<std::mutex> hold(lock_);
    auto id = std::make_pair(entry->attr.st_dev, entry->attr.st_ino);
    if (id.first == rootDev_ && id.second == rootIno_) {
        close(fd);
        entry->ino = FUSE_ROOT_ID;
        return 0;
    }
    Inode*& inode = byId_[id];
    if (!inode) {
        int mountFd = MountFd(mountId, fd);
        if (mountFd < 0) {
            error = errno;
            byId_.erase(id);
            close(fd);
            return error;
        }
        inode = new Inode;
        inode->dev = id.first;
        inode->ino = id.second;
        inode->mountFd = mountFd;
        inode->handle = std::move(handle);
    } else if (inode->handle != handle) {
        // The number of a deleted file that the kernel still remembers,
        // given to a new one: the name leads to the new file.
        inode->handle = std::move(handle);
    }
    close(fd);
    ++inode->nlookup;
    entry->ino = reinterpret_cast<uintptr_t>(inode);
    return 0;
}

void InodeTable::Forget(fuse_ino_t ino, uint64_t count) {
    if (ino == FUSE_ROOT_ID)
        return;
    std::lock_guard<std::mutex> hold(lock_);
    Inode* inode = reinterpret_cast<Inode*>(static_cast<uintptr_t>(ino));
    inode->nlookup -= count < inode->nlookup ? count : inode->nlookup;
    if (inode->nlookup > 0)
        return;
    byId_.erase(std::make_pair(inode->dev, inode->ino));
    delete inode;
}

}  // namespace latency_fs
