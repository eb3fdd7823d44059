// The inodes the kernel knows, each held open as an O_PATH descriptor of its
// backing file, so that every request works relative to a descriptor and
// never re-resolves a path that may have changed since the lookup.
#pragma once

#define FUSE_USE_VERSION 314
#include <fuse_lowlevel.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace latency_fs {

struct Inode {
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    uint64_t nlookup = 0;  // references the kernel holds, given back by forget

    // A path that reopens the backing file with other flags.
    std::string ProcPath() const { return "/proc/self/fd/" + std::to_string(fd); }
};

class InodeTable {
public:
    // Opens the backing root; false (errno set) when it cannot be opened.
    bool OpenRoot(const char* path);
    ~InodeTable();

    Inode& Get(fuse_ino_t ino);

    // Looks NAME up below PARENT and takes one kernel reference on its inode;
    // 0 and the backing file system's errno when there is nothing there.
    int Lookup(fuse_ino_t parent, const char* name, fuse_entry_param* entry);

    void Forget(fuse_ino_t ino, uint64_t count);

private:
    Inode root_;
    std::mutex lock_;
    std::map<std::pair<dev_t, ino_t>, Inode*> byId_;
};

}  // namespace latency_fs
