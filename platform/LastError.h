// A thread's last error, taken where a call failed and set again on the
// thread that tells of it. The platform keeps the last error per thread, so
// caption work done by a worker carries its own error back to the walk.
#pragma once

#include "platform/Platform.h"

class SavedLastError {
public:
    // This thread's last error now.
    static SavedLastError Take();
    // Makes it this thread's last error.
    void Restore() const;

private:
    // As the platform keeps it: the code, and on the Linux stand-in also its
    // cause and where the cause lies, which tell a person more than a code.
    DWORD code_ = ERROR_SUCCESS;
    int cause_ = 0;
    const char* where_ = nullptr;
};
