#include "platform/posix/files/ReplacedAccess.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/files/CopyRules.h"

namespace posix {
namespace {

constexpr char kAccessList[] = "system.posix_acl_access";

// The kernel's form of an access control list: a version, then entries of
// a tag, permission bits and an id.
struct ListHeader {
    std::uint32_t version;
};
struct ListEntry {
    std::uint16_t tag;
    std::uint16_t permissions;
    std::uint32_t id;
};
constexpr std::uint16_t kWrite = 02;

// getxattrat (Linux 6.13) reads an attribute of a name in a folder without
// following a link there; older kernels and C libraries know it by number
// only, and say ENOSYS.
#if defined(__x86_64__) || defined(__aarch64__)
constexpr long kGetXattrAt = 464;
#else
constexpr long kGetXattrAt = -1;
#endif
struct XattrArguments {
    std::uint64_t value;
    std::uint32_t size;
    std::uint32_t flags;
};
std::atomic<bool> getXattrAtMissing{kGetXattrAt < 0};

ssize_t ReadAttribute(int folder, const char* name, std::vector<char>& buffer) {
    if (!getXattrAtMissing.load(std::memory_order_relaxed)) {
        XattrArguments arguments{reinterpret_cast<std::uintptr_t>(buffer.data()),
                                 static_cast<std::uint32_t>(buffer.size()), 0};
        const long got =
            ::syscall(kGetXattrAt, folder, name, AT_SYMLINK_NOFOLLOW, kAccessList, &arguments, sizeof arguments);
        if (got >= 0 || errno != ENOSYS) return got;
        getXattrAtMissing.store(true, std::memory_order_relaxed);
    }
    // The folder's own link in /proc, then the name without following it.
    const std::string path = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
    return ::lgetxattr(path.c_str(), kAccessList, buffer.data(), buffer.size());
}

// The file system of the device that last said it has no access lists;
// asking it again would only cost a call per copy.
std::atomic<std::uint64_t> listlessDevice{~std::uint64_t{0}};

// The access control list of `name`, beyond what its mode says; empty where
// it has none, or where its file system keeps none.
std::vector<char> AccessListOf(int folder, const char* name, const struct stat& status) {
    if (listlessDevice.load(std::memory_order_relaxed) == status.st_dev) return {};
    std::vector<char> list(sizeof(ListHeader) + 16 * sizeof(ListEntry));
    ssize_t size = ReadAttribute(folder, name, list);
    if (size < 0 && errno == ERANGE) {
        list.resize(64 * 1024);  // the most a file system keeps of one attribute
        size = ReadAttribute(folder, name, list);
    }
    if (size < 0 && (errno == EOPNOTSUPP || errno == ENOSYS)) listlessDevice.store(status.st_dev);
    list.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    return list;
}

void WithoutWrite(std::vector<char>& list) {
    for (std::size_t at = sizeof(ListHeader); at + sizeof(ListEntry) <= list.size(); at += sizeof(ListEntry)) {
        ListEntry entry;
        std::memcpy(&entry, list.data() + at, sizeof entry);
        entry.permissions &= static_cast<std::uint16_t>(~kWrite);
        std::memcpy(list.data() + at, &entry, sizeof entry);
    }
}

}  // namespace

int TakeReplacedAccess(int file, int folder, const char* name, const struct stat& replaced,
                       const struct stat& source) {
    std::vector<char> list = AccessListOf(folder, name, replaced);
    if (!list.empty()) {
        // The list holds the mode's owner, group (as its mask) and other bits:
        // setting it sets the mode.
        if (IsReadOnly(source)) WithoutWrite(list);
        return ::fsetxattr(file, kAccessList, list.data(), list.size(), 0) == 0 ? 0 : errno;
    }
    mode_t mode = replaced.st_mode & 0777;
    if (IsReadOnly(source)) mode &= ~mode_t{0222};
    return ::fchmod(file, mode) == 0 ? 0 : errno;
}

}  // namespace posix
