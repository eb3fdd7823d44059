// The files a copy is written into before it takes the target's name, so
// that a copy cut short leaves nothing behind.
//
// Where the file system has them, an unnamed file (O_TMPFILE) in the
// target's folder: it vanishes by itself however the process ends, and gets
// its name only when whole. Elsewhere (FAT, most network file systems) a
// hidden named file whose name says which machine and which process made
// it; it is removed on every way out that the process sees, signals
// included, and a later run removes the ones that a process killed outright
// left behind.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/posix/files/Descriptors.h"

namespace posix {

// Opens an unnamed file in `folder` for writing, created with `mode` (which
// the creation mask trims): 0, or an errno. EOPNOTSUPP also when unnamed
// files could be made but never named here (no link by descriptor and no
// /proc); NoUnnamedFiles() then tells the caller to use a named file.
int OpenUnnamed(int folder, mode_t mode, FileDescriptor& file);
bool NoUnnamedFiles(int error);

// Gives the unnamed file `file` the name `name` in `folder`: 0 or an errno.
int NameUnnamed(int file, int folder, const char* name);

// Locks the named temporary file open at `fd` for as long as it is open, so
// that no other run takes it for one left behind (RemoveLeftTemporaries),
// whatever its process id looks like from there. Where the file system has
// no locks, its age alone speaks for it.
void HoldWhileWriting(int fd);

struct InFlightTemporary;

// A hidden named file in a folder, from its creation until it is renamed
// onto its target; removed on every other way out, and by the signal handler
// if a signal ends the process meanwhile. One that is written under its
// name is locked (HoldWhileWriting) on the descriptor that writes it, from
// its first moment under its name until the copy closes it, so that a sweep
// can tell it is alive however long the copy takes. Between the close and
// the rename (two calls, as for an unnamed file given a name) its process
// id and its fresh change time speak for it: only a run of another PID
// namespace under the same host name, sweeping that folder at that moment,
// could take it for one left behind, and the copy would then fail and be
// counted. A second descriptor to keep the lock would cost every copy onto
// a file server one more round trip when it closes.
class NamedTemporary {
public:
    explicit NamedTemporary(int folder);
    ~NamedTemporary();
    NamedTemporary(const NamedTemporary&) = delete;
    NamedTemporary& operator=(const NamedTemporary&) = delete;

    // Makes a new file under a name that no other process and no earlier
    // call uses, created with `mode` and open for writing at `file`: 0 or an
    // errno (EINTR when a signal is ending the process).
    int Create(mode_t mode, FileDescriptor& file);
    // Gives the unnamed file open at `file` such a name, unlocked: 0 or an
    // errno.
    int Name(int file);

    const char* name() const { return name_.c_str(); }
    // Renames it onto `target` in its folder (renameat2 with `flags`): 0 or
    // an errno. The file must be closed by then: an SMB share refuses to
    // rename a file that is open (EBUSY).
    int RenameOnto(const char* target, unsigned flags = 0);

private:
    template <typename Make>
    int MakeNamed(Make make, int known);
    void Enter(int state);

    int folder_;
    std::string name_;
    InFlightTemporary* slot_ = nullptr;  // where the signal handler finds the name
    bool created_ = false;
    bool renamed_ = false;
};

namespace testing {
// How unnamed files are named is settled with the first one, for the whole
// process; a test that plays another system starts it over.
void SettleNamingAgain();
// A named temporary file counts as left behind once it has not changed for
// a minute; a test does not wait that long.
void TakeTemporariesAsLeftAfter(long seconds);
}  // namespace testing

// Removes from `folder` the named temporary files that runs on this machine
// left behind when they were killed: only files with such a name, only
// regular files, only those that no run holds (HoldWhileWriting), and of
// those only the ones whose process is gone or that have not changed for a
// minute. Where the file system has no locks, only the minute tells.
void RemoveLeftTemporaries(int folder);

}  // namespace posix
