// What a failing call of the file services leaves as the thread's last
// error (Errors.h): the Win32 code, and the cause a person can act on.
#pragma once

#include "platform/posix/Files.h"

namespace posix {

// The stand-in's own causes of a failure; errno values are positive.
enum Cause : int {
    kNoCause = 0,
    // A source that yields more or fewer bytes than its size at open, or that
    // was written to or replaced while it was copied: 1006.
    kSourceChanged = -1,
    // A source that is no regular file (a FIFO, a device, a folder): 5.
    kNotRegularFile = -2,
    // A read-only file at the target, which Windows keeps: 5.
    kTargetReadOnly = -3,
    // The target is the source itself: 32.
    kSameFile = -4,
    // EIO while reading the source: 30.
    kReadFault = -5,
    // A symbolic link on the way to a write, or at the target's name: 5.
    kLinkInDestination = -6,
    // A file at the target's name when the caller asked to fail then: 80.
    kTargetExists = -7,
};

// A failure on its way out of a call: its code, its cause, and where the
// cause lies when that is not the call's own doing ("its folder could not
// be made").
struct Failure {
    DWORD code;
    int cause;
    const char* where = nullptr;
};
constexpr Failure kNoFailure{ERROR_SUCCESS, kNoCause};

}  // namespace posix
