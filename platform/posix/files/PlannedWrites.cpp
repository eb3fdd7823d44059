#include "platform/posix/files/PlannedWrites.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/posix/files/CopyRules.h"
#include "platform/posix/files/Errors.h"

namespace posix {
namespace {

// What the run would have made so far, by path. Writes follow no link but a
// chosen one, which they resolve, so the paths are real ones.
struct Plan {
    std::mutex guard;  // the copies of one run may be planned on several threads
    // Each folder and file the run would make: whether it is a folder, and
    // whether a file would be read-only.
    struct Made {
        bool isFolder;
        bool readOnly;
    };
    std::map<std::string, Made> made;
};

Plan& Planned() {
    static Plan plan;
    return plan;
}

std::string Joined(const std::vector<std::string>& folder, const std::string& leaf = std::string()) {
    std::string path;
    for (const std::string& name : folder) path += "/" + name;
    return leaf.empty() ? path : path + "/" + leaf;
}

// The system decides who may make an entry in a folder, root included.
int MayMakeEntriesIn(int folder) { return ::faccessat(folder, ".", W_OK | X_OK, 0) == 0 ? 0 : errno; }

// `path` with every link resolved as far as it exists; what does not exist
// yet, which only the plan may hold, follows as written.
std::string RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (real) return real.get();
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    const std::size_t slash = path.rfind('/', end - 1);
    if (slash == std::string::npos) return path.substr(0, end);
    const std::string above = slash == 0 ? "/" : RealPath(path.substr(0, slash));
    return (above == "/" ? "" : above) + path.substr(slash, end - slash);
}

}  // namespace

int PlanFolder(const WritePath& path) {
    if (path.leaf.empty()) return EEXIST;
    Plan& plan = Planned();
    const std::lock_guard<std::mutex> lock(plan.guard);
    const std::string folder = Joined(path.folder, path.leaf);
    if (plan.made.count(folder) != 0) return EEXIST;
    int error = 0;
    const auto parent = plan.made.find(Joined(path.folder));
    if (parent == plan.made.end()) {
        error = InWriteFolder(path.folder, [&](int parentFolder) {
            struct stat status;
            if (::fstatat(parentFolder, path.leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
            return errno == ENOENT ? MayMakeEntriesIn(parentFolder) : errno;
        });
    } else if (!parent->second.isFolder) {
        error = ENOTDIR;
    }
    if (error == 0) plan.made[folder] = {true, false};
    return error;
}

int PlanCopy(const struct stat& source, const WritePath& target, bool failIfExists) {
    if (target.leaf.empty()) return EISDIR;
    Plan& plan = Planned();
    const std::lock_guard<std::mutex> lock(plan.guard);
    const std::string file = Joined(target.folder, target.leaf);
    int error = 0;
    if (const auto planned = plan.made.find(file); planned != plan.made.end()) {
        error = failIfExists            ? kTargetExists
                : planned->second.isFolder ? EISDIR
                : planned->second.readOnly ? kTargetReadOnly
                                           : 0;
    } else if (plan.made.count(Joined(target.folder)) == 0) {
        // In the order of the copy: the file that takes the data is made in
        // the folder first, the target is looked at when it is placed.
        error = InWriteFolder(target.folder, [&](int folder) {
            if (const int refused = MayMakeEntriesIn(folder); refused != 0) return refused;
            std::optional<struct stat> present;
            return CheckTarget(folder, target.leaf.c_str(), source, failIfExists, present);
        });
    }
    if (error == 0) plan.made[file] = {false, IsReadOnly(source)};
    return error;
}

PlannedFolder PlannedIn(const std::string& folder) {
    Plan& plan = Planned();
    const std::lock_guard<std::mutex> lock(plan.guard);
    PlannedFolder planned{false, {}};
    if (plan.made.empty()) return planned;
    const std::string real = RealPath(folder);
    const auto itself = plan.made.find(real);
    planned.planned = itself != plan.made.end() && itself->second.isFolder;
    const std::string prefix = real == "/" ? real : real + "/";
    for (auto at = plan.made.lower_bound(prefix); at != plan.made.end() && at->first.rfind(prefix, 0) == 0; ++at) {
        const std::string name = at->first.substr(prefix.size());
        if (name.find('/') == std::string::npos) planned.entries.push_back({name, at->second.isFolder, at->second.readOnly});
    }
    return planned;
}

std::optional<PlannedEntry> PlannedAt(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    for (PlannedEntry& entry : PlannedIn(slash == std::string::npos ? "." : path.substr(0, slash + 1)).entries) {
        if (entry.name == name) return std::move(entry);
    }
    return std::nullopt;
}

}  // namespace posix
