#include "platform/posix/files/Errors.h"

#include <string.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/LastError.h"
#include "platform/ReasonWords.h"
#include "platform/posix/files/ThreadFiles.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

constexpr DWORD kErrorGenFailure = 31;

const char* OwnReason(int cause) {
    switch (cause) {
    case kSourceChanged: return reason_words::kSourceChanged;
    case kNotRegularFile: return reason_words::kNotRegularFile;
    case kTargetReadOnly: return reason_words::kTargetReadOnly;
    case kSameFile: return "the target is the source itself";
    case kReadFault: return "Input/output error while reading the source";
    case kLinkInDestination: return "a symbolic link in the destination";
    case kTargetExists: return "a file is already in its place";
    default: return nullptr;
    }
}

}  // namespace

BOOL Fail(const Failure& failure) {
    ThisThread().lastError = failure;
    return FALSE;
}

Failure LastFailure() { return ThisThread().lastError; }

std::string LastErrorReason() {
    const Failure& last = ThisThread().lastError;
    const int lastCause = last.cause;
    std::string reason;
    if (const char* own = OwnReason(lastCause)) {
        reason = own;
    } else if (const char* text = lastCause > 0 ? ::strerrordesc_np(lastCause) : nullptr) {
        // The system's own words, in English whatever the locale: they end
        // up beside our English messages.
        reason = text;
    } else {
        reason = "error " + std::to_string(last.code);
    }
    return last.where != nullptr ? last.where + std::string(": ") + reason : reason;
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

DWORD WriteErrorFromCause(int cause) {
    switch (cause) {
    case kSourceChanged: return ERROR_FILE_INVALID;
    case kNotRegularFile:
    case kTargetReadOnly:
    case kLinkInDestination: return ERROR_ACCESS_DENIED;
    case kSameFile: return ERROR_SHARING_VIOLATION;
    case kReadFault: return ERROR_READ_FAULT;
    case kTargetExists: return ERROR_FILE_EXISTS;
    default: return WriteErrorFromErrno(cause);
    }
}

DWORD EntryErrorFromErrno(int err, const std::string& path) {
    if (err != ENOENT) return ErrorFromErrno(err);
    struct stat parent;
    if (::stat(FolderOfPath(path).c_str(), &parent) == 0 && S_ISDIR(parent.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

}  // namespace posix

SavedLastError SavedLastError::Take() {
    const posix::Failure& last = posix::ThisThread().lastError;
    SavedLastError saved;
    saved.code_ = last.code;
    saved.cause_ = last.cause;
    saved.where_ = last.where;
    return saved;
}

void SavedLastError::Restore() const { posix::Fail(posix::Failure{code_, cause_, where_}); }

DWORD WINAPI GetLastError() { return posix::ThisThread().lastError.code; }

void WINAPI SetLastError(DWORD dwErrCode) { posix::Fail(dwErrCode); }
