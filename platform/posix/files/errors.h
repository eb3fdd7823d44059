// The thread's last error and the Win32 codes that system errors map to.
//
// A path component that is a plain file (ENOTDIR) reports 3
// (ERROR_PATH_NOT_FOUND) everywhere; Windows says 3 or 267 depending on the
// call. EROFS and EISDIR report 5, ELOOP reports 3, EIO reports 30 on reads
// and 29 on writes, and an errno with no Win32 counterpart reports 31
// (ERROR_GEN_FAILURE).
#pragma once

#include <string>

#include "platform/posix/files.h"

namespace posix {

// Sets the thread's last error and gives FALSE, for a failing call.
BOOL Fail(DWORD code);

DWORD ErrorFromErrno(int err);
// The error of a write below a folder reached without links (folder
// creation, a copy's target): a missing name on the way means the path is
// not there (3), ELOOP a link refused on the way (5), EIO a write fault.
DWORD WriteErrorFromErrno(int err);
// As ErrorFromErrno, but a missing `path` is ERROR_FILE_NOT_FOUND when only
// its last component is missing and ERROR_PATH_NOT_FOUND when its folder is,
// as on Windows.
DWORD EntryErrorFromErrno(int err, const std::string& path);

}  // namespace posix
