// The test trees' own access to the file system on Windows (and under Wine):
// the system's wide-character file calls, used directly, never through the
// code under test.
#include "platform/Platform.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/FindListing.h"
#include "tests/support/TempTree.h"

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                            nullptr);
    }
    return bytes;
}

[[noreturn]] void Throw(const std::string& what, const std::wstring& path, DWORD error) {
    throw std::runtime_error(what + " " + Utf8(path) + ": Win32 error " + std::to_string(error));
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

bool IsDotName(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

std::wstring ParentOf(const std::wstring& path) {
    const std::size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

// A drive ("C:") or a path that ends in a separator: nothing to create.
bool IsRootLike(const std::wstring& path) {
    return path.empty() || (path.size() == 2 && path[1] == L':') || path.back() == L'\\' || path.back() == L'/';
}

void MakeDirs(const std::wstring& path) {
    if (IsRootLike(path)) return;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) Throw("not a directory:", path, ERROR_DIRECTORY);
        return;
    }
    MakeDirs(ParentOf(path));
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        Throw("CreateDirectoryW", path, GetLastError());
    }
}

void ClearReadOnly(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) Throw("CreateFileW", path, GetLastError());
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD put = 0;
        if (!::WriteFile(file.get(), bytes.data() + done, chunk, &put, nullptr)) Throw("WriteFile", path, GetLastError());
        done += put;
    }
}

// Removes the entry and everything below it, read-only parts included.
void RemoveEntry(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    ClearReadOnly(path, attributes);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) Throw("DeleteFileW", path, GetLastError());
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        for (const native::Entry& entry : native::ListDir(path)) RemoveEntry(path + L"\\" + entry.name);
    }
    if (!RemoveDirectoryW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        Throw("RemoveDirectoryW", path, GetLastError());
    }
}

bool ProbePermissions() {
    const std::wstring folder = native::MakeTempFolder();
    const std::wstring file = folder + L"\\read-only probe";
    WriteAll(file, "probe");
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool refused = handle == INVALID_HANDLE_VALUE;
    if (!refused) CloseHandle(handle);
    native::RemoveAll(folder);
    return refused;
}

}  // namespace

namespace native {

std::wstring MakeTempFolder(const std::wstring& in) {
    wchar_t base[MAX_PATH + 1] = {};
    const DWORD length = in.empty() ? GetTempPathW(MAX_PATH + 1, base) : 0;
    if (in.empty() && (length == 0 || length > MAX_PATH)) Throw("GetTempPathW", L"", GetLastError());
    std::wstring prefix = in.empty() ? std::wstring(base, length) : in;
    while (!prefix.empty() && (prefix.back() == L'\\' || prefix.back() == L'/')) prefix.pop_back();
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring path = prefix + L"\\cuecarry-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(path.c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) Throw("CreateDirectoryW", path, GetLastError());
    }
    Throw("no unique temporary folder in", prefix, ERROR_ALREADY_EXISTS);
}

void MakeDir(const std::wstring& path) { MakeDirs(path); }

void WriteFile(const std::wstring& path, const std::string& bytes) {
    MakeDirs(ParentOf(path));
    // Removing first replaces a read-only file as well.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) Throw("a directory is in the way:", path, ERROR_ACCESS_DENIED);
        ClearReadOnly(path, attributes);
        if (!DeleteFileW(path.c_str())) Throw("DeleteFileW", path, GetLastError());
    }
    WriteAll(path, bytes);
}

std::optional<std::string> ReadFile(const std::wstring& path) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return std::nullopt;
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
        if (got == 0) return bytes;
        bytes.append(buffer, got);
    }
}

std::optional<bool> IsDir(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<Entry> ListDir(const std::wstring& path) {
    FindListing search((path + L"\\*").c_str());
    if (!search.IsOpen()) Throw("FindFirstFileW", path, GetLastError());
    std::vector<Entry> entries;
    do {
        const WIN32_FIND_DATAW& found = search.Entry();
        if (IsDotName(found.cFileName)) continue;
        entries.push_back({found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (search.Next());
    if (GetLastError() != ERROR_NO_MORE_FILES) Throw("FindNextFileW", path, GetLastError());
    return entries;
}

void SetReadOnly(const std::wstring& path, bool readOnly) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) Throw("GetFileAttributesW", path, GetLastError());
    DWORD wanted = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY) : (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    // FILE_ATTRIBUTE_NORMAL stands alone; SetFileAttributesW takes 0 for it too.
    wanted &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    if (!SetFileAttributesW(path.c_str(), wanted)) Throw("SetFileAttributesW", path, GetLastError());
}

void RemoveAll(const std::wstring& path) { RemoveEntry(path); }

// Windows lets an administrator open a read-only file for writing no more
// than anyone else; Wine maps the attribute to the Unix mode bits, which root
// ignores. Asked once, of a real file.
bool PermissionsEnforced() {
    static const bool enforced = ProbePermissions();
    return enforced;
}

}  // namespace native

namespace native {

std::wstring ShortName(const std::wstring& path) {
    const FindListing search(path.c_str());
    if (!search.IsOpen()) Throw("FindFirstFileW", path, GetLastError());
    return search.Entry().cAlternateFileName;
}

// Wine hands paths of any length on to the host's file system; Windows
// refuses paths from MAX_PATH on unless the program opts into long paths,
// which the tests do not.
int PathLimit() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return wine ? 0 : MAX_PATH;
}

std::vector<std::wstring> DriveRoots() {
    std::vector<std::wstring> roots;
    const DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if ((drives & (1u << letter)) == 0) continue;
        std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + letter)) + L":\\";
        // Only drives that hold a file system (not an empty card reader).
        if (GetDriveTypeW(root.c_str()) == DRIVE_FIXED || GetDriveTypeW(root.c_str()) == DRIVE_REMOTE) {
            roots.push_back(root);
        }
    }
    return roots;
}

std::wstring NetworkFormRoot() { return L"\\\\?\\" + DriveRoots().front(); }

}  // namespace native
