// The framework's file finder, reduced to the existence query that the run
// sequence makes of each chosen folder.
#pragma once

#include "framework/CString.h"
#include "platform/Platform.h"

class CFileFind {
public:
    CFileFind() noexcept = default;
    virtual ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Nonzero when the platform's find query for exactly `name` succeeds. A
    // root ("E:\", "\\server\share\", and "\" for the current drive) cannot be
    // found that way, so an existing root counts as found by listing it
    // instead. A new query ends the previous search.
    virtual BOOL FindFile(const wchar_t* name, DWORD unused = 0);
    // Ends the search, if one is open.
    virtual void Close();

private:
    HANDLE search_ = INVALID_HANDLE_VALUE;
};
