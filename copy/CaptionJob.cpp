#include "copy/CaptionJob.h"

#include <new>

#include "copy/DirectoryPath.h"

void CaptionJob::Run() {
    try {
        // A caption folder that could not be made makes the copy fail, and
        // the copy's error says why.
        CreateDirectoryPath(captionFolder);
        copied = CopyFileW(source, target, FALSE) != FALSE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        copied = false;
    }
    if (!copied) error = SavedLastError::Take();
}
