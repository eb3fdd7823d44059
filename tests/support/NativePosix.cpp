// The test trees' own access to the file system on Linux: plain POSIX calls,
// deliberately not the stand-in's listing and copy code that the tests check.
// Only the name conversion is shared, since a wide path has to reach the
// system somehow.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/posix/Names.h"
#include "tests/support/TempTree.h"
#include "tests/support/SystemPath.h"

namespace {

[[noreturn]] void Throw(const std::string& what, const std::string& path, int err) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(err));
}

std::string Native(const std::wstring& path) {
    std::optional<std::string> native = posix::NativePath(path.c_str());
    if (!native) throw std::runtime_error("test path has no byte form");
    return *native;
}

std::wstring WindowsForm(const std::string& native) {
    std::wstring wide = posix::WidenName(native.data(), native.size());
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return wide;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

bool IsDotName(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

void MakeDirs(const std::string& path) {
    // Each prefix that ends before a slash, then the whole path; whatever is
    // already there is fine as long as the last one ends up a directory.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0777);
    }
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) Throw("mkdir", path, errno);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) Throw("not a directory:", path, ENOTDIR);
}

void MakeParents(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) MakeDirs(path.substr(0, slash));
}

// Removes below `name` in the folder `parentFd`, making folders writable and
// listable first so that read-only parts of a test tree go too.
void RemoveBelow(int parentFd, const char* name, const std::string& shownPath) {
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return;
        Throw("stat", shownPath, errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(parentFd, name, 0) != 0 && errno != ENOENT) Throw("unlink", shownPath, errno);
        return;
    }
    // A folder that a test made read-only or unlistable is opened up first, so
    // that what it holds can go.
    if ((st.st_mode & S_IRWXU) != S_IRWXU && ::fchmodat(parentFd, name, (st.st_mode & 07777) | S_IRWXU, 0) != 0) {
        Throw("chmod", shownPath, errno);
    }
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) Throw("open", shownPath, errno);
    Dir dir(::fdopendir(fd));
    if (!dir) {
        const int err = errno;
        ::close(fd);
        Throw("opendir", shownPath, err);
    }
    while (const dirent* item = ::readdir(dir.get())) {
        if (IsDotName(item->d_name)) continue;
        RemoveBelow(::dirfd(dir.get()), item->d_name, shownPath + "/" + item->d_name);
    }
    dir.reset();
    if (::unlinkat(parentFd, name, AT_REMOVEDIR) != 0 && errno != ENOENT) Throw("rmdir", shownPath, errno);
}

}  // namespace

namespace native {

std::wstring MakeTempFolder(const std::wstring& in) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = !in.empty() ? Native(in) : (base != nullptr && *base != '\0') ? base : "/tmp";
    pattern += "/cuecarry-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) Throw("mkdtemp", pattern, errno);
    return WindowsForm(pattern);
}

void MakeDir(const std::wstring& path) { MakeDirs(Native(path)); }

void WriteFile(const std::wstring& path, const std::string& bytes) {
    const std::string native = Native(path);
    MakeParents(native);
    // Unlinking first replaces a read-only file as well.
    if (::unlink(native.c_str()) != 0 && errno != ENOENT) Throw("unlink", native, errno);
    Fd fd(::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) Throw("create", native, errno);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            Throw("write", native, errno);
        }
        done += static_cast<std::size_t>(put);
    }
}

std::optional<std::string> ReadFile(const std::wstring& path) {
    Fd fd(::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got == 0) return bytes;
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

std::optional<bool> IsDir(const std::wstring& path) {
    const std::string native = Native(path);
    struct stat st;
    if (::stat(native.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (::lstat(native.c_str(), &st) == 0) return false;  // a dangling link
    return std::nullopt;
}

std::vector<Entry> ListDir(const std::wstring& path) {
    const std::string native = Native(path);
    Dir dir(::opendir(native.c_str()));
    if (!dir) Throw("opendir", native, errno);
    std::vector<Entry> entries;
    while (const dirent* item = ::readdir(dir.get())) {
        if (IsDotName(item->d_name)) continue;
        struct stat st;
        const bool isDir = ::fstatat(::dirfd(dir.get()), item->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        entries.push_back({posix::WidenName(item->d_name, std::strlen(item->d_name)), isDir});
    }
    return entries;
}

void SetReadOnly(const std::wstring& path, bool readOnly) {
    const std::string native = Native(path);
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) Throw("stat", native, errno);
    const mode_t mode = readOnly ? (st.st_mode & ~static_cast<mode_t>(0222)) : (st.st_mode | S_IWUSR);
    if (::chmod(native.c_str(), mode & 07777) != 0) Throw("chmod", native, errno);
}

void RemoveAll(const std::wstring& path) {
    const std::string native = Native(path);
    RemoveBelow(AT_FDCWD, native.c_str(), native);
}

}  // namespace native

namespace native {
bool PermissionsEnforced() { return ::geteuid() != 0; }
}  // namespace native

namespace native {
// No POSIX file system keeps short alternative names: "*.vtt" never matches
// "c.vttx" on this build.
std::wstring ShortName(const std::wstring&) { return std::wstring(); }
// The stand-in has no path limit of its own (the system's is 4096 bytes).
int PathLimit() { return 0; }
std::vector<std::wstring> DriveRoots() { return {L"\\"}; }
std::wstring NetworkFormRoot() { return L"\\\\proc\\self\\"; }
}  // namespace native

std::string SystemPath(const wchar_t* windowsPath) { return Native(windowsPath); }
