#include "platform/posix/files/WriteFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/posix/files/Descriptors.h"
#include "platform/posix/files/ThreadFiles.h"

namespace posix {
namespace {

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

}  // namespace

int FolderStack::Make(const std::vector<std::string>& folder, const std::string& leaf, bool afresh) {
    // The walk attempts every folder on the way to each caption folder;
    // a held one would only be found there.
    if (!afresh && Holds(folder, leaf)) {
        held_[folder.size()].answered = true;
        return EEXIST;
    }
    if (const int error = Reach(folder, afresh); error != 0) return error;
    return MakeAndPush(leaf);
}

int FolderStack::Open(const std::vector<std::string>& folder, bool afresh) {
    if (const int error = Reach(folder, afresh); error != 0) {
        errno = error;
        return -1;
    }
    return Top();
}

// How many names of `folder`, from the top, the stack holds.
std::size_t FolderStack::Shared(const std::vector<std::string>& folder) const {
    std::size_t depth = 0;
    while (depth < held_.size() && depth < folder.size() && held_[depth].name == folder[depth]) ++depth;
    return depth;
}

bool FolderStack::Holds(const std::vector<std::string>& folder, const std::string& leaf) const {
    return held_.size() > folder.size() && Shared(folder) == folder.size() && held_[folder.size()].name == leaf;
}

// Leaves the stack holding `folder`: pops what it does not share and
// pushes each further name. Afresh, the folders it shares are opened
// again first, since one of them may have been removed.
int FolderStack::Reach(const std::vector<std::string>& folder, bool afresh) {
    if (!root_) {
        root_.Reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!root_) return errno;
    }
    held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(Shared(folder)), held_.end());
    if (afresh) {
        if (const int error = Reopen(); error != 0) return error;
    }
    for (std::size_t depth = held_.size(); depth < folder.size(); ++depth) {
        if (const int error = Push(folder[depth]); error != 0) return error;
    }
    return 0;
}

// Opens the held folders again by name from the top. One whose creation
// was answered from the stack and that is gone is made again, as the
// attempt would have made it.
int FolderStack::Reopen() {
    std::vector<HeldFolder> earlier;
    earlier.swap(held_);
    for (const HeldFolder& folder : earlier) {
        int error = Push(folder.name);
        if (error == ENOENT && folder.answered) {
            error = ::mkdirat(Top(), folder.name.c_str(), 0777) == 0 || errno == EEXIST ? Push(folder.name) : errno;
        }
        if (error != 0) return error;
        held_.back().answered = folder.answered;
    }
    return 0;
}

// Makes `name` in the top folder and pushes it: 0, or the errno of the
// creation or of the open. A folder already there (EEXIST) is pushed too:
// writes into a filled destination go on below it. Whether the latest
// folder at the same depth was there foretells this one (into a
// destination an earlier run filled every one is, into a new one none;
// a content folder's, which the walk makes, is there for the workers),
// so the likely call comes first: the open that finds it, or the
// creation. On a network share the other would cost a round trip.
int FolderStack::MakeAndPush(const std::string& name) {
    const std::size_t depth = held_.size();
    if (foundAt_.size() <= depth) foundAt_.resize(depth + 1, false);
    if (foundAt_[depth] && Push(name) == 0) return EEXIST;
    const int error = ::mkdirat(Top(), name.c_str(), 0777) == 0 ? 0 : errno;
    if (error != 0 && error != EEXIST) return error;
    const int pushed = Push(name);
    foundAt_[depth] = error == EEXIST && pushed == 0;
    // Made just now: nothing is in it.
    if (error == 0 && pushed == 0) held_.back().facts = {true, true};
    return error != 0 ? error : pushed;
}

int FolderStack::Push(const std::string& name) {
    FileDescriptor fd(::openat(Top(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return RefusalOf(Top(), name, errno);
    held_.push_back({name, std::move(fd), false, {}});
    return 0;
}

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

// The chosen folders that are links, by their names, with the names of
// the folders they led to when they were chosen. Set before the copies
// start, only read while they run.
struct ChosenLink {
    std::vector<std::string> names;
    std::vector<std::string> real;
};
std::vector<ChosenLink>& ChosenLinks() {
    static std::vector<ChosenLink> links;
    return links;
}

void FollowChosenLinks(std::vector<std::string>& names) {
    for (const ChosenLink& link : ChosenLinks()) {
        if (names.size() >= link.names.size() && std::equal(link.names.begin(), link.names.end(), names.begin())) {
            names.erase(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(link.names.size()));
            names.insert(names.begin(), link.real.begin(), link.real.end());
            return;
        }
    }
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
    FollowChosenLinks(names);
    WritePath path;
    if (!names.empty()) {
        path.leaf = std::move(names.back());
        names.pop_back();
    }
    path.folder = std::move(names);
    return path;
}

void WriteThroughChosenLink(const std::string& chosenFolder) {
    struct stat status;
    if (::lstat(chosenFolder.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return;
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(chosenFolder.c_str(), nullptr), &std::free);
    if (!real) return;
    ChosenLink link;
    AppendNames(chosenFolder, link.names);
    AppendNames(real.get(), link.real);
    ChosenLinks().push_back(std::move(link));
}

int MakeWriteFolder(const WritePath& path) {
    // The top of the file system always exists; there is nothing to make.
    if (path.leaf.empty()) return EEXIST;
    return AfreshIfStale([&](bool afresh) { return ThisThread().writeFolders.Make(path.folder, path.leaf, afresh); });
}

int OpenWriteFolder(const std::vector<std::string>& folder, bool afresh) { return ThisThread().writeFolders.Open(folder, afresh); }

WriteFolderFacts& LatestWriteFolderFacts() { return ThisThread().writeFolders.TopFacts(); }

void RememberFolderNotMade(const WritePath& path, int cause) {
    if (cause == EEXIST || cause == ENOENT) return;
    ThreadFiles& thread = ThisThread();
    thread.folderNotMade = path.folder;
    thread.folderNotMade.push_back(path.leaf);
    thread.folderNotMadeCause = cause;
}

int WhyFolderIsMissing(const std::vector<std::string>& folder) {
    const ThreadFiles& thread = ThisThread();
    const std::vector<std::string>& notMade = thread.folderNotMade;
    const bool atOrAbove = thread.folderNotMadeCause != 0 && notMade.size() <= folder.size() &&
                           std::equal(notMade.begin(), notMade.end(), folder.begin());
    return atOrAbove ? thread.folderNotMadeCause : ENOENT;
}

}  // namespace posix
