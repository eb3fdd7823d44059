// CreateDirectoryW of the stand-in: a folder is made only where it can be
// reached without following a symbolic link. A dry run only plans it.
#include <sys/stat.h>

#include <cerrno>
#include <new>
#include <optional>
#include <string>

#include "platform/posix/files/Errors.h"
#include "platform/posix/files/PlannedWrites.h"
#include "platform/posix/Names.h"
#include "platform/posix/files/WriteFolders.h"

namespace posix {
namespace {

Failure MakeFolder(const std::string& nativePath) {
    const std::optional<WritePath> path = MakeWritePath(nativePath);
    if (!path) return {ERROR_PATH_NOT_FOUND, kNoCause};
    // EEXIST covers a file or a link of that name too: Windows reports 183
    // for whatever stands there.
    const int error = PlanningWritesOnly() ? PlanFolder(*path) : MakeWriteFolder(*path);
    if (error == 0) return kNoFailure;
    const Failure failure = WriteFailure(error);
    RememberFolderNotMade(*path, failure.cause);
    return failure;
}

}  // namespace
}  // namespace posix

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
    if (lpPathName == nullptr || lpPathName[0] == L'\0') return posix::Fail(ERROR_PATH_NOT_FOUND);
    try {
        const std::optional<std::string> path = posix::NativePath(lpPathName);
        if (!path) return posix::Fail(ERROR_INVALID_NAME);
        const posix::Failure failure = posix::MakeFolder(*path);
        return failure.code == ERROR_SUCCESS ? TRUE : posix::Fail(failure);
    } catch (const std::bad_alloc&) {
        return posix::Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
