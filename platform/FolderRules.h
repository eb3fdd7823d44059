// What the copy engine must know of the platform's folders beyond the Win32
// calls: how the destination compares names, and which folders lie inside
// which, links and all. Each system has its own answers (posix/ and
// windows/FolderRules.cpp).
#pragma once

#include <memory>
#include <string>

// A name folded as a file system that ignores letter case folds it: each
// UTF-16 unit upper-cased, as NTFS, exFAT and SMB servers compare names.
// Names that fold alike may name one file at the destination, so their
// work is never done at the same time.
std::wstring FoldedName(const wchar_t* name);

// Whether two paths that fold alike but are spelled otherwise name one file
// at the destination. Windows file systems ignore case. On Linux the file
// system says, learnt from the folder where the two first differ (an SMB
// share, a FAT or exFAT stick and a case-folding ext4 folder take them for
// one; ext4 and tmpfs do not), and asked once per such folder.
bool SpellingsMeet(const wchar_t* path, const wchar_t* other);

// Whether a listed name is one name that a path may be built from. Windows
// lists no name that holds a separator or a drive's colon, but Wine passes
// on what a Unix file system holds, and so may a file server: joined into a
// path, "..\VOD\Lesson01" or "a:b.vtt" would lead somewhere else. The Linux
// stand-in lists a name's own backslash as U+DC5C, and a colon is an
// ordinary character there.
bool IsSingleName(const wchar_t* name);

// Whether `folder` is `outer` or lies below it: on Linux with every link
// resolved (a folder reached through a link into the source lies inside
// it), on Windows as the full paths say, letter case ignored.
bool FolderLiesWithin(const wchar_t* folder, const wchar_t* outer);

// The destination and everything below it, as the file system knows its
// folders (device and inode on Linux, volume and file index on Windows),
// not as a path reads: a source folder that is a link to the destination or
// to a folder inside it, or a mount of one, lies inside it. The walk asks
// before it lists a folder, so that it never lists one while a worker may
// be writing there. Remembers a few folders it found outside, so that the
// usual question costs a call or two.
class DestinationTree {
public:
    explicit DestinationTree(const wchar_t* destinationRoot);
    ~DestinationTree();
    DestinationTree(const DestinationTree&) = delete;
    DestinationTree& operator=(const DestinationTree&) = delete;

    // False also where the folder or the destination cannot be reached: a
    // listing of such a folder fails anyway, and nothing is written to such
    // a destination.
    bool Contains(const wchar_t* folder);

private:
    struct Identities;
    std::unique_ptr<Identities> identities_;
};
