// Directory listings of the stand-in: FindFirstFileW, FindNextFileW and
// FindClose over a snapshot of the directory, in NTFS order.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ReasonWords.h"
#include "platform/posix/files/Descriptors.h"
#include "platform/posix/files/DestinationAccess.h"
#include "platform/posix/files/Errors.h"
#include "platform/posix/files/PlannedWrites.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

FILETIME FileTimeFrom(const struct timespec& time) {
    // FILETIME counts 100 ns intervals since 1601-01-01; that is 11644473600 s
    // before the Unix epoch. Earlier times have no FILETIME and clamp to 0.
    constexpr std::int64_t kEpochShift = 11644473600LL;
    const std::int64_t seconds = static_cast<std::int64_t>(time.tv_sec) + kEpochShift;
    std::uint64_t ticks = 0;
    if (seconds >= 0) {
        ticks = static_cast<std::uint64_t>(seconds) * 10000000u + static_cast<std::uint64_t>(time.tv_nsec) / 100u;
    }
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

struct ListedEntry {
    std::wstring name;
    DWORD attributes;
    std::uint64_t size;
    FILETIME lastWrite;
    FILETIME lastAccess;
};

ListedEntry MakeEntry(std::wstring name, const struct stat& st) {
    ListedEntry entry{std::move(name), 0, 0, FileTimeFrom(st.st_mtim), FileTimeFrom(st.st_atim)};
    if (S_ISDIR(st.st_mode)) {
        entry.attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else {
        entry.size = static_cast<std::uint64_t>(st.st_size);
    }
    if ((st.st_mode & S_IWUSR) == 0) entry.attributes |= FILE_ATTRIBUTE_READONLY;
    if (entry.attributes == 0) entry.attributes = FILE_ATTRIBUTE_NORMAL;
    return entry;
}

// Lets FindNextFileW and FindClose turn away a handle that some other call
// handed out; a handle already closed cannot be told apart reliably.
constexpr std::uint32_t kListingMagic = 0x4C495354;

struct Listing {
    std::uint32_t magic = kListingMagic;
    std::vector<ListedEntry> entries;
    std::size_t next = 0;
};

Listing* ListingFrom(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    auto* listing = static_cast<Listing*>(handle);
    return listing->magic == kListingMagic ? listing : nullptr;
}

void FillFindData(const ListedEntry& entry, WIN32_FIND_DATAW* data) {
    *data = WIN32_FIND_DATAW{};
    data->dwFileAttributes = entry.attributes;
    // Linux keeps no creation time that stat reports; the last write is the
    // closest stand-in.
    data->ftCreationTime = entry.lastWrite;
    data->ftLastAccessTime = entry.lastAccess;
    data->ftLastWriteTime = entry.lastWrite;
    data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(entry.size & 0xFFFFFFFFu);
    std::copy(entry.name.begin(), entry.name.end(), data->cFileName);
    data->cFileName[entry.name.size()] = L'\0';
}

bool HasWildcard(std::wstring_view pattern) {
    return pattern.find_first_of(L"*?") != std::wstring_view::npos;
}

// `*` matches any run of code units, `?` exactly one; letter case is ignored.
bool Matches(std::wstring_view pattern, std::wstring_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starAt = std::wstring_view::npos;
    std::size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == L'?' || UpcaseUnit(pattern[p]) == UpcaseUnit(name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::wstring_view::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

int DotRank(const std::wstring& name) {
    if (name == L".") return 0;
    if (name == L"..") return 1;
    return 2;
}

// "." and ".." first, then NTFS order: ordinal comparison of the upper-cased
// code units. Names that differ only in case (possible here, not on NTFS)
// fall back to plain ordinal order so that every run lists them alike.
bool ListedBefore(const ListedEntry& a, const ListedEntry& b) {
    const int rankA = DotRank(a.name);
    const int rankB = DotRank(b.name);
    if (rankA != rankB) return rankA < rankB;
    const std::size_t common = std::min(a.name.size(), b.name.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto upperA = static_cast<std::uint32_t>(UpcaseUnit(a.name[i]));
        const auto upperB = static_cast<std::uint32_t>(UpcaseUnit(b.name[i]));
        if (upperA != upperB) return upperA < upperB;
    }
    if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
    return a.name < b.name;
}

// Windows reads "*.*" as every name, also those without a dot.
std::wstring_view EffectivePattern(std::wstring_view pattern) {
    return pattern == L"*.*" ? std::wstring_view(L"*") : pattern;
}

// The entry's own status, or that of the link itself when it leads nowhere
// (a dangling link is still an entry). Nothing when it vanished since the
// directory was read; an error when the folder may be read but not entered,
// since none of its entries can then be told apart.
std::optional<struct stat> EntryStatus(int folder, const char* name, int& error) {
    struct stat st;
    if (::fstatat(folder, name, &st, 0) == 0 || ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0) return st;
    if (errno != ENOENT) error = errno;
    return std::nullopt;
}

// Reads the whole directory at once so that no descriptor stays open during
// the caller's walk and later changes to the folder don't disturb it.
Failure FromErrno(int err) { return {ErrorFromErrno(err), err}; }

ListedEntry EntryForPlanned(std::wstring name, const PlannedEntry& planned) {
    ListedEntry entry{std::move(name), FILE_ATTRIBUTE_NORMAL, 0, FileTimeFrom({0, 0}), FileTimeFrom({0, 0})};
    if (planned.isFolder) entry.attributes = FILE_ATTRIBUTE_DIRECTORY;
    if (planned.readOnly) entry.attributes = FILE_ATTRIBUTE_READONLY;
    return entry;
}

// A dry run lists what the run would have made by now as if it were there,
// in the place of what is there under its name: the run would list it.
// `pattern` is a wildcard, or with `exact` a name to look up as it is
// written, as the file system looks names up. True when the run would have
// made `directory` itself.
bool AddPlanned(const std::string& directory, std::wstring_view pattern, bool listsDots,
                std::vector<ListedEntry>& out, bool exact = false) {
    const PlannedFolder planned = PlannedIn(directory);
    if (planned.planned && listsDots) {
        for (const wchar_t* dot : {L".", L".."}) {
            if (Matches(pattern, dot)) out.push_back(EntryForPlanned(dot, {".", true, false}));
        }
    }
    for (const PlannedEntry& made : planned.entries) {
        std::wstring name = WidenName(made.name.data(), made.name.size());
        if (exact ? name != pattern : !Matches(pattern, name)) continue;
        const auto same = std::find_if(out.begin(), out.end(), [&](const ListedEntry& e) { return e.name == name; });
        if (same != out.end()) out.erase(same);
        out.push_back(EntryForPlanned(std::move(name), made));
    }
    return planned.planned;
}

Failure ReadMatches(const std::string& directory, std::wstring_view pattern, std::vector<ListedEntry>& out) {
    DirStream dir(::opendir(directory.c_str()));
    if (!dir && errno == ENOENT && PlanningWritesOnly() && AddPlanned(directory, EffectivePattern(pattern), true, out)) {
        std::sort(out.begin(), out.end(), ListedBefore);
        return out.empty() ? Failure{ERROR_FILE_NOT_FOUND, kNoCause} : kNoFailure;
    }
    if (!dir) return errno == ENOENT ? Failure{ERROR_PATH_NOT_FOUND, ENOENT} : FromErrno(errno);
    const int fd = ::dirfd(dir.get());
    pattern = EffectivePattern(pattern);
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(dir.get());
        if (item == nullptr) break;
        // A byte name of at most 255 bytes gives at most 255 code units, so
        // every name fits cFileName.
        std::wstring name = WidenName(item->d_name, std::strlen(item->d_name));
        if (!Matches(pattern, name)) continue;
        int error = 0;
        const std::optional<struct stat> status = EntryStatus(fd, item->d_name, error);
        if (error != 0) return FromErrno(error);
        if (status) out.push_back(MakeEntry(std::move(name), *status));
    }
    if (errno != 0) return FromErrno(errno);
    dir.reset();
    if (PlanningWritesOnly()) AddPlanned(directory, pattern, false, out);
    std::sort(out.begin(), out.end(), ListedBefore);
    return out.empty() ? Failure{ERROR_FILE_NOT_FOUND, kNoCause} : kNoFailure;
}

Failure LookUp(const std::string& path, std::wstring_view name, std::vector<ListedEntry>& out) {
    if (name.size() >= MAX_PATH) return {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG};
    if (PlanningWritesOnly()) {
        AddPlanned(FolderOfPath(path), name, false, out, true);
        if (!out.empty()) return kNoFailure;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err != ENOENT || ::lstat(path.c_str(), &st) != 0) return {EntryErrorFromErrno(err, path), err};
    }
    if (const int refused = DestinationRefusal(path); refused != 0) {
        return {ERROR_ACCESS_DENIED, refused, reason_words::kNoFolderCanBeMade};
    }
    out.push_back(MakeEntry(std::wstring(name), st));
    return kNoFailure;
}

HANDLE OpenListing(LPCWSTR fileName, LPWIN32_FIND_DATAW data) {
    const std::optional<std::string> native = NativePath(fileName);
    if (!native) {
        Fail(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    const std::wstring_view path(fileName);
    const std::size_t separator = path.find_last_of(L"\\/");
    const std::wstring_view pattern =
        separator == std::wstring_view::npos ? path : path.substr(separator + 1);
    if (pattern.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto listing = std::make_unique<Listing>();
    // Separators are single bytes on both sides of the conversion, so the
    // split falls at the same place in the native path.
    const Failure failure = HasWildcard(pattern) ? ReadMatches(FolderOfPath(*native), pattern, listing->entries)
                                                 : LookUp(*native, pattern, listing->entries);
    if (failure.code != ERROR_SUCCESS) {
        Fail(failure);
        return INVALID_HANDLE_VALUE;
    }
    FillFindData(listing->entries[0], data);
    listing->next = 1;
    return listing.release();
}

}  // namespace
}  // namespace posix

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (lpFileName == nullptr || lpFindFileData == nullptr) {
        posix::Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        return posix::OpenListing(lpFileName, lpFindFileData);
    } catch (const std::bad_alloc&) {
        posix::Fail(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    posix::Listing* listing = posix::ListingFrom(hFindFile);
    if (listing == nullptr) return posix::Fail(ERROR_INVALID_HANDLE);
    if (lpFindFileData == nullptr) return posix::Fail(ERROR_INVALID_PARAMETER);
    if (listing->next >= listing->entries.size()) return posix::Fail(ERROR_NO_MORE_FILES);
    posix::FillFindData(listing->entries[listing->next++], lpFindFileData);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    posix::Listing* listing = posix::ListingFrom(hFindFile);
    if (listing == nullptr) return posix::Fail(ERROR_INVALID_HANDLE);
    listing->magic = 0;
    delete listing;
    return TRUE;
}
