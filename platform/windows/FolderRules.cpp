// How the destination compares names, and which folders lie inside it, on
// Windows: its file systems ignore letter case, and a folder is known by its
// volume and file index, whatever junction or link led to it.
#include "platform/FolderRules.h"

#include <algorithm>
#include <cwchar>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace {

// A folder as the file system knows it.
struct Identity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    bool operator==(const Identity& other) const {
        return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
    }
};

class FolderHandle {
public:
    explicit FolderHandle(const wchar_t* path)
        : handle_(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    ~FolderHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    std::optional<Identity> Id() const {
        BY_HANDLE_FILE_INFORMATION info;
        if (handle_ == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle_, &info)) return std::nullopt;
        return Identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    }
    // The path with every junction and link on the way resolved.
    std::optional<std::wstring> FinalPath() const {
        std::wstring path(32768, L'\0');
        const DWORD length = GetFinalPathNameByHandleW(handle_, &path[0], static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0 || length >= path.size()) return std::nullopt;
        path.resize(length);
        return path;
    }

private:
    HANDLE handle_;
};

// The full path as Windows resolves it, without a separator at the end.
std::wstring FullPath(const wchar_t* path) {
    wchar_t full[32768];
    const DWORD length = GetFullPathNameW(path, 32768, full, nullptr);
    std::wstring result = length > 0 && length < 32768 ? std::wstring(full, length) : std::wstring(path);
    while (result.size() > 1 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
    return result;
}

// The length of the volume's root at the start of a final path: "\\?\C:\"
// or "\\?\UNC\server\share\".
std::size_t RootLength(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        const std::size_t share = path.find(L'\\', 8);
        const std::size_t end = share == std::wstring::npos ? share : path.find(L'\\', share + 1);
        return end == std::wstring::npos ? path.size() : end + 1;
    }
    return path.compare(0, 4, L"\\\\?\\") == 0 && path.size() >= 7 && path[5] == L':' ? 7 : path.size();
}

// The folders above a final path ("\\?\C:\media\VOD"), nearest first, down
// to its volume's root.
std::vector<std::wstring> FoldersAbove(std::wstring path) {
    std::vector<std::wstring> above;
    const std::size_t root = RootLength(path);
    while (path.size() > root) {
        const std::size_t cut = path.find_last_of(L'\\');
        path.resize(cut == std::wstring::npos || cut < root ? root : cut);
        above.push_back(path);
    }
    return above;
}

}  // namespace

std::wstring FoldedName(const wchar_t* name) {
    std::wstring folded(name);
    if (!folded.empty()) {
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name, static_cast<int>(folded.size()), &folded[0],
                      static_cast<int>(folded.size()), nullptr, nullptr, 0);
    }
    return folded;
}

bool SpellingsMeet(const wchar_t*, const wchar_t*) { return true; }

bool IsSingleName(const wchar_t* name) { return std::wcspbrk(name, L"\\/:") == nullptr; }

bool FolderLiesWithin(const wchar_t* folder, const wchar_t* outer) {
    const std::wstring inner = FullPath(folder);
    const std::wstring around = FullPath(outer);
    if (inner.size() < around.size()) return false;
    if (CompareStringOrdinal(inner.c_str(), static_cast<int>(around.size()), around.c_str(),
                             static_cast<int>(around.size()), TRUE) != CSTR_EQUAL) {
        return false;
    }
    return inner.size() == around.size() || inner[around.size()] == L'\\' || around.back() == L'\\';
}

struct DestinationTree::Identities {
    std::optional<Identity> destination;
    std::deque<Identity> outside;
};

DestinationTree::DestinationTree(const wchar_t* destinationRoot) : identities_(std::make_unique<Identities>()) {
    identities_->destination = FolderHandle(destinationRoot).Id();
}

DestinationTree::~DestinationTree() = default;

// Up from the folder's final path, each folder above it known by its
// identity: the folder is inside when the destination is among them.
bool DestinationTree::Contains(const wchar_t* folder) {
    constexpr std::size_t kRemembered = 16;
    if (!identities_->destination) return false;
    const FolderHandle handle(folder);
    const std::optional<Identity> self = handle.Id();
    if (!self) return false;
    if (*self == *identities_->destination) return true;
    std::deque<Identity>& outside = identities_->outside;
    std::vector<Identity> walked;
    if (std::find(outside.begin(), outside.end(), *self) == outside.end()) {
        walked.push_back(*self);
        const std::optional<std::wstring> path = handle.FinalPath();
        for (const std::wstring& above : path ? FoldersAbove(*path) : std::vector<std::wstring>()) {
            const std::optional<Identity> id = FolderHandle(above.c_str()).Id();
            if (!id) break;
            if (*id == *identities_->destination) return true;
            if (std::find(outside.begin(), outside.end(), *id) != outside.end()) break;
            walked.push_back(*id);
        }
    }
    // The deepest first: the walk's next questions are about its neighbours.
    for (auto at = walked.rbegin(); at != walked.rend(); ++at) outside.push_front(*at);
    while (outside.size() > kRemembered) outside.pop_back();
    return false;
}
