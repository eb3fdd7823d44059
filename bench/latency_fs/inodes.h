// The inodes the kernel knows. Each is held as a file handle of its backing
// file (name_to_handle_at), not as an open descriptor: after a large copy
// the kernel holds tens of thousands, more than a process may keep open.
// A request opens its inode from the handle (O_PATH) for its own length, so
// every request works relative to a descriptor and never re-resolves a
// path that may have changed since the lookup.
#pragma once

#define FUSE_USE_VERSION 314
#include <fuse_lowlevel.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace latency_fs {

// An O_PATH descriptor of one inode's backing file, for one request.
class InodeFd {
public:
    InodeFd(int fd, bool owned, int error) : fd_(fd), owned_(owned), error_(error) {}
    InodeFd(InodeFd&& other) noexcept : fd_(other.fd_), owned_(other.owned_), error_(other.error_) {
        other.owned_ = false;
    }
    InodeFd(const InodeFd&) = delete;
    InodeFd& operator=(const InodeFd&) = delete;
    InodeFd& operator=(InodeFd&&) = delete;
    ~InodeFd();

    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }
    int error() const { return error_; }  // why it could not be opened
    // A path that reopens the file itself with other flags.
    std::string ProcPath() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
    bool owned_;
    int error_;
};

class InodeTable {
public:
    // Opens the backing root; false (errno set) when it cannot be opened.
    bool OpenRoot(const char* path);
    ~InodeTable();

    InodeFd Open(fuse_ino_t ino);

    // Looks NAME up below the folder DIR (of the backing tree) and takes one
    // kernel reference on its inode; 0, or the backing file system's errno
    // when there is nothing there.
    int Lookup(int dir, const char* name, fuse_entry_param* entry);

    void Forget(fuse_ino_t ino, uint64_t count);

private:
    struct Inode {
        dev_t dev = 0;
        ino_t ino = 0;
        int mountFd = -1;  // a descriptor on the file system the handle belongs to
        std::vector<unsigned char> handle;  // a struct file_handle
        uint64_t nlookup = 0;  // references the kernel holds, given back by forget
    };

    int MountFd(int mountId, int fd);

    int rootFd_ = -1;
    dev_t rootDev_ = 0;
    ino_t rootIno_ = 0;
    std::mutex lock_;
    std::map<std::pair<dev_t, ino_t>, Inode*> byId_;
    std::map<int, int> mountFds_;  // mount id -> descriptor, kept
};

}  // namespace latency_fs
