// A dry run's writes: folder creations and copies are answered as the real
// calls would answer them, from what is on disk and from what the run would
// already have made, and nothing is written. A later segment's caption that
// would replace an earlier one does so here too; a read-only copy that the
// run would have made refuses its replacement.
//
// The dry run's listings show what the run would already have made by then
// (a destination inside the source is listed by the walk), so that the dry
// run walks exactly what the run walks.
//
// What cannot be known beforehand is not foretold: a disk that would fill, a
// source that would change while it is copied.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/posix/files/WriteFolders.h"

namespace posix {

// A dry run: set once, before the run (CommandLineOptions.h), and read by
// every write, so kept where a read costs no call.
inline bool planningWritesOnly = false;
inline void PlanWritesOnly() { planningWritesOnly = true; }
inline bool PlanningWritesOnly() { return planningWritesOnly; }

// The folder `path` names, as MakeWriteFolder would make it: 0, or a cause.
int PlanFolder(const WritePath& path);

// A copy of the regular file `source` (opened, and so readable) to
// `target`, as CopyFileW would make it: 0, or a cause.
int PlanCopy(const struct stat& source, const WritePath& target, bool failIfExists);

// What the run would have made so far directly in `folder` (a system path,
// reached as reading reaches it, links and all), for its listing.
struct PlannedEntry {
    std::string name;
    bool isFolder;
    bool readOnly;
};
struct PlannedFolder {
    bool planned;  // the run would have made `folder` itself
    std::vector<PlannedEntry> entries;
};
PlannedFolder PlannedIn(const std::string& folder);
// What the run would have made at `path` (a system path), if anything: a
// dry run reads it as the run would read what it made.
std::optional<PlannedEntry> PlannedAt(const std::string& path);

}  // namespace posix
