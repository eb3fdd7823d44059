#include "platform/posix/files/errors.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/names.h"

namespace posix {
namespace {

constexpr DWORD kErrorGenFailure = 31;

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

BOOL Fail(DWORD code) {
    lastError = code;
    return FALSE;
}

DWORD ErrorFromErrno(int err) {
    switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EINVAL:
    case EILSEQ: return ERROR_INVALID_NAME;
    case EIO: return ERROR_READ_FAULT;
    default: return kErrorGenFailure;
    }
}

DWORD WriteErrorFromErrno(int err) {
    switch (err) {
    case ENOENT: return ERROR_PATH_NOT_FOUND;
    case ELOOP: return ERROR_ACCESS_DENIED;
    case EIO: return ERROR_WRITE_FAULT;
    default: return ErrorFromErrno(err);
    }
}

DWORD EntryErrorFromErrno(int err, const std::string& path) {
    if (err != ENOENT) return ErrorFromErrno(err);
    struct stat parent;
    if (::stat(FolderOfPath(path).c_str(), &parent) == 0 && S_ISDIR(parent.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

}  // namespace posix

DWORD WINAPI GetLastError() { return posix::lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { posix::lastError = dwErrCode; }
