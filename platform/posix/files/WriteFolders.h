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

#include "platform/posix/files/FolderStack.h"

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

// Of the folder OpenWriteFolder (or InWriteFolder) gave last, on this thread.
WriteFolderFacts& LatestWriteFolderFacts();

template <typename Operation>
int InWriteFolder(const std::vector<std::string>& folder, Operation operation) {
    return AfreshIfStale([&](bool afresh) {
        const int fd = OpenWriteFolder(folder, afresh);
        return fd < 0 ? errno : operation(fd);
    });
}

// Why a write's folder is missing. The walk makes a caption's folders and
// then copies into them without looking at what the creations said; when a
// creation failed for a reason of its own (no permission, a read-only file
// system, a link on the way), the copy then only finds its folder missing.
// The reason of that creation is kept for the thread, so that the copy can
// give it. Only causes that tell more than "already there" or "no parent"
// are kept.
void RememberFolderNotMade(const WritePath& path, int cause);
// The cause that left `folder` (names from the top) missing: that of the
// latest folder not made when it is `folder` or lies above it, else ENOENT.
int WhyFolderIsMissing(const std::vector<std::string>& folder);

}  // namespace posix
