#include "copy/DirectoryPath.h"

#include "platform/FindListing.h"

bool CreateDirectoryPath(CString path) {
    if (path.IsEmpty()) return false;
    for (int at = path.Find(L"\\", 1); at >= 0; at = path.Find(L"\\", at + 1)) {
        CreateDirectoryW(path.Left(at), nullptr);
    }
    if (CreateDirectoryW(path, nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    // The platform reports a plain file of that name as "already exists" too;
    // only a folder lets the caller go on to use the path.
    return ListedFolderExists(path + L"\\*");
}
