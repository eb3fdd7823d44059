// Every request the kernel sends is counted by kind, held for the configured
// delay and tracked while in flight, so that the benchmark can tell how many
// round trips a run costs on a share and whether they overlapped.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace latency_fs {

// The kinds this file system answers. The kernel has more opcodes (locks,
// ioctl, poll, bmap, tmpfile, interrupt): libfuse answers those itself with
// ENOSYS, without calling a handler, so they are never counted here.
enum class Kind {
    Init, Lookup, Forget, BatchForget, Getattr, Setattr, Readlink, Mknod,
    Mkdir, Unlink, Rmdir, Symlink, Rename, Link, Open, Read, Write, Flush,
    Release, Fsync, Opendir, Readdir, Readdirplus, Releasedir, Fsyncdir, Statfs, Setxattr,
    Getxattr, Listxattr, Removexattr, Access, Create, Fallocate, Lseek,
    CopyFileRange,
    Count_
};

constexpr int kKinds = static_cast<int>(Kind::Count_);

const char* KindName(Kind kind);

// A request whose answer the calling process does not wait for: forgets
// have no reply at all, and the kernel sends release and releasedir in the
// background after the last close, which returns at once. Every other kind
// holds a system call of the client until the reply comes.
bool IsWaited(Kind kind);

class RequestLog {
public:
    explicit RequestLog(std::chrono::microseconds delay) : delay_(delay) {}

    void Begin(Kind kind);
    void End(Kind kind);
    std::chrono::microseconds Delay() const { return delay_; }

    // The counts as one JSON object; `extra` is spliced in as further
    // members (already formatted, without braces).
    std::string Json(const std::string& extra) const;

private:
    std::chrono::microseconds delay_;
    std::atomic<uint64_t> counts_[kKinds] = {};
    std::atomic<int> inFlight_[kKinds] = {};
    std::atomic<int> maxInFlight_[kKinds] = {};
    std::atomic<int> allInFlight_{0};
    std::atomic<int> maxAllInFlight_{0};
};

// Held for the length of one handler: counts the request, then waits out
// the delay before the handler touches the backing folder, as a request
// crosses the network before the server acts on it.
class Request {
public:
    Request(RequestLog& log, Kind kind);
    ~Request() { log_.End(kind_); }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

private:
    RequestLog& log_;
    Kind kind_;
};

}  // namespace latency_fs
