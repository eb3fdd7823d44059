// CopyFileW of the stand-in. It keeps the Windows contract (an existing
// read-only target or a folder is refused, content and last-write time are
// copied, the read-only attribute goes along) and adds what a publishing
// tool needs:
// - only a regular file is read: a FIFO, a device or a folder in a caption's
//   place is refused without being opened;
// - the target is replaced in one step: a reader sees the earlier copy or
//   the whole new one, never a part;
// - nothing is left behind: the data goes into a temporary file in the
//   target's folder (TemporaryFiles.h) that gets the target's name only
//   when whole;
// - the copy takes exactly the bytes the source held when it was opened: a
//   source that yields more (a /proc file, a growing log) or fewer fails
//   (CopyContent.h); one that is being written is copied again after a
//   rest, a few times, and then fails (WriteWatch.h);
// - a published copy gets the destination's access, not the source's: a new
//   one what the creation mask gives a new file, a replacement the mode and
//   access control list of the file it replaces (ReplacedAccess.h), either
//   without write permission when the source is read-only;
// - the target's folder is reached without following a symbolic link, and a
//   link at the target's name is refused, never written through.
// A dry run checks all that it can beforehand and writes nothing
// (PlannedWrites.h).
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "platform/ReasonWords.h"
#include "platform/posix/files/CopyContent.h"
#include "platform/posix/files/CopyRules.h"
#include "platform/posix/files/Descriptors.h"
#include "platform/posix/files/Errors.h"
#include "platform/posix/files/PlannedWrites.h"
#include "platform/posix/files/ReplacedAccess.h"
#include "platform/posix/files/TemporaryFiles.h"
#include "platform/posix/files/ThreadFiles.h"
#include "platform/posix/files/WriteFolders.h"
#include "platform/posix/files/WriteWatch.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

// A write beyond the file-size limit then fails with EFBIG, like a full
// disk, instead of ending the process; the copy is counted and the walk
// goes on. A handler the program set is left alone.
void LetWritesFailAtTheFileSizeLimit() {
    static const bool done = [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            (current.sa_flags & SA_SIGINFO) == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
        }
        return true;
    }();
    (void)done;
}

// How often a source that is being written is copied before it counts as
// changed while it was copied.
constexpr int kCopiesOfAChangingSource = 4;

// The source of a copy, open for reading, as it was when opened.
struct CopySource {
    int fd;
    const struct stat& status;
    WriteWatch& watch;
};

// ---------------------------------------------------------------------------
// Failures

// A target folder that is missing because its creation failed gives that
// creation's cause, with the code Windows gives for a missing path.
Failure CopyFailure(int error, const std::vector<std::string>& folder) {
    if (error == 0) return kNoFailure;
    if (error == ENOENT) {
        if (const int cause = WhyFolderIsMissing(folder); cause != ENOENT) {
            return {ERROR_PATH_NOT_FOUND, cause, reason_words::kFolderNotMade};
        }
    }
    return WriteFailure(error);
}

Failure SourceFailure(int cause, const std::string& path) {
    if (cause > 0) return {EntryErrorFromErrno(cause, path), cause};
    return {WriteErrorFromCause(cause), cause};
}

// ---------------------------------------------------------------------------
// Modes and times

// What a new copy is created with; the creation mask (or a default ACL)
// trims it as it does for every new file.
mode_t CreationMode(const struct stat& source) { return IsReadOnly(source) ? 0444 : 0666; }

// Windows keeps the last-write time on a copy.
int TakeLastWriteTime(int file, const struct stat& source) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    return ::futimens(file, times) == 0 ? 0 : errno;
}

// The bytes of `source` into the new file `out`, with the source's
// last-write time; a source written to meanwhile fails.
int CopyWhole(const CopySource& source, int out) {
    int error = CopyContent(source.fd, out, source.status, source.watch);
    if (error == 0) error = source.watch.Finish(source.fd, source.status);
    if (error == 0) error = TakeLastWriteTime(out, source.status);
    return error;
}

// ---------------------------------------------------------------------------
// Putting the copy in place

// Whether nothing can be at the target's name in the latest write folder:
// this thread made the folder and has written nothing into it since
// (another thread writes other targets only). On a network share each
// question is a round trip; this one is answered from what the thread knows.
bool SurelyNothingThere() { return std::exchange(LatestWriteFolderFacts().empty, false); }

bool Later(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

// Named temporary files that killed runs left in the latest write folder go,
// once for each thread that holds the folder, never from a folder this
// thread has just made. A run that left one was replacing the target there:
// where the folder has not changed since the target took its place, nothing
// was left, and the folder is not read (a re-run into a filled destination
// would otherwise read every caption folder).
void SweepLatestWriteFolder(int folder, const std::optional<struct stat>& target) {
    if (std::exchange(LatestWriteFolderFacts().swept, true)) return;
    struct stat status;
    if (target && ::fstat(folder, &status) == 0 && !Later(status.st_mtim, target->st_ctim)) return;
    RemoveLeftTemporaries(folder);
}

// Gives the unnamed copy the target's name, which nothing may have yet.
int LinkAsTarget(FileDescriptor& temp, int folder, const std::string& target) {
    if (const int err = NameUnnamed(temp.get(), folder, target.c_str()); err != 0) return err;
    if (const int err = temp.Close(); err != 0) {
        ::unlinkat(folder, target.c_str(), 0);
        return err;
    }
    return 0;
}

// The unnamed copy gets the target's name if nothing has it yet; an earlier
// copy is replaced through a named temporary file, which exists only for the
// two calls that link and rename it. Whether the latest target was there
// foretells this one: into a destination filled by an earlier run every
// target is there, into a new one none is, so the first try is the likely
// one and the other costs a call only when the guess fails.
int PlaceUnnamed(FileDescriptor& temp, int folder, const std::string& target, const struct stat& source,
                 bool failIfExists) {
    // Each thread's own guess, from the latest target it placed.
    bool& targetsThere = ThisThread().targetsThere;
    if (!targetsThere || SurelyNothingThere()) {
        const int linked = LinkAsTarget(temp, folder, target);
        if (linked != EEXIST) {
            if (linked == 0) SweepLatestWriteFolder(folder, std::nullopt);
            return linked;
        }
    }
    std::optional<struct stat> present;
    if (const int refused = CheckTarget(folder, target.c_str(), source, failIfExists, present); refused != 0) {
        return refused;
    }
    SweepLatestWriteFolder(folder, present);
    targetsThere = present.has_value();
    if (!present) return LinkAsTarget(temp, folder, target);
    if (const int err = TakeReplacedAccess(temp.get(), folder, target.c_str(), *present, source); err != 0) {
        return err;
    }
    NamedTemporary named(folder);
    if (const int err = named.Name(temp.get()); err != 0) return err;
    if (const int err = temp.Close(); err != 0) return err;
    return named.RenameOnto(target.c_str());
}

int CopyUnnamed(const CopySource& source, FileDescriptor& temp, const WritePath& target, bool failIfExists) {
    if (const int error = CopyWhole(source, temp.get()); error != 0) return error;
    return InWriteFolder(target.folder, [&](int folder) {
        return PlaceUnnamed(temp, folder, target.leaf, source.status, failIfExists);
    });
}

// Where the file system has no unnamed files: a named temporary file for the
// whole copy.
int CopyNamed(const CopySource& source, const WritePath& target, bool failIfExists) {
    return InWriteFolder(target.folder, [&](int folder) {
        std::optional<struct stat> present;
        if (!SurelyNothingThere()) {
            const int refused = CheckTarget(folder, target.leaf.c_str(), source.status, failIfExists, present);
            if (refused != 0) return refused;
        }
        SweepLatestWriteFolder(folder, present);
        NamedTemporary named(folder);
        FileDescriptor temp;
        if (const int created = named.Create(CreationMode(source.status), temp); created != 0) return created;
        int error = CopyWhole(source, temp.get());
        if (error == 0 && present) {
            error = TakeReplacedAccess(temp.get(), folder, target.leaf.c_str(), *present, source.status);
        }
        if (error == 0) error = temp.Close();
        if (error != 0) return error;
        if (!failIfExists) return named.RenameOnto(target.leaf.c_str());
        // Refuses a target that appeared since it was checked.
        const int renamed = named.RenameOnto(target.leaf.c_str(), RENAME_NOREPLACE);
        return renamed == EEXIST ? static_cast<int>(kTargetExists) : renamed;
    });
}

// A dry run's copy, of what the source is now or of what the run would
// have made in its place by then.
Failure PlanCopyOf(const std::string& sourcePath, const WritePath& target, bool failIfExists) {
    FileDescriptor in;
    struct stat status;
    if (const std::optional<PlannedEntry> planned = PlannedAt(sourcePath)) {
        if (planned->isFolder) return SourceFailure(kNotRegularFile, sourcePath);
        status = {};
        status.st_mode = S_IFREG | (planned->readOnly ? 0444 : 0644);
    } else if (const int error = OpenSource(sourcePath, in, status); error != 0) {
        return SourceFailure(error, sourcePath);
    }
    if (target.leaf.empty()) return {ERROR_ACCESS_DENIED, EISDIR};
    return CopyFailure(PlanCopy(status, target, failIfExists), target.folder);
}

// One copy of the source, opened afresh.
Failure CopyOnce(const std::string& sourcePath, const WritePath& target, bool failIfExists, WriteWatch& watch) {
    if (PlanningWritesOnly()) return PlanCopyOf(sourcePath, target, failIfExists);
    FileDescriptor in;
    struct stat status;
    if (const int error = OpenSource(sourcePath, in, status); error != 0) return SourceFailure(error, sourcePath);
    if (target.leaf.empty()) return {ERROR_ACCESS_DENIED, EISDIR};  // the top of the file system
    int error = watch.Start(in.get(), status);
    if (error == 0) {
        const CopySource source{in.get(), status, watch};
        FileDescriptor temp;
        error = InWriteFolder(target.folder, [&](int folder) { return OpenUnnamed(folder, CreationMode(status), temp); });
        if (error == 0) {
            error = CopyUnnamed(source, temp, target, failIfExists);
        } else if (NoUnnamedFiles(error)) {
            error = CopyNamed(source, target, failIfExists);
        }
    }
    return CopyFailure(error, target.folder);
}

// A source that changed while it was copied may be being written: it is
// copied again after a rest, a few times, before the copy fails.
Failure CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    LetWritesFailAtTheFileSizeLimit();
    const std::optional<WritePath> path = MakeWritePath(target);
    if (!path) return {ERROR_PATH_NOT_FOUND, kNoCause};
    for (int copy = 1;; ++copy) {
        WriteWatch watch;
        const Failure failure = CopyOnce(source, *path, failIfExists, watch);
        if (failure.cause != kSourceChanged || copy == kCopiesOfAChangingSource) return failure;
        watch.Rest(copy);
    }
}

}  // namespace
}  // namespace posix

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr) return posix::Fail(ERROR_INVALID_PARAMETER);
    try {
        const std::optional<std::string> source = posix::NativePath(lpExistingFileName);
        const std::optional<std::string> target = posix::NativePath(lpNewFileName);
        if (!source || !target) return posix::Fail(ERROR_INVALID_NAME);
        const posix::Failure failure = posix::CopyFile(*source, *target, bFailIfExists != FALSE);
        return failure.code == ERROR_SUCCESS ? TRUE : posix::Fail(failure);
    } catch (const std::bad_alloc&) {
        return posix::Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
