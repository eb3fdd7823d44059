#include "platform/posix/files/write_folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/posix/files/descriptors.h"

namespace posix {
namespace {

void AppendNames(const std::string& path, std::vector<std::string>& names) {
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(at, end - at);
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        at = end + 1;
    }
}

// The open folders along the latest write path, from the top down.
class FolderChain {
public:
    int Reach(const std::vector<std::string>& folder, bool afresh) {
        std::vector<OpenFolder> previous;
        if (afresh) previous.swap(opened_);
        if (!top_ && !OpenTop()) return -1;
        std::size_t depth = CommonDepth(opened_, folder);
        // A folder above the deepest one open is open already; only a
        // different way down closes what lies below the fork.
        if (depth < folder.size()) opened_.resize(depth);
        for (; depth < folder.size(); ++depth) {
            const int parent = depth == 0 ? top_.get() : opened_[depth - 1].fd.get();
            FileDescriptor next = OpenBelow(parent, folder[depth]);
            // A folder answered for from memory, but removed since, is made
            // again: the creation attempt that the answer saved would have
            // made it.
            if (!next && errno == ENOENT && WasVouchedFor(previous, folder, depth) &&
                ::mkdirat(parent, folder[depth].c_str(), 0777) == 0) {
                next = OpenBelow(parent, folder[depth]);
            }
            if (!next) return Refused(parent, folder[depth]);
            opened_.push_back({folder[depth], std::move(next), false});
        }
        return folder.empty() ? top_.get() : opened_[folder.size() - 1].fd.get();
    }

    bool VouchFor(const std::vector<std::string>& folder, const std::string& leaf) {
        const std::size_t depth = folder.size();
        if (opened_.size() <= depth || opened_[depth].name != leaf || CommonDepth(opened_, folder) < depth) {
            return false;
        }
        opened_[depth].vouchedFor = true;
        return true;
    }

private:
    struct OpenFolder {
        std::string name;
        FileDescriptor fd;
        bool vouchedFor;  // a creation attempt was answered from memory
    };

    static std::size_t CommonDepth(const std::vector<OpenFolder>& open, const std::vector<std::string>& folder) {
        std::size_t depth = 0;
        while (depth < open.size() && depth < folder.size() && open[depth].name == folder[depth]) ++depth;
        return depth;
    }

    static bool WasVouchedFor(const std::vector<OpenFolder>& previous, const std::vector<std::string>& folder,
                              std::size_t depth) {
        return CommonDepth(previous, folder) > depth && previous[depth].vouchedFor;
    }

    static FileDescriptor OpenBelow(int parent, const std::string& name) {
        return FileDescriptor(::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }

    bool OpenTop() {
        top_.Reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        return static_cast<bool>(top_);
    }

    // ENOTDIR covers a plain file and a link alike; a link is told apart
    // as ELOOP, so that the caller can say that it was refused.
    static int Refused(int parent, const std::string& name) {
        const int error = errno;
        struct stat status;
        if (error == ENOTDIR && ::fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(status.st_mode)) {
            errno = ELOOP;
        } else {
            errno = error;
        }
        return -1;
    }

    FileDescriptor top_;
    std::vector<OpenFolder> opened_;
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

int ReachWriteFolder(const std::vector<std::string>& folder, bool afresh) {
    return Chain().Reach(folder, afresh);
}

bool IsOpenWriteFolder(const WritePath& path) { return Chain().VouchFor(path.folder, path.leaf); }

}  // namespace posix
