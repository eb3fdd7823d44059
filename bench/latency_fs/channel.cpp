#include "channel.h"

#include <fcntl.h>
#include <linux/fuse.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace latency_fs {

namespace {

// What libfuse 3.14 leaves out of its answer even when init asks for it.
constexpr uint32_t kGrant = FUSE_PARALLEL_DIROPS;

// The kernel's INIT request: its id and what it offered. Only one INIT
// comes, before any other request.
std::atomic<uint64_t> initUnique{0};
std::atomic<uint32_t> offered{0};
std::atomic<uint32_t> granted{0};

ssize_t Read(int fd, void* buf, size_t len, void*) {
    ssize_t n = read(fd, buf, len);
    if (n >= static_cast<ssize_t>(sizeof(fuse_in_header) + sizeof(fuse_init_in))) {
        const auto* in = static_cast<const fuse_in_header*>(buf);
        if (in->opcode == FUSE_INIT) {
            const auto* init = reinterpret_cast<const fuse_init_in*>(in + 1);
            offered = init->flags & kGrant;
            initUnique = in->unique;
        }
    }
    return n;
}

ssize_t Writev(int fd, iovec* iov, int count, void*) {
    // libfuse sends a reply as its header in the first part, the answer in
    // the second.
    fuse_init_out patched;
    const auto* out = static_cast<const fuse_out_header*>(iov[0].iov_base);
    if (offered && count >= 2 && iov[0].iov_len >= sizeof *out && out->error == 0 &&
        out->unique == initUnique.load() && iov[1].iov_len >= offsetof(fuse_init_out, flags) + sizeof(uint32_t) &&
        iov[1].iov_len <= sizeof patched) {
        memcpy(&patched, iov[1].iov_base, iov[1].iov_len);
        patched.flags |= offered;
        iov[1].iov_base = &patched;
        granted = patched.flags & kGrant;
    }
    return writev(fd, iov, count);
}

const fuse_custom_io kIo = {Writev, Read, nullptr, nullptr};

}  // namespace

bool MountChannel(fuse_session* se, const char* mountpoint, bool readOnly) {
    struct stat root;
    if (stat(mountpoint, &root) != 0)
        return false;
    int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    char options[128];
    snprintf(options, sizeof options, "fd=%d,rootmode=%o,user_id=%u,group_id=%u", fd,
             root.st_mode & S_IFMT, static_cast<unsigned>(getuid()), static_cast<unsigned>(getgid()));
    unsigned long flags = MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    if (mount("latency_fs", mountpoint, "fuse.latency_fs", flags, options) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return false;
    }
    // From here the session owns the descriptor and closes it.
    if (fuse_session_custom_io(se, &kIo, fd) != 0) {
        umount2(mountpoint, MNT_DETACH);
        errno = EINVAL;
        return false;
    }
    return true;
}

bool ParallelDiropsGranted() { return (granted & FUSE_PARALLEL_DIROPS) != 0; }

}  // namespace latency_fs
