#include "platform/posix/files/FolderStack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <utility>

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

}  // namespace posix
