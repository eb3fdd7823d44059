// Moving a copy's bytes: exactly the bytes the source held when it was
// opened, never more, with the cheapest means the file systems offer.
#pragma once

#include <sys/stat.h>

namespace posix {

class WriteWatch;

// Copies the content of `in` (a regular file, as `source` describes it when
// it was opened) into the new, empty file `out`: 0, or a cause (Errors.h):
// kSourceChanged when the source yields more or fewer bytes than its size;
// kReadFault; an errno. A writer that comes for the source meanwhile
// (`watch`) stops the copy within 4 MiB, with kSourceChanged;
// whether the source was written to otherwise is the caller's to ask
// (WriteWatch.h). A reflink where the file systems share blocks; a sparse
// source hole for hole; otherwise the kernel's copy, with a read/write
// fallback.
int CopyContent(int in, int out, const struct stat& source, WriteWatch& watch);

}  // namespace posix
