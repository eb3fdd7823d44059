#include "framework/CFileFind.h"

#include "platform/FindListing.h"

namespace {

bool IsLetter(wchar_t ch) { return (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z'); }

// "\\server\share\": two leading backslashes, then exactly two more, the last
// one ending the text, with a name between each.
bool IsNetworkRoot(const CString& path) {
    if (path.GetLength() < 5 || path[0] != L'\\' || path[1] != L'\\') return false;
    const int shareStart = path.Find(L'\\', 2);
    if (shareStart <= 2) return false;
    const int end = path.Find(L'\\', shareStart + 1);
    return end > shareStart + 1 && end == path.GetLength() - 1;
}

// The roots that a find query for the exact path can never report: they end
// in a backslash, which leaves the query no name to look up.
bool IsRoot(const CString& path) {
    const int length = path.GetLength();
    if (length == 1) return path[0] == L'\\';
    if (length == 3) return IsLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
    return IsNetworkRoot(path);
}

}  // namespace

CFileFind::~CFileFind() { Close(); }

BOOL CFileFind::FindFile(const wchar_t* name, DWORD /*unused*/) {
    Close();
    const CString path(name);
    if (IsRoot(path)) return ListedFolderExists(path + L"*") ? TRUE : FALSE;
    WIN32_FIND_DATAW entry;
    search_ = FindFirstFileW(path, &entry);
    return search_ != INVALID_HANDLE_VALUE ? TRUE : FALSE;
}

void CFileFind::Close() {
    if (search_ == INVALID_HANDLE_VALUE) return;
    FindClose(search_);
    search_ = INVALID_HANDLE_VALUE;
}
