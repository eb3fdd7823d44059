#include "platform/LastError.h"

SavedLastError SavedLastError::Take() {
    SavedLastError saved;
    saved.code_ = GetLastError();
    return saved;
}

void SavedLastError::Restore() const { SetLastError(code_); }
