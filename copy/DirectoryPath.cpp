#include "copy/DirectoryPath.h"

#include "platform/FindListing.h"

namespace {

// Whether `path`, which the platform reports as already there, is a folder.
// The platform reports a plain file of that name the same way. An exact
// lookup reads the entry's attributes in one step; a path that ends in a
// separator names no entry to look up, so its contents are listed instead.
bool IsExistingFolder(const CString& path) {
    const wchar_t last = path[path.GetLength() - 1];
    if (last == L'\\' || last == L'/') return ListedFolderExists(path + L"*");
    const FindListing entry(path);
    return entry.IsOpen() && (entry.Entry().dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool CreateDirectoryPath(CString path) {
    if (path.IsEmpty()) return false;
    for (int at = path.Find(L"\\", 1); at >= 0; at = path.Find(L"\\", at + 1)) {
        CreateDirectoryW(path.Left(at), nullptr);
    }
    if (CreateDirectoryW(path, nullptr)) return true;
    // Only a folder lets the caller go on to use the path.
    return GetLastError() == ERROR_ALREADY_EXISTS && IsExistingFolder(path);
}
