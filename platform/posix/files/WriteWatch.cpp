#include "platform/posix/files/WriteWatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/posix/files/Errors.h"

namespace posix {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kMillisecond = 1'000'000;
// A source changed within this time may still have a writer.
constexpr std::int64_t kLately = 10 * kSecond;
// Where no lease can be had: a change within this time, or within two clock
// ticks where they are longer, counts as a write under way. A write's stamp
// may lie a tick behind the clock, the clock read here a tick behind the
// kernel's, and a busy scheduler pauses a writer for more than that.
constexpr std::int64_t kStillWriting = 50 * kMillisecond;
// A change time further ahead than this is another clock's (a file server
// whose clock runs ahead), which says nothing about a write under way.
constexpr std::int64_t kOtherClock = kSecond;
// The first rest before a source being written is copied again; each next
// one is twice as long.
constexpr std::int64_t kFirstRest = 20 * kMillisecond;

std::int64_t Nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * kSecond + time.tv_nsec;
}

// File time stamps come from the coarse clock, and reading it costs no
// system call.
std::int64_t CoarseNow() {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return Nanoseconds(now);
}

std::int64_t StillWritingWindow() {
    static const std::int64_t window = [] {
        struct timespec tick;
        if (::clock_getres(CLOCK_REALTIME_COARSE, &tick) != 0) return kStillWriting;
        return std::max(kStillWriting, 2 * Nanoseconds(tick));
    }();
    return window;
}

// The lease this thread holds, for the handler of SIGURG: the source's
// descriptor, and whether a writer has broken the lease. Of plain types
// with constant initial values, which a handler may use.
thread_local int threadLeasedFd = -1;
thread_local volatile sig_atomic_t threadLeaseBroken = 0;

// The kernel says which descriptor's lease broke; every other SIGURG (out
// of band data on a socket) goes unheeded, as it did unhandled.
void NoteLeaseBreak(int, siginfo_t* info, void*) {
    if (info->si_code == POLL_MSG && info->si_fd == threadLeasedFd) threadLeaseBroken = 1;
}

// Installed with the first lease, unless the program handles SIGURG itself:
// then only the check after the copy tells of a writer.
void HearLeaseBreaks() {
    static const bool done = [] {
        struct sigaction current {};
        if (::sigaction(SIGURG, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN)) {
            return false;
        }
        struct sigaction handler {};
        handler.sa_sigaction = NoteLeaseBreak;
        handler.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&handler.sa_mask);
        return ::sigaction(SIGURG, &handler, nullptr) == 0;
    }();
    (void)done;
}

}  // namespace

WriteWatch::~WriteWatch() {
    if (listening_) {
        threadLeasedFd = -1;
        threadLeaseBroken = 0;
    }
}

// A read lease on `fd`; EAGAIN when the file is open for writing. A writer
// that opens the file while the lease is held breaks it, which the kernel
// announces with a signal: SIGURG, whose default is to be ignored, instead
// of SIGIO, whose default ends the process.
int WriteWatch::TakeReadLease(int fd) {
    HearLeaseBreaks();
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0) return errno;
    // Before the lease: a break that comes right after it is this thread's.
    threadLeasedFd = fd;
    threadLeaseBroken = 0;
    listening_ = true;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) return errno;
    leasedFd_ = fd;
    // Taking the lease made the process the owner that the break is sent
    // to, and any of its threads may take it; from now on it goes to this
    // one. A break before that may have gone to another: the lease then no
    // longer stands as it was taken.
    const struct f_owner_ex owner = {F_OWNER_TID, ::gettid()};
    ::fcntl(fd, F_SETOWN_EX, &owner);
    if (::fcntl(fd, F_GETLEASE) != F_RDLCK) threadLeaseBroken = 1;
    return 0;
}

int WriteWatch::Start(int fd, const struct stat& status) {
    const std::int64_t changed = Nanoseconds(status.st_ctim);
    const std::int64_t now = CoarseNow();
    if (changed <= now - kLately) return 0;
    const int lease = TakeReadLease(fd);
    if (lease == 0) return 0;
    if (lease == EAGAIN) return kSourceChanged;
    // Another user's file, or a file system without leases: the clock is
    // all there is.
    if (changed > now + kOtherClock || changed <= now - StillWritingWindow()) return 0;
    restUntil_ = changed + StillWritingWindow();
    return kSourceChanged;
}

bool WriteWatch::WriterWaits() {
    if (leasedFd_ >= 0 && threadLeaseBroken != 0) {
        // The writer waits until the lease is given up.
        ::fcntl(leasedFd_, F_SETLEASE, F_UNLCK);
        leasedFd_ = -1;
        writerCame_ = true;
    }
    return writerCame_;
}

int WriteWatch::Finish(int fd, const struct stat& before) {
    if (WriterWaits() || (leasedFd_ >= 0 && ::fcntl(fd, F_GETLEASE) != F_RDLCK)) return kSourceChanged;
    // The size and the last-write time only: the read has made the access
    // time stale, and asking for all of it would be a round trip on a
    // network share, where these two come from the client's cache.
    struct statx after;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_SIZE | STATX_MTIME, &after) != 0) return errno;
    const bool same = static_cast<off_t>(after.stx_size) == before.st_size &&
                      after.stx_mtime.tv_sec == before.st_mtim.tv_sec &&
                      static_cast<long>(after.stx_mtime.tv_nsec) == before.st_mtim.tv_nsec;
    return same ? 0 : kSourceChanged;
}

void WriteWatch::Rest(int copy) const {
    const std::int64_t until = std::max(CoarseNow() + (kFirstRest << (copy - 1)), restUntil_);
    for (std::int64_t left = until - CoarseNow(); left > 0; left = until - CoarseNow()) {
        const struct timespec pause = {static_cast<time_t>(left / kSecond), static_cast<long>(left % kSecond)};
        ::nanosleep(&pause, nullptr);
    }
}

}  // namespace posix
