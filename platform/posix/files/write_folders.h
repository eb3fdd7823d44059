// Where the stand-in creates folders and writes files: only where no
// symbolic link leads, so that no link inside the destination can send a
// write elsewhere. Reading follows links as the system does; only writes
// are held to this.
//
// Every folder on the way to a write is opened by its one name below the
// folder above it, from "/" down, without following a link, and stays open
// while writes go on below it; a folder is made by its one name below its
// open parent, and a file is put into an open folder. A link met on the way,
// whenever it appeared (even in place of a folder made a moment before), is
// refused, never followed. What stays open is the latest write path, since
// the next write almost always goes to the same folder or one beside it; an
// attempt to create a folder on it is answered without asking the system.
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
// Below a chosen link (WriteThroughChosenLink), the names are those of the
// folder it led to.
std::optional<WritePath> MakeWritePath(const std::string& nativePath);

// A folder the user chose may itself be a link (a destination "www" that
// leads to /srv/www): writes below it go to the folder it leads to now,
// resolved once, and below that folder no link is followed. The folders
// above the chosen one are real already (they were resolved when it was
// chosen). Called before any write below it.
void WriteThroughChosenLink(const std::string& chosenFolder);

// Makes the folder `path` names: 0, or an errno. EEXIST when something of
// that name is there (also when an open folder is, answered without a call);
// ELOOP when a symbolic link stands on the way, or took the new folder's
// place before it could be opened.
int MakeWriteFolder(const WritePath& path);

// Runs `operation(folderFd)` in `folder`, opened with every link on the way
// refused, and returns its result: 0, or an errno (ELOOP: a link on the
// way).
template <typename Operation>
int InWriteFolder(const std::vector<std::string>& folder, Operation operation);

// A folder kept open from an earlier call may have been removed since:
// entries can no longer be made in it (ENOENT, or EPERM for an unnamed
// file). `call(afresh)` (0 or an errno) is then made once more with the open
// folders opened again by name, and a folder whose creation was answered
// without a call but that is gone is made again, as the attempt would have
// made it. A folder renamed meanwhile is written where it now is.
template <typename Call>
int AfreshIfStale(Call call) {
    const int error = call(false);
    return error == ENOENT || error == EPERM ? call(true) : error;
}

// The descriptor of `folder`, or -1 with errno; valid until the next call.
int OpenWriteFolder(const std::vector<std::string>& folder, bool afresh);

// What this thread knows of a folder it holds, so that the copies into it
// ask the file system no more than they must: on a network share each
// question is a round trip. A folder found there, or held again after the
// stack left it, is taken as it may be.
struct WriteFolderFacts {
    // This thread made it in this run and has written nothing into it since:
    // no target can be there (another thread writes other targets only).
    bool empty = false;
    // Named temporary files that runs killed outright left are gone from it.
    bool swept = false;
};
// Of the folder OpenWriteFolder (or InWriteFolder) gave last, on this thread.
WriteFolderFacts& LatestWriteFolderFacts();

template <typename Operation>
int InWriteFolder(const std::vector<std::string>& folder, Operation operation) {
    return AfreshIfStale([&](bool afresh) {
        const int fd = OpenWriteFolder(folder, afresh);
        return fd < 0 ? errno : operation(fd);
    });
}

}  // namespace posix
