// Whether a source was written to while it was copied. A write under way
// changes no time stamp: the kernel stamps a write when it starts, from a
// clock that moves in ticks, and a writer that the scheduler pauses in the
// middle of a write leaves a half-written file whose stamps look old. So a
// source that changed in the last seconds is watched by the kernel itself
// for the length of the copy (a read lease: refused while anyone has the
// file open for writing, broken when anyone opens it for writing), and only
// where no lease can be had (another user's file, a network file system) is
// the change time judged by the clock. A source that has not changed lately
// costs nothing more than the check of its size and stamps afterwards.
//
// A writer that opens a leased source waits until the lease is given up:
// the copy asks WriterWaits() as it goes, stops when a writer has come, and
// the lease is given up at once, so that the writer waits moments, not a
// whole copy. The kernel tells the thread that holds the lease, and only
// that thread, with SIGURG; a process that never copies under a lease keeps
// the signal as it was (ignored by default).
#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace posix {

class WriteWatch {
public:
    WriteWatch() = default;
    ~WriteWatch();
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;

    // Before the copy of the source open at `fd`, as `status` was read from
    // it: 0 when the copy may go ahead, kSourceChanged when the source is
    // being written (open for writing now, or, where no lease can be had,
    // changed within the last ticks).
    int Start(int fd, const struct stat& status);
    // While the copy goes on: whether a writer has opened the source and
    // waits for it. The lease is then given up, and the copy is to stop; it
    // counts as a source that changed while it was copied.
    bool WriterWaits();
    // After the copy: 0 when nothing wrote to the source meanwhile (no
    // writer opened it, its size and last-write time are as before), else
    // kSourceChanged; or an errno.
    int Finish(int fd, const struct stat& status);
    // Waits before copy number `copy` + 1 of a source found being written.
    void Rest(int copy) const;

private:
    int TakeReadLease(int fd);

    bool listening_ = false;  // this thread's handler listens for this watch's lease
    int leasedFd_ = -1;       // the source while its lease stands
    bool writerCame_ = false;
    std::int64_t restUntil_ = 0;  // on the coarse clock, in ns: when a change judged by the clock lies far enough back
};

}  // namespace posix
