#include "inodes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace latency_fs {

bool InodeTable::OpenRoot(const char* path) {
    root_.fd = open(path, O_PATH | O_DIRECTORY);
    struct stat st;
    if (root_.fd < 0 || fstat(root_.fd, &st) != 0)
        return false;
    root_.dev = st.st_dev;
    root_.ino = st.st_ino;
    root_.nlookup = 1;  // the root is never forgotten
    return true;
}

InodeTable::~InodeTable() {
    for (auto& [id, inode] : byId_) {
        close(inode->fd);
        delete inode;
    }
    if (root_.fd >= 0)
        close(root_.fd);
}

Inode& InodeTable::Get(fuse_ino_t ino) {
    if (ino == FUSE_ROOT_ID)
        return root_;
    return *reinterpret_cast<Inode*>(static_cast<uintptr_t>(ino));
}

int InodeTable::Lookup(fuse_ino_t parent, const char* name, fuse_entry_param* entry) {
    int fd = openat(Get(parent).fd, name, O_PATH | O_NOFOLLOW);
    if (fd < 0)
        return errno;
    if (fstatat(fd, "", &entry->attr, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) {
        int error = errno;
        close(fd);
        return error;
    }
    std::lock_guard<std::mutex> hold(lock_);
    auto id = std::make_pair(entry->attr.st_dev, entry->attr.st_ino);
    if (id.first == root_.dev && id.second == root_.ino) {
        close(fd);
        entry->ino = FUSE_ROOT_ID;
        return 0;
    }
    Inode*& inode = byId_[id];
    if (inode) {
        close(fd);  // known already: one descriptor per inode is enough
    } else {
        inode = new Inode;
        inode->fd = fd;
        inode->dev = id.first;
        inode->ino = id.second;
    }
    ++inode->nlookup;
    entry->ino = reinterpret_cast<uintptr_t>(inode);
    return 0;
}

void InodeTable::Forget(fuse_ino_t ino, uint64_t count) {
    if (ino == FUSE_ROOT_ID)
        return;
    std::lock_guard<std::mutex> hold(lock_);
    Inode* inode = &Get(ino);
    inode->nlookup -= count < inode->nlookup ? count : inode->nlookup;
    if (inode->nlookup > 0)
        return;
    byId_.erase(std::make_pair(inode->dev, inode->ino));
    close(inode->fd);
    delete inode;
}

}  // namespace latency_fs
