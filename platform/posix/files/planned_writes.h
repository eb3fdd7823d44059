// A dry run's writes: folder creations and copies are answered as the real
// calls would answer them, from what is on disk and from what the run would
// already have made, and nothing is written. A later segment's caption that
// would replace an earlier one does so here too; a read-only copy that the
// run would have made refuses its replacement.
//
// What cannot be known beforehand is not foretold: a disk that would fill, a
// source that would change while it is copied.
#pragma once

#include <sys/stat.h>

#include "platform/posix/files/write_folders.h"

namespace posix {

// The folder `path` names, as MakeWriteFolder would make it: 0, or a cause.
int PlanFolder(const WritePath& path);

// A copy of the regular file `source` (opened, and so readable) to
// `target`, as CopyFileW would make it: 0, or a cause.
int PlanCopy(const struct stat& source, const WritePath& target, bool failIfExists);

}  // namespace posix
