#include "platform/posix/files/missing_folders.h"

#include <algorithm>
#include <cerrno>

namespace posix {
namespace {

struct FolderNotMade {
    std::vector<std::string> names;
    int cause = 0;
};

// Each thread's own: a caption's folders are made by the thread that copies
// it.
FolderNotMade& Latest() {
    thread_local FolderNotMade latest;
    return latest;
}

}  // namespace

void RememberFolderNotMade(const WritePath& path, int cause) {
    if (cause == EEXIST || cause == ENOENT) return;
    FolderNotMade& latest = Latest();
    latest.names = path.folder;
    latest.names.push_back(path.leaf);
    latest.cause = cause;
}

int WhyFolderIsMissing(const std::vector<std::string>& folder) {
    const FolderNotMade& latest = Latest();
    const bool atOrAbove = latest.cause != 0 && latest.names.size() <= folder.size() &&
                           std::equal(latest.names.begin(), latest.names.end(), folder.begin());
    return atOrAbove ? latest.cause : ENOENT;
}

}  // namespace posix
