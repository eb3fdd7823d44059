// Kernel file services of the stand-in, on POSIX calls. Each call keeps its
// Win32 contract (results, last-error codes, the listing's order) so that the
// layers above behave the same here as on Windows.
//
// Error codes: a path component that is a plain file (ENOTDIR) reports 3
// (ERROR_PATH_NOT_FOUND) everywhere; Windows says 3 or 267 depending on the
// call. EROFS and EISDIR report 5, ELOOP reports 3, EIO reports 30 on reads
// and 29 on writes, and an errno with no Win32 counterpart reports 31
// (ERROR_GEN_FAILURE).
#include "platform/posix/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/names.h"

namespace {

constexpr DWORD kErrorGenFailure = 31;

thread_local DWORD lastError = ERROR_SUCCESS;

BOOL Fail(DWORD code) {
    lastError = code;
    return FALSE;
}

// ---------------------------------------------------------------------------
// Owned system resources

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and reports the errno of a failed close: on network file
    // systems that is where a failed write may show up first.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int fd_ = -1;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirStream = std::unique_ptr<DIR, DirCloser>;

// ---------------------------------------------------------------------------
// Error codes

DWORD ErrorFromErrno(int err) {
    switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EINVAL:
    case EILSEQ: return ERROR_INVALID_NAME;
    case EIO: return ERROR_READ_FAULT;
    default: return kErrorGenFailure;
    }
}

DWORD WriteErrorFromErrno(int err) {
    return err == EIO ? static_cast<DWORD>(ERROR_WRITE_FAULT) : ErrorFromErrno(err);
}

// The path up to and including its last slash; empty for a bare name.
std::string FolderPrefix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ParentOf(const std::string& path) {
    std::string folder = FolderPrefix(path);
    return folder.empty() ? std::string(".") : folder;
}

// A path whose parent folder is missing is ERROR_PATH_NOT_FOUND, one whose
// last component alone is missing ERROR_FILE_NOT_FOUND, as on Windows.
DWORD MissingEntryError(const std::string& path) {
    struct stat parent;
    if (::stat(ParentOf(path).c_str(), &parent) == 0 && S_ISDIR(parent.st_mode)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_PATH_NOT_FOUND;
}

DWORD EntryErrorFromErrno(int err, const std::string& path) {
    return err == ENOENT ? MissingEntryError(path) : ErrorFromErrno(err);
}

// ---------------------------------------------------------------------------
// Listings

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
                   (pattern[p] == L'?' || posix::UpcaseUnit(pattern[p]) == posix::UpcaseUnit(name[n]))) {
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
        const auto upperA = static_cast<std::uint32_t>(posix::UpcaseUnit(a.name[i]));
        const auto upperB = static_cast<std::uint32_t>(posix::UpcaseUnit(b.name[i]));
        if (upperA != upperB) return upperA < upperB;
    }
    if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
    return a.name < b.name;
}

// Windows reads "*.*" as every name, also those without a dot.
std::wstring_view EffectivePattern(std::wstring_view pattern) {
    return pattern == L"*.*" ? std::wstring_view(L"*") : pattern;
}

bool Listable(const char* name, const std::wstring& wide) {
    // A backslash would read as a separator in the paths built from the
    // name, and cFileName holds at most MAX_PATH - 1 units.
    return std::strchr(name, '\\') == nullptr && wide.size() < MAX_PATH;
}

// Reads the whole directory at once so that no descriptor stays open during
// the caller's walk and later changes to the folder don't disturb it.
DWORD ReadMatches(const std::string& directory, std::wstring_view pattern, std::vector<ListedEntry>& out) {
    DirStream dir(::opendir(directory.c_str()));
    if (!dir) return errno == ENOENT ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND) : ErrorFromErrno(errno);
    const int fd = ::dirfd(dir.get());
    pattern = EffectivePattern(pattern);
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(dir.get());
        if (item == nullptr) break;
        std::wstring name = posix::WidenName(item->d_name, std::strlen(item->d_name));
        if (!Listable(item->d_name, name) || !Matches(pattern, name)) continue;
        struct stat st;
        // A dangling link is still an entry; one that vanished since readdir is not.
        if (::fstatat(fd, item->d_name, &st, 0) != 0 && ::fstatat(fd, item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        out.push_back(MakeEntry(std::move(name), st));
    }
    if (errno != 0) return ErrorFromErrno(errno);
    dir.reset();
    std::sort(out.begin(), out.end(), ListedBefore);
    return out.empty() ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : static_cast<DWORD>(ERROR_SUCCESS);
}

DWORD LookUp(const std::string& path, std::wstring_view name, std::vector<ListedEntry>& out) {
    if (name.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err != ENOENT || ::lstat(path.c_str(), &st) != 0) return EntryErrorFromErrno(err, path);
    }
    out.push_back(MakeEntry(std::wstring(name), st));
    return ERROR_SUCCESS;
}

std::size_t LastSeparator(std::wstring_view path) {
    return path.find_last_of(L"\\/");
}

HANDLE OpenListing(LPCWSTR fileName, LPWIN32_FIND_DATAW data) {
    const std::optional<std::string> native = posix::NativePath(fileName);
    if (!native) {
        lastError = ERROR_INVALID_NAME;
        return INVALID_HANDLE_VALUE;
    }
    const std::wstring_view path(fileName);
    const std::size_t separator = LastSeparator(path);
    const std::wstring_view pattern =
        separator == std::wstring_view::npos ? path : path.substr(separator + 1);
    if (pattern.empty()) {
        lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    auto listing = std::make_unique<Listing>();
    // Backslashes and slashes are single bytes on both sides of the
    // conversion, so the split falls at the same place in the native path.
    const DWORD error = HasWildcard(pattern)
                            ? ReadMatches(ParentOf(*native), pattern, listing->entries)
                            : LookUp(*native, pattern, listing->entries);
    if (error != ERROR_SUCCESS) {
        lastError = error;
        return INVALID_HANDLE_VALUE;
    }
    FillFindData(listing->entries[0], data);
    listing->next = 1;
    return listing.release();
}

// ---------------------------------------------------------------------------
// Copies

// The temporary copy in the destination folder, removed again unless it was
// renamed onto the target.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    DWORD Create(const std::string& folder);
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }
    int Close() { return fd_.Close(); }
    void Renamed() { path_.clear(); }

private:
    std::string path_;
    FileDescriptor fd_;
};

DWORD TemporaryFile::Create(const std::string& folder) {
    // A leading dot keeps it out of sight; the process id and a counter keep
    // concurrent copies, in this process and others, apart. O_EXCL settles
    // any clash, also with a file left by an earlier process of the same id
    // or by a child that inherited the id read here.
    static const std::string processId = std::to_string(::getpid());
    static std::atomic<unsigned> counter{0};
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string candidate =
            folder + ".cuecarry-" + processId + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            path_ = std::move(candidate);
            fd_.Reset(fd);
            return ERROR_SUCCESS;
        }
        if (errno != EEXIST) {
            return errno == ENOENT ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND) : WriteErrorFromErrno(errno);
        }
    }
    return ERROR_ALREADY_EXISTS;
}

DWORD CopyByReading(int in, int out) {
    constexpr std::size_t kBufferSize = 128 * 1024;
    const std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    for (;;) {
        const ssize_t got = ::read(in, buffer.get(), kBufferSize);
        if (got == 0) return ERROR_SUCCESS;
        if (got < 0) {
            if (errno == EINTR) continue;
            return ErrorFromErrno(errno);
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.get() + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return WriteErrorFromErrno(errno);
            }
            done += put;
        }
    }
}

bool CopyRangeUnsupported(int err) {
    return err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP || err == EBADF;
}

// A reflink shares the blocks instead of copying them. Once the source's
// file system has refused one, later copies from it don't ask again: on file
// systems without reflinks (ext4, tmpfs) that saves a call per file. A
// refusal that came from the destination's side only costs reflinks from
// that source, never a copy.
bool TryReflink(int in, int out, const struct stat& source) {
    thread_local std::optional<dev_t> refusedFrom;
    if (refusedFrom == source.st_dev) return false;
    if (::ioctl(out, FICLONE, in) == 0) return true;
    refusedFrom = source.st_dev;
    return false;
}

// Reflink first (shares the blocks), then the kernel's own copy, then plain
// reads and writes where the file systems allow neither.
DWORD CopyContent(int in, int out, const struct stat& source) {
    if (TryReflink(in, out, source)) return ERROR_SUCCESS;
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    off_t copied = 0;
    for (;;) {
        const ssize_t moved = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
        if (moved > 0) {
            copied += moved;
            // The size seen at open is the copy's size; the call that would
            // only confirm the end is saved.
            if (source.st_size > 0 && copied >= source.st_size) return ERROR_SUCCESS;
            continue;
        }
        // A first 0 can also come from files whose size stat doesn't know
        // (procfs and the like); reading tells them apart from empty files.
        if (moved == 0) return copied > 0 ? static_cast<DWORD>(ERROR_SUCCESS) : CopyByReading(in, out);
        if (errno == EINTR) continue;
        // The fallback picks up at the file offsets the kernel copy reached.
        if (CopyRangeUnsupported(errno)) return CopyByReading(in, out);
        return WriteErrorFromErrno(errno);
    }
}

// Windows keeps the read-only attribute and the last-write time on a copy.
DWORD CopyMetadata(const struct stat& source, int out) {
    if (::fchmod(out, source.st_mode & 0777) != 0) return WriteErrorFromErrno(errno);
    const struct timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    if (::futimens(out, times) != 0) return WriteErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

DWORD RenameError(int err) {
    return err == ENOENT ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND) : WriteErrorFromErrno(err);
}

// Puts the finished copy in place in one step, so a reader sees either the
// earlier target or the whole new one.
DWORD MoveIntoPlace(TemporaryFile& temp, const std::string& target, bool failIfExists) {
    if (!failIfExists) {
        if (::rename(temp.path().c_str(), target.c_str()) != 0) return RenameError(errno);
        temp.Renamed();
        return ERROR_SUCCESS;
    }
    // Refuse a target that appeared since it was checked.
    if (::renameat2(AT_FDCWD, temp.path().c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        temp.Renamed();
        return ERROR_SUCCESS;
    }
    if (errno == EEXIST) return ERROR_FILE_EXISTS;
    if (errno != EINVAL && errno != ENOSYS) return RenameError(errno);
    // File systems without RENAME_NOREPLACE: link() refuses an existing name
    // as well; the temporary name then goes with the TemporaryFile.
    if (::link(temp.path().c_str(), target.c_str()) != 0) {
        return errno == EEXIST ? static_cast<DWORD>(ERROR_FILE_EXISTS) : RenameError(errno);
    }
    return ERROR_SUCCESS;
}

// What Windows refuses before it writes anything: an existing target under
// failIfExists, a folder, a read-only file, or the source itself. The
// read-only test goes by the mode bits rather than access(), so that it holds
// for root too.
DWORD CheckTarget(const std::string& target, const struct stat& source, bool failIfExists) {
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) {
        return errno == ENOENT ? static_cast<DWORD>(ERROR_SUCCESS) : ErrorFromErrno(errno);
    }
    if (failIfExists) return ERROR_FILE_EXISTS;
    if (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0) return ERROR_ACCESS_DENIED;
    if (st.st_dev == source.st_dev && st.st_ino == source.st_ino) return ERROR_SHARING_VIOLATION;
    return ERROR_SUCCESS;
}

DWORD CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    // O_NONBLOCK: a FIFO in place of the source must not hang the open; it is
    // refused below like every other non-regular file.
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in) return EntryErrorFromErrno(errno, source);
    struct stat sourceStat;
    if (::fstat(in.get(), &sourceStat) != 0) return ErrorFromErrno(errno);
    if (!S_ISREG(sourceStat.st_mode)) return ERROR_ACCESS_DENIED;

    DWORD error = CheckTarget(target, sourceStat, failIfExists);
    if (error != ERROR_SUCCESS) return error;

    TemporaryFile temp;
    error = temp.Create(FolderPrefix(target));
    if (error != ERROR_SUCCESS) return error;
    error = CopyContent(in.get(), temp.fd(), sourceStat);
    if (error == ERROR_SUCCESS) error = CopyMetadata(sourceStat, temp.fd());
    if (error != ERROR_SUCCESS) return error;
    if (const int err = temp.Close(); err != 0) return WriteErrorFromErrno(err);
    return MoveIntoPlace(temp, target, failIfExists);
}

// ---------------------------------------------------------------------------
// Path splitting

struct PathPart {
    wchar_t* buffer;
    std::size_t size;
    std::size_t begin;
    std::size_t end;
};

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

void ClearParts(PathPart* parts, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (parts[i].buffer != nullptr && parts[i].size > 0) parts[i].buffer[0] = L'\0';
    }
}

errno_t SplitFailure(PathPart* parts, std::size_t count, errno_t code) {
    ClearParts(parts, count);
    errno = code;
    return code;
}

}  // namespace

// ---------------------------------------------------------------------------
// The Win32 surface

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (lpFileName == nullptr || lpFindFileData == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    try {
        return OpenListing(lpFileName, lpFindFileData);
    } catch (const std::bad_alloc&) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return INVALID_HANDLE_VALUE;
    }
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    Listing* listing = ListingFrom(hFindFile);
    if (listing == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (lpFindFileData == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (listing->next >= listing->entries.size()) return Fail(ERROR_NO_MORE_FILES);
    FillFindData(listing->entries[listing->next++], lpFindFileData);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    Listing* listing = ListingFrom(hFindFile);
    if (listing == nullptr) return Fail(ERROR_INVALID_HANDLE);
    listing->magic = 0;
    delete listing;
    return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    try {
        const std::optional<std::string> source = posix::NativePath(lpExistingFileName);
        const std::optional<std::string> target = posix::NativePath(lpNewFileName);
        if (!source || !target) return Fail(ERROR_INVALID_NAME);
        const DWORD error = CopyFile(*source, *target, bFailIfExists != FALSE);
        return error == ERROR_SUCCESS ? TRUE : Fail(error);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
    if (lpPathName == nullptr || lpPathName[0] == L'\0') return Fail(ERROR_PATH_NOT_FOUND);
    try {
        const std::optional<std::string> path = posix::NativePath(lpPathName);
        if (!path) return Fail(ERROR_INVALID_NAME);
        if (::mkdir(path->c_str(), 0777) == 0) return TRUE;
        // EEXIST covers a file of that name too: Windows reports 183 for both.
        return Fail(errno == ENOENT ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND) : ErrorFromErrno(errno));
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

DWORD WINAPI GetLastError() { return lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }

errno_t _wsplitpath_s(const wchar_t* path,
                      wchar_t* drive, std::size_t driveNumberOfElements,
                      wchar_t* dir, std::size_t dirNumberOfElements,
                      wchar_t* fname, std::size_t nameNumberOfElements,
                      wchar_t* ext, std::size_t extNumberOfElements) {
    PathPart parts[] = {{drive, driveNumberOfElements, 0, 0},
                        {dir, dirNumberOfElements, 0, 0},
                        {fname, nameNumberOfElements, 0, 0},
                        {ext, extNumberOfElements, 0, 0}};
    constexpr std::size_t kParts = sizeof(parts) / sizeof(parts[0]);
    // A part is either not wanted (no buffer, no size) or wanted with room.
    for (const PathPart& part : parts) {
        if ((part.buffer == nullptr) != (part.size == 0)) return SplitFailure(parts, kParts, EINVAL);
    }
    if (path == nullptr) return SplitFailure(parts, kParts, EINVAL);

    const std::wstring_view text(path);
    const std::size_t driveEnd = text.size() >= 2 && IsAsciiLetter(text[0]) && text[1] == L':' ? 2 : 0;
    const std::size_t separator = text.find_last_of(L"\\/");
    const std::size_t dirEnd = separator == std::wstring_view::npos || separator < driveEnd ? driveEnd : separator + 1;
    const std::size_t dot = text.rfind(L'.');
    const std::size_t extBegin = dot == std::wstring_view::npos || dot < dirEnd ? text.size() : dot;
    const std::size_t bounds[] = {0, driveEnd, dirEnd, extBegin, text.size()};
    for (std::size_t i = 0; i < kParts; ++i) {
        parts[i].begin = bounds[i];
        parts[i].end = bounds[i + 1];
        if (parts[i].buffer != nullptr && parts[i].end - parts[i].begin >= parts[i].size) {
            return SplitFailure(parts, kParts, ERANGE);
        }
    }
    for (const PathPart& part : parts) {
        if (part.buffer == nullptr) continue;
        std::copy(text.begin() + part.begin, text.begin() + part.end, part.buffer);
        part.buffer[part.end - part.begin] = L'\0';
    }
    return 0;
}
