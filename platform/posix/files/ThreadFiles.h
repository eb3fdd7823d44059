// What one thread owns of the file services, in one place: made the first
// time the thread calls them, ended with the thread. A caption's work runs on
// one thread from its folders' creation to its copy's last call, and the last
// error is read on the thread that failed (the engine carries it to the
// walk's thread: SavedLastError), so nothing here is ever shared.
//
// Beside it, what a signal handler reads stays in plain variables of the
// thread's own, set up before they can be needed: the read lease a copy
// holds and whether a writer broke it (WriteWatch.cpp). A named temporary
// file's slot for the clean-up at a signal belongs to the temporary file,
// not to the thread (TemporaryFiles.h).
//
// What threads share is few and guarded where it lives: the dry run's plan
// (its mutex), the slots of temporary files in flight and the clean-up's
// flags (atomics), how unnamed files are named and which file systems keep
// no access lists (atomics, settled once), and what is set once before the
// run and only read after (the command line's options, the chosen links).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/files/Failure.h"
#include "platform/posix/files/FolderStack.h"

namespace posix {

struct ThreadFiles {
    // GetLastError: its code, its cause and where the cause lies
    // (Errors.cpp).
    Failure lastError = kNoFailure;
    // The folders of the latest write path, held open (WriteFolders.cpp).
    FolderStack writeFolders;
    // The latest folder whose creation failed, and why: a copy below it
    // that finds its folder missing gives that cause (WriteFolders.cpp).
    std::vector<std::string> folderNotMade;
    int folderNotMadeCause = 0;
    // Whether the latest target placed was there already: the next copy
    // tries that case first (Copy.cpp).
    bool targetsThere = false;
    // The file system that refused a reflink last, not asked again, and the
    // buffer of a copy that the kernel cannot make (CopyContent.cpp).
    std::optional<dev_t> reflinkRefusedBy;
    std::unique_ptr<char[]> copyBuffer;
};

// This thread's.
inline ThreadFiles& ThisThread() {
    thread_local ThreadFiles files;
    return files;
}

}  // namespace posix
