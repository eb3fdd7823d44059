// Folder paths and listings for the terminal browser and the desktop folder.
#include "platform/posix/Folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/posix/files/Descriptors.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

bool IsSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

std::wstring FromNative(const char* path) {
    std::wstring wide = WidenName(path, std::char_traits<char>::length(path));
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

}  // namespace

bool IsAbsoluteFolderPath(const std::wstring& path) { return !path.empty() && IsSeparator(path[0]); }

std::wstring NormalFolderPath(const std::wstring& absolute) {
    std::vector<std::wstring> segments;
    std::size_t at = 0;
    while (at < absolute.size()) {
        std::size_t end = at;
        while (end < absolute.size() && !IsSeparator(absolute[end])) ++end;
        const std::wstring segment = absolute.substr(at, end - at);
        if (segment == L"..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != L".") {
            segments.push_back(segment);
        }
        at = end + 1;
    }
    std::wstring normal;
    for (const std::wstring& segment : segments) normal += L"\\" + segment;
    return normal.empty() ? L"\\" : normal;
}

std::wstring ParentFolder(const std::wstring& folder) {
    const std::size_t at = folder.rfind(L'\\');
    return at == 0 || at == std::wstring::npos ? L"\\" : folder.substr(0, at);
}

bool IsWithinFolder(const std::wstring& path, const std::wstring& folder) {
    if (folder == L"\\" || path == folder) return true;
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == L'\\';
}

std::wstring FolderName(const std::wstring& folder) {
    return folder == L"\\" ? L"/" : folder.substr(folder.rfind(L'\\') + 1);
}

bool IsFolder(const std::wstring& path) {
    const std::optional<std::string> native = NativePath(path.c_str());
    struct stat status {};
    return native && ::stat(native->c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::optional<std::wstring> KernelFolderPath(const std::wstring& absolute) {
    std::size_t end = absolute.size();
    while (end > 0 && IsSeparator(absolute[end - 1])) --end;
    const std::size_t start = absolute.find_last_of(L"\\/", end == 0 ? 0 : end - 1);
    const std::wstring last = absolute.substr(start == std::wstring::npos ? 0 : start + 1, end - (start + 1));
    if (end == 0 || last == L"." || last == L"..") return RealFolderPath(absolute);
    const std::optional<std::wstring> above = RealFolderPath(absolute.substr(0, start + 1));
    if (!above) return std::nullopt;
    return NormalFolderPath(*above + L"\\" + last);
}

std::optional<std::wstring> RealFolderPath(const std::wstring& folder) {
    const std::optional<std::string> native = NativePath(folder.c_str());
    if (!native) return std::nullopt;
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(native->c_str(), nullptr), &std::free);
    if (!real) return std::nullopt;
    return NormalFolderPath(FromNative(real.get()));
}

std::wstring WorkingFolder() {
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return cwd ? NormalFolderPath(FromNative(cwd.get())) : std::wstring();
}

std::wstring HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    return home != nullptr && home[0] == '/' ? NormalFolderPath(FromNative(home)) : std::wstring();
}

Subfolders ListSubfolders(const std::wstring& folder) {
    Subfolders result{{}, 0};
    const std::optional<std::string> native = NativePath(folder.c_str());
    if (!native) return {{}, ENOENT};
    DirStream dir(::opendir(native->c_str()));
    if (!dir) return {{}, errno};
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        struct stat status {};
        if (name[0] == '.') continue;
        if (::fstatat(::dirfd(dir.get()), name.c_str(), &status, 0) != 0 || !S_ISDIR(status.st_mode)) continue;
        result.names.push_back(WidenName(name.data(), name.size()));
    }
    return result;
}

}  // namespace posix
