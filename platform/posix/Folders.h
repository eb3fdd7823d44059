// Folder paths for the stand-in's shell: the Windows form that the layers
// above see ("\srv\media" for /srv/media), kept lexically normal so that two
// spellings of one folder compare equal.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace posix {

// Starts with a separator, either kind.
bool IsAbsoluteFolderPath(const std::wstring& path);

// An absolute path in normal form: backslashes, no empty or "." segment,
// each ".." taken back lexically (never above the top), no separator at the
// end; the top itself is "\".
std::wstring NormalFolderPath(const std::wstring& absolute);

// Both in normal form.
std::wstring ParentFolder(const std::wstring& folder);
bool IsWithinFolder(const std::wstring& path, const std::wstring& folder);
// The last name of the path, "/" for the top.
std::wstring FolderName(const std::wstring& folder);

// An absolute path as the kernel reads it: each ".." steps up from where the
// names before it lead, links and all ("lnk\..\out" with lnk leading to
// other\VOD is other\out), every folder above the last name resolved, and
// the last name kept as given (a link named VOD stays VOD), unless it is "."
// or "..". In normal form; nothing when the folders above the last name
// cannot be resolved (missing, unreadable on the way).
std::optional<std::wstring> KernelFolderPath(const std::wstring& absolute);

// A directory, or a link to one.
bool IsFolder(const std::wstring& path);
// The folder's path with every symbolic link resolved, in normal form;
// nothing when the system cannot resolve it (gone, unreadable on the way).
std::optional<std::wstring> RealFolderPath(const std::wstring& folder);

// The working directory, and the user's home (nothing when unknown).
std::wstring WorkingFolder();
std::wstring HomeFolder();

struct Subfolders {
    std::vector<std::wstring> names;  // in the directory's own order
    int error;                        // errno when the folder could not be read
};

// Subfolders that a user is shown: hidden (dot) names are left out, as the
// Windows browser leaves out hidden folders.
Subfolders ListSubfolders(const std::wstring& folder);

}  // namespace posix
