// A temporary folder tree for tests, addressed by the same Windows-form wide
// paths that the code under test sees, and built through the build's own file
// system, not through the code under test.
#pragma once

#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "framework/CString.h"

class TempTree {
public:
    TempTree();   // a fresh, empty folder
    // One below `base` (a Windows-form path), for a test that needs a file
    // system of its own kind there, such as the memory one.
    explicit TempTree(const std::wstring& base);
    ~TempTree();  // removes everything below it, read-only entries included
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const CString& Root() const { return root_; }
    // Root + "\" + relative; relative paths use backslashes. An empty
    // relative path gives the root itself.
    CString Path(const std::wstring& relative) const;

    // Creates the folder and any missing parents.
    void MakeDir(const std::wstring& relative) const;
    // Creates the file (and its missing parents), replacing any earlier one.
    void WriteFile(const std::wstring& relative, const std::string& bytes) const;
    std::optional<std::string> ReadFile(const std::wstring& relative) const;
    bool Exists(const std::wstring& relative) const;
    bool IsDir(const std::wstring& relative) const;
    // Every folder and file below `relative`, as paths relative to it with
    // backslashes; folders end with a backslash.
    std::set<std::wstring> List(const std::wstring& relative = L"") const;
    void SetReadOnly(const std::wstring& relative, bool readOnly) const;
    void Remove(const std::wstring& relative) const;

private:
    CString root_;
};

// Every folder and file that publishing the caption file `file` adds below a
// destination root, for the content destination `shortName`:
// shortName\, shortName\Base\, ...\video\, ...\video\vtt\, ...\vtt\file.
std::set<std::wstring> PublishedCaption(const std::wstring& shortName, const std::wstring& file);
std::set<std::wstring> Union(std::initializer_list<std::set<std::wstring>> parts);

// The names that the platform's own listing of `pattern` returns, in its
// order ("." and ".." included); empty when the listing does not open.
std::vector<std::wstring> PlatformListing(const CString& pattern);

// The build's own file system, with Windows-form wide paths. TempTree.cpp is
// the same on every build; Native*.cpp holds what differs.
namespace native {
struct Entry {
    std::wstring name;
    bool isDir;
};
// In `base`, or where the system keeps temporary files.
std::wstring MakeTempFolder(const std::wstring& base = std::wstring());
void MakeDir(const std::wstring& path);
void WriteFile(const std::wstring& path, const std::string& bytes);
std::optional<std::string> ReadFile(const std::wstring& path);
std::optional<bool> IsDir(const std::wstring& path);  // nothing when absent
std::vector<Entry> ListDir(const std::wstring& path);  // without "." and ".."
void SetReadOnly(const std::wstring& path, bool readOnly);
void RemoveAll(const std::wstring& path);
// False when this process may write read-only files and list unreadable
// folders anyway (root, on POSIX and under Wine), so that permission cases
// prove nothing.
bool PermissionsEnforced();

// Where the platforms differ, what this build's platform does, so that a
// test can state each platform's behaviour.
//
// The short (8.3) alternative name that the file system keeps for the entry,
// or empty when it has none. POSIX file systems never have one; a Windows
// volume may; Wine makes one up for every name that is not 8.3 already
// ("c.vttx" -> "C~~~~QA2.VTT"), and wildcards match it, as Windows does.
std::wstring ShortName(const std::wstring& path);
// The longest path, in UTF-16 code units, that the platform's file calls
// take without a "\\?\" prefix: 260 (MAX_PATH) on Windows, 0 for no limit
// of the platform's own (POSIX, and Wine, which passes long paths on to the
// host's file system).
int PathLimit();
// The roots that the platform's paths can start from: each mapped drive
// ("C:\", "Z:\") on Windows, the file system root "\" on POSIX.
std::vector<std::wstring> DriveRoots();
// An existing folder named in the form of a network root, "\\server\share\":
// on Windows a drive's "\\?\X:\"; on POSIX, where doubled separators read
// as one, "\\proc\self\".
std::wstring NetworkFormRoot();
}  // namespace native
