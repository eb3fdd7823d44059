// A directory listing over the platform's find services, closed exactly once
// by its owner's scope, on every way out.
#pragma once

#include "platform/Platform.h"

class FindListing {
public:
    // Opens the listing of `pattern` (a folder, a backslash and a wildcard,
    // or an exact path) and reads its first entry.
    explicit FindListing(const wchar_t* pattern) : handle_(FindFirstFileW(pattern, &entry_)) {
        if (!IsOpen()) error_ = GetLastError();
    }
    ~FindListing() { Close(); }
    FindListing(const FindListing&) = delete;
    FindListing& operator=(const FindListing&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    const WIN32_FIND_DATAW& Entry() const { return entry_; }
    // Moves to the next entry; false ends the listing, whatever the reason.
    bool Next() {
        if (FindNextFileW(handle_, &entry_) != 0) return true;
        error_ = GetLastError();
        return false;
    }
    // Ends the listing before its owner's scope does; Failed() still tells.
    void Close() {
        if (IsOpen()) FindClose(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    // Whether the listing failed to open, or ended, for a reason other than
    // running out of matching entries: then entries may have gone unseen.
    bool Failed() const {
        return error_ != ERROR_SUCCESS && error_ != ERROR_FILE_NOT_FOUND && error_ != ERROR_NO_MORE_FILES;
    }

private:
    WIN32_FIND_DATAW entry_;
    HANDLE handle_;
    DWORD error_ = ERROR_SUCCESS;
};

// True when the folder that `pattern` lists exists: its listing opens, or it
// holds nothing that matches (an empty drive root has no "." entry), or it
// exists but may not be read. A plain file or a missing path gives false.
inline bool ListedFolderExists(const wchar_t* pattern) {
    FindListing listing(pattern);
    if (listing.IsOpen()) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_ACCESS_DENIED;
}
