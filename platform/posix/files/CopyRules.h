// What a copy refuses, on its source and at its target: the same rules for a
// copy that is made and for one that a dry run only plans.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/posix/files/Descriptors.h"

namespace posix {

// Windows' read-only attribute, as the listing reports it: no owner write
// bit.
inline bool IsReadOnly(const struct stat& status) { return (status.st_mode & S_IWUSR) == 0; }

// Opens the source for reading when it is a regular file: 0, or a cause
// (Errors.h). Opening a FIFO releases a writer waiting on it, opening a
// device may act on it (a pseudo-terminal is made, a serial line's control
// signals change): the type is checked first, following links as reading
// does; the open can neither hang nor take a controlling terminal; and what
// was opened must still be the file that was checked.
int OpenSource(const std::string& path, FileDescriptor& in, struct stat& status);

// What Windows refuses at the target `name` in `folder`: anything under
// fail-if-exists, a folder, a read-only file (by the mode bits, so that it
// holds for root too), the source itself; and what we refuse: a link, which
// is never written through. 0 or a cause; `present` gets the status of what
// is there.
int CheckTarget(int folder, const char* name, const struct stat& source, bool failIfExists,
                std::optional<struct stat>& present);

}  // namespace posix
