#include "requests.h"

#include <time.h>

#include <cstdio>

namespace latency_fs {

namespace {

const char* const kNames[kKinds] = {
    "init", "lookup", "forget", "batch_forget", "getattr", "setattr",
    "readlink", "mknod", "mkdir", "unlink", "rmdir", "symlink", "rename",
    "link", "open", "read", "write", "flush", "release", "fsync", "opendir",
    "readdir", "readdirplus", "releasedir", "fsyncdir", "statfs", "setxattr", "getxattr",
    "listxattr", "removexattr", "access", "create", "fallocate", "lseek",
    "copy_file_range",
};

void RaiseTo(std::atomic<int>& mark, int value) {
    int seen = mark.load(std::memory_order_relaxed);
    while (value > seen && !mark.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

// An absolute deadline, so that the time the handler spent before the
// sleep does not add to the delay.
void SleepUntil(const timespec& start, std::chrono::microseconds delay) {
    timespec until = start;
    long long ns = until.tv_nsec + delay.count() * 1000LL;
    until.tv_sec += static_cast<time_t>(ns / 1000000000LL);
    until.tv_nsec = static_cast<long>(ns % 1000000000LL);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
}

}  // namespace

const char* KindName(Kind kind) { return kNames[static_cast<int>(kind)]; }

bool IsWaited(Kind kind) {
    switch (kind) {
    case Kind::Forget:
    case Kind::BatchForget:
    case Kind::Release:
    case Kind::Releasedir:
        return false;
    default:
        return true;
    }
}

void RequestLog::Begin(Kind kind) {
    int k = static_cast<int>(kind);
    counts_[k].fetch_add(1, std::memory_order_relaxed);
    RaiseTo(maxInFlight_[k], inFlight_[k].fetch_add(1, std::memory_order_relaxed) + 1);
    RaiseTo(maxAllInFlight_, allInFlight_.fetch_add(1, std::memory_order_relaxed) + 1);
}

void RequestLog::End(Kind kind) {
    inFlight_[static_cast<int>(kind)].fetch_sub(1, std::memory_order_relaxed);
    allInFlight_.fetch_sub(1, std::memory_order_relaxed);
}

std::string RequestLog::Json(const std::string& extra) const {
    std::string counts, peaks;
    uint64_t total = 0, waited = 0;
    char item[96];
    for (int k = 0; k < kKinds; ++k) {
        Kind kind = static_cast<Kind>(k);
        uint64_t n = counts_[k].load();
        snprintf(item, sizeof item, "%s\"%s\": %llu", counts.empty() ? "" : ", ", kNames[k],
                 static_cast<unsigned long long>(n));
        counts += item;
        snprintf(item, sizeof item, "%s\"%s\": %d", peaks.empty() ? "" : ", ", kNames[k],
                 maxInFlight_[k].load());
        peaks += item;
        // The mount's own handshake is no work of the client's.
        if (kind == Kind::Init)
            continue;
        total += n;
        if (IsWaited(kind))
            waited += n;
    }
    std::string notWaited;
    for (int k = 0; k < kKinds; ++k) {
        if (!IsWaited(static_cast<Kind>(k)))
            notWaited += std::string(notWaited.empty() ? "" : ", ") + "\"" + kNames[k] + "\"";
    }
    char head[160];
    snprintf(head, sizeof head, "\"delay_us\": %lld, \"total\": %llu, \"waited\": %llu, ",
             static_cast<long long>(delay_.count()), static_cast<unsigned long long>(total),
             static_cast<unsigned long long>(waited));
    return "{" + std::string(head) + "\"not_waited_kinds\": [" + notWaited + "], " +
           "\"max_in_flight_all\": " + std::to_string(maxAllInFlight_.load()) + ", " +
           extra + (extra.empty() ? "" : ", ") + "\"counts\": {" + counts + "}, " +
           "\"max_in_flight\": {" + peaks + "}}\n";
}

Request::Request(RequestLog& log, Kind kind) : log_(log), kind_(kind) {
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    log_.Begin(kind);
    if (log_.Delay().count() > 0)
        SleepUntil(start, log_.Delay());
}

}  // namespace latency_fs
