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
