#include "platform/posix/write_folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/posix/descriptors.h"

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
        if (afresh) opened_.clear();
        if (!top_ && !OpenTop()) return -1;
        std::size_t depth = 0;
        while (depth < opened_.size() && depth < folder.size() && opened_[depth].first == folder[depth]) ++depth;
        opened_.resize(depth);
        for (; depth < folder.size(); ++depth) {
            const int parent = depth == 0 ? top_.get() : opened_[depth - 1].second.get();
            FileDescriptor next(::openat(parent, folder[depth].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next) return Refused(parent, folder[depth]);
            opened_.emplace_back(folder[depth], std::move(next));
        }
        return folder.empty() ? top_.get() : opened_.back().second.get();
    }

private:
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
    std::vector<std::pair<std::string, FileDescriptor>> opened_;
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

}  // namespace posix
