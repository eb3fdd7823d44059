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
#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace posix {

class WriteWatch {
public:
    // Before the copy of the source open at `fd`, as `status` was read from
    // it: 0 when the copy may go ahead, kSourceChanged when the source is
    // being written (open for writing now, or, where no lease can be had,
    // changed within the last ticks).
    int Start(int fd, const struct stat& status);
    // After the copy: 0 when nothing wrote to the source meanwhile (no
    // writer opened it, its size and last-write time are as before), else
    // kSourceChanged; or an errno.
    int Finish(int fd, const struct stat& status) const;
    // Waits before copy number `copy` + 1 of a source found being written.
    void Rest(int copy) const;

private:
    bool leased_ = false;
    std::int64_t restUntil_ = 0;  // on the coarse clock, in ns: when a change judged by the clock lies far enough back
};

}  // namespace posix
