// The thread's last error and the Win32 codes that system errors map to.
//
// A path component that is a plain file (ENOTDIR) reports 3
// (ERROR_PATH_NOT_FOUND) everywhere; Windows says 3 or 267 depending on the
// call. EROFS and EISDIR report 5, ELOOP reports 3, EIO reports 30 on reads
// and 29 on writes, and an errno with no Win32 counterpart reports 31
// (ERROR_GEN_FAILURE).
//
// Beside the code, the last error keeps its cause: the errno behind it, or
// one of the stand-in's own refusals below. A Win32 code such as 5 stands
// for many causes; the cause says which, in words a person can act on.
#pragma once

#include <cerrno>
#include <string>

#include "platform/posix/Files.h"
#include "platform/posix/files/Failure.h"

namespace posix {

// Sets the thread's last error and its cause, and gives FALSE, for a failing
// call.
BOOL Fail(const Failure& failure);
// The thread's last error and its cause, to be set again (Fail) on another
// thread: a copy made by a worker is told of by the walk.
Failure LastFailure();
inline BOOL Fail(DWORD code, int cause = kNoCause) { return Fail(Failure{code, cause}); }

// The last error's cause in words: the stand-in's own, or the system's text
// for the errno behind it, or the Win32 code when there is neither.
std::string LastErrorReason();

DWORD ErrorFromErrno(int err);
// The error of a write below a folder reached without links (folder
// creation, a copy's target): a missing name on the way means the path is
// not there (3), ELOOP a link refused on the way (5), EIO a write fault.
DWORD WriteErrorFromErrno(int err);
// As ErrorFromErrno, but a missing `path` is ERROR_FILE_NOT_FOUND when only
// its last component is missing and ERROR_PATH_NOT_FOUND when its folder is,
// as on Windows.
DWORD EntryErrorFromErrno(int err, const std::string& path);
// The code of a write's cause: an errno as WriteErrorFromErrno maps it, or
// the code of one of the stand-in's own causes.
DWORD WriteErrorFromCause(int cause);
// A write's failure from its errno or cause: ELOOP on the way to a write
// is always a link that was refused.
inline Failure WriteFailure(int error) {
    const int cause = error == ELOOP ? kLinkInDestination : error;
    return {WriteErrorFromCause(cause), cause};
}

}  // namespace posix
