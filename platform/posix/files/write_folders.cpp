#include "platform/posix/files/write_folders.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/posix/files/descriptors.h"

namespace posix {
namespace {

void AppendNames(std::string_view path, std::vector<std::string>& names) {
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view name = path.substr(at, end - at);
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.emplace_back(name);
        }
        at = end + 1;
    }
}

// ENOTDIR covers a plain file and a link alike; a link is told apart as
// ELOOP, so that the caller can say that it was refused.
int RefusalOf(int folder, const std::string& name, int error) {
    struct stat status;
    if (error == ENOTDIR && ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(status.st_mode)) {
        return ELOOP;
    }
    return error;
}

// "a/b/c": the names [from, to) as a path relative to the folder above them.
std::string Joined(const std::vector<std::string>& names, std::size_t from, std::size_t to) {
    std::string relative;
    for (std::size_t at = from; at < to; ++at) relative += (at == from ? "" : "/") + names[at];
    return relative;
}

// One name at a time with O_NOFOLLOW, where openat2 is missing (kernels
// before 5.6, or a sandbox that forbids it).
FileDescriptor OpenNameByName(int base, const std::vector<std::string>& names, std::size_t from, std::size_t to) {
    FileDescriptor current;
    for (std::size_t at = from; at < to; ++at) {
        const std::string& name = names[at];
        const int parent = current ? current.get() : base;
        FileDescriptor next(::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) {
            errno = RefusalOf(parent, name, errno);
            return next;
        }
        current = std::move(next);
    }
    return current;
}

// The folder of the names [from, to) below `base`, every link on the way
// refused (ELOOP).
FileDescriptor OpenBeneath(int base, const std::vector<std::string>& names, std::size_t from, std::size_t to) {
    const std::string relative = Joined(names, from, to);
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
    const long fd = ::syscall(SYS_openat2, base, relative.c_str(), &how, sizeof how);
    if (fd >= 0) return FileDescriptor(static_cast<int>(fd));
    if (errno == ENOSYS || errno == EPERM) return OpenNameByName(base, names, from, to);
    return FileDescriptor();
}

// The folders along the latest write path, from the top down. Each one is
// a real folder, reached without a link: made here, looked at without
// following links, or held open.
class FolderChain {
public:
    int Make(const std::vector<std::string>& folder, const std::string& leaf, bool afresh) {
        Begin(afresh);
        std::vector<std::string> path = folder;
        path.push_back(leaf);
        if (!afresh && Vouch(path)) return EEXIST;
        Settle(path);
        if (const int error = Learn(folder); error != 0) return error;
        const std::size_t anchor = AnchorDepth(folder.size());
        if (::mkdirat(AnchorFd(anchor), Joined(path, anchor, path.size()).c_str(), 0777) != 0) {
            const int error = errno;
            if (error == EEXIST) LookDownLikeBefore(path);
            return error;
        }
        known_.push_back({leaf, FileDescriptor(), false});
        return 0;
    }

    int Open(const std::vector<std::string>& folder, bool afresh) {
        Begin(afresh);
        if (!top_ && !OpenTop()) return -1;
        if (folder.empty()) return top_.get();
        Settle(folder);
        if (afresh) {
            if (const int error = Learn(folder); error != 0) {
                errno = error;
                return -1;
            }
        }
        const std::size_t last = folder.size() - 1;
        if (known_.size() > last && known_[last].fd) return known_[last].fd.get();
        const std::size_t anchor = AnchorDepth(folder.size());
        FileDescriptor opened = OpenBeneath(AnchorFd(anchor), folder, anchor, folder.size());
        if (!opened) return -1;
        for (std::size_t depth = known_.size(); depth < folder.size(); ++depth) {
            known_.push_back({folder[depth], FileDescriptor(), false});
        }
        known_[last].fd = std::move(opened);
        return known_[last].fd.get();
    }

private:
    struct KnownFolder {
        std::string name;
        FileDescriptor fd;  // once held open
        bool vouchedFor;    // a creation attempt was answered from memory
    };

    // After a failure through a folder held from an earlier call, the call is
    // made again with nothing known; what was known stays for Learn.
    void Begin(bool afresh) {
        forgotten_.clear();
        if (afresh) forgotten_.swap(known_);
    }

    bool OpenTop() {
        top_.Reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        return static_cast<bool>(top_);
    }

    static std::size_t CommonDepth(const std::vector<KnownFolder>& known, const std::vector<std::string>& path) {
        std::size_t depth = 0;
        while (depth < known.size() && depth < path.size() && known[depth].name == path[depth]) ++depth;
        return depth;
    }

    // A known folder: making it again would only find it there.
    bool Vouch(const std::vector<std::string>& path) {
        if (path.empty() || CommonDepth(known_, path) < path.size()) return false;
        known_[path.size() - 1].vouchedFor = true;
        return true;
    }

    // Keeps of what is known only what lies on `path`. Where the path forks
    // off, the folder above the fork is held open from now on: writes went
    // below it one way and now go another, and will branch there again.
    void Settle(const std::vector<std::string>& path) {
        const std::size_t depth = CommonDepth(known_, path);
        if (depth == known_.size() || depth == path.size()) return;
        leftBelow_.clear();
        for (std::size_t at = depth + 1; at < known_.size(); ++at) leftBelow_.push_back(known_[at].name);
        known_.resize(depth);
        if (depth == 0 || known_[depth - 1].fd || (!top_ && !OpenTop())) return;
        const std::size_t anchor = AnchorDepth(depth - 1);
        known_[depth - 1].fd = OpenBeneath(AnchorFd(anchor), path, anchor, depth);
        // A link or a file now: no longer a folder to write below. One that
        // is gone stays known, so that the write below it fails and the
        // creation answered from memory is made again.
        if (!known_[depth - 1].fd && errno != ENOENT) known_.resize(depth - 1);
    }

    // A folder found already there where the path forked off: writes into a
    // destination that an earlier run filled go on down the same names as
    // the latest write path did below its fork (Base\video\vtt after
    // Other\video\vtt). Looking down them in one call, links refused, makes
    // them known, and their creation attempts need no call of their own.
    void LookDownLikeBefore(const std::vector<std::string>& path) {
        if (leftBelow_.empty() || known_.size() + 1 != path.size()) return;
        std::vector<std::string> deeper = path;
        deeper.insert(deeper.end(), leftBelow_.begin(), leftBelow_.end());
        const std::size_t anchor = AnchorDepth(known_.size());
        FileDescriptor opened = OpenBeneath(AnchorFd(anchor), deeper, anchor, deeper.size());
        if (!opened) return;
        for (std::size_t depth = known_.size(); depth < deeper.size(); ++depth) {
            known_.push_back({deeper[depth], FileDescriptor(), false});
        }
        known_.back().fd = std::move(opened);
    }

    // Adds the folders of `folder` that are not known yet, each looked at
    // without following a link. A folder whose creation was answered from
    // memory before the chain was forgotten, and that is gone, is made again.
    int Learn(const std::vector<std::string>& folder) {
        if (!top_ && !OpenTop()) return errno;
        for (std::size_t depth = known_.size(); depth < folder.size(); ++depth) {
            const std::size_t anchor = AnchorDepth(depth);
            const std::string relative = Joined(folder, anchor, depth + 1);
            struct stat status;
            if (::fstatat(AnchorFd(anchor), relative.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT || !WasVouchedFor(folder, depth)) return errno;
                if (::mkdirat(AnchorFd(anchor), relative.c_str(), 0777) != 0) return errno;
            } else if (!S_ISDIR(status.st_mode)) {
                return S_ISLNK(status.st_mode) ? ELOOP : ENOTDIR;
            }
            known_.push_back({folder[depth], FileDescriptor(), false});
        }
        return 0;
    }

    // Whether the creation of folder[depth] was answered from memory before
    // the chain was forgotten.
    bool WasVouchedFor(const std::vector<std::string>& folder, std::size_t depth) const {
        return CommonDepth(forgotten_, folder) > depth && forgotten_[depth].vouchedFor;
    }

    // The depth just below the deepest held folder above `depth` (0 for the
    // top), from which a path of names is resolved.
    std::size_t AnchorDepth(std::size_t depth) const {
        for (std::size_t at = std::min(depth, known_.size()); at > 0; --at) {
            if (known_[at - 1].fd) return at;
        }
        return 0;
    }
    int AnchorFd(std::size_t anchor) const { return anchor == 0 ? top_.get() : known_[anchor - 1].fd.get(); }

    FileDescriptor top_;
    std::vector<KnownFolder> known_;
    std::vector<KnownFolder> forgotten_;
    // The names that the latest write path had below the level where a new
    // path forked off it.
    std::vector<std::string> leftBelow_;
};

FolderChain& Chain() {
    static FolderChain chain;
    return chain;
}

}  // namespace

std::optional<WritePath> MakeWritePath(const std::string& nativePath) {
    std::vector<std::string> names;
    if (nativePath.empty() || nativePath[0] != '/') {
        const std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
        if (!cwd) return std::nullopt;
        AppendNames(cwd.get(), names);
    }
    AppendNames(nativePath, names);
    WritePath path;
    if (!names.empty()) {
        path.leaf = std::move(names.back());
        names.pop_back();
    }
    path.folder = std::move(names);
    return path;
}

int MakeWriteFolder(const WritePath& path) {
    // The top of the file system always exists; there is nothing to make.
    if (path.leaf.empty()) return EEXIST;
    return AfreshIfStale([&](bool afresh) { return Chain().Make(path.folder, path.leaf, afresh); });
}

int OpenWriteFolder(const std::vector<std::string>& folder, bool afresh) { return Chain().Open(folder, afresh); }

}  // namespace posix
