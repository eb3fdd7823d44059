#include "platform/posix/files/planned_writes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/posix/command_line.h"
#include "platform/posix/files/copy_rules.h"
#include "platform/posix/files/errors.h"

namespace posix {
namespace {

bool planningOnly = false;

// What the run would have made so far, by path.
struct Plan {
    std::set<std::string> folders;
    std::map<std::string, bool> files;  // whether the copy would be read-only
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

}  // namespace

void PlanWritesOnly() { planningOnly = true; }

bool PlanningWritesOnly() { return planningOnly; }

int PlanFolder(const WritePath& path) {
    if (path.leaf.empty()) return EEXIST;
    Plan& plan = Planned();
    const std::string folder = Joined(path.folder, path.leaf);
    if (plan.folders.count(folder) != 0 || plan.files.count(folder) != 0) return EEXIST;
    int error = 0;
    if (plan.folders.count(Joined(path.folder)) == 0) {
        error = InWriteFolder(path.folder, [&](int parent) {
            struct stat status;
            if (::fstatat(parent, path.leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
            return errno == ENOENT ? MayMakeEntriesIn(parent) : errno;
        });
    }
    if (error == 0) plan.folders.insert(folder);
    return error;
}

int PlanCopy(const struct stat& source, const WritePath& target, bool failIfExists) {
    if (target.leaf.empty()) return EISDIR;
    Plan& plan = Planned();
    const std::string file = Joined(target.folder, target.leaf);
    int error = 0;
    if (const auto planned = plan.files.find(file); planned != plan.files.end()) {
        error = failIfExists ? kTargetExists : planned->second ? kTargetReadOnly : 0;
    } else if (plan.folders.count(file) != 0) {
        error = failIfExists ? kTargetExists : EISDIR;
    } else if (plan.folders.count(Joined(target.folder)) == 0) {
        // In the order of the copy: the file that takes the data is made in
        // the folder first, the target is looked at when it is placed.
        error = InWriteFolder(target.folder, [&](int folder) {
            if (const int refused = MayMakeEntriesIn(folder); refused != 0) return refused;
            std::optional<struct stat> present;
            return CheckTarget(folder, target.leaf.c_str(), source, failIfExists, present);
        });
    }
    if (error == 0) plan.files[file] = IsReadOnly(source);
    return error;
}

}  // namespace posix
