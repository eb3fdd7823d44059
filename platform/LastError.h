// A thread's last error, taken where a call failed and set again on the
// thread that tells of it. The platform keeps the last error per thread, so
// caption work done by a worker carries its own error back to the walk.
#pragma once

#include "platform/platform.h"

#ifndef _WIN32
#include "platform/posix/files/errors.h"
#endif

class SavedLastError {
public:
    // This thread's last error now.
    static SavedLastError Take() {
        SavedLastError saved;
#ifdef _WIN32
        saved.code_ = GetLastError();
#else
        // The stand-in keeps the error's cause beside its code.
        saved.failure_ = posix::LastFailure();
#endif
        return saved;
    }

    // Makes it this thread's last error.
    void Restore() const {
#ifdef _WIN32
        SetLastError(code_);
#else
        posix::Fail(failure_);
#endif
    }

private:
#ifdef _WIN32
    DWORD code_ = ERROR_SUCCESS;
#else
    posix::Failure failure_ = posix::kNoFailure;
#endif
};
