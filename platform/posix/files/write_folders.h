// Where the stand-in creates folders and writes files: folders reached from
// the top of the file system without following a symbolic link, so that no
// link inside the destination can send a write elsewhere. Reading follows
// links as the system does; only writes are held to this.
//
// The folders of the latest write path stay open (as O_PATH descriptors),
// since the next write almost always goes to the same folder or one beside
// it: a caption folder and the file in it are reached with one lookup each,
// not a walk of the whole path, and an attempt to create a folder that is
// held open is answered without asking the system.
#pragma once

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace posix {

// A path to write at, split into names and made lexically normal, as Windows
// makes every path before it reaches the file system: empty and "." names
// dropped, each ".." taking back the name before it. A relative path is
// taken from the working directory.
struct WritePath {
    std::vector<std::string> folder;  // the names from the top down to the folder that holds `leaf`
    std::string leaf;                 // empty only for the top ("/") itself
};
// Nothing when the working directory cannot be read (for a relative path).
std::optional<WritePath> MakeWritePath(const std::string& nativePath);

// Runs `operation(folderFd)` in `folder`, reached without following links,
// and returns its result: 0, or an errno. ELOOP means a symbolic link stood
// where a folder was expected. A folder kept open from an earlier call may
// have been removed since: entries can no longer be made in it (ENOENT, or
// EPERM for an unnamed file), and the folder is then reached afresh and the
// operation tried once more. A folder renamed meanwhile is written where it
// now is; the name it had is not looked up again.
template <typename Operation>
int InWriteFolder(const std::vector<std::string>& folder, Operation operation);

// Whether `path` names a folder held open, which a creation attempt would
// find already made. The answer saves the attempt; should the folder have
// been removed meanwhile, the next write below it makes it again, as the
// saved attempt would have.
bool IsOpenWriteFolder(const WritePath& path);

// The descriptor of `folder`, or -1 with errno; valid until the next call.
int ReachWriteFolder(const std::vector<std::string>& folder, bool afresh);

template <typename Operation>
int InWriteFolder(const std::vector<std::string>& folder, Operation operation) {
    for (const bool afresh : {false, true}) {
        const int fd = ReachWriteFolder(folder, afresh);
        const int error = fd < 0 ? errno : operation(fd);
        if (afresh || (error != ENOENT && error != EPERM)) return error;
    }
    return 0;  // not reached
}

}  // namespace posix
