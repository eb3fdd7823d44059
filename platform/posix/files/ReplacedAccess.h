// Who may read a published copy is the destination's business, not the
// source's: a replacement keeps the access of the file it replaces, its mode
// and, where it has one, its access control list, as Windows keeps a
// target's security when a copy overwrites it. A web server's account named
// in the list keeps reading the caption, and the owning group does not gain
// what the list's mask withheld from it.
#pragma once

#include <sys/stat.h>

namespace posix {

// Gives `file`, the new copy, the access of `replaced`, the file called
// `name` in `folder` that it is about to replace: the access control list
// where that file has one, else its mode; less every write permission for a
// read-only `source`. 0, or an errno.
int TakeReplacedAccess(int file, int folder, const char* name, const struct stat& replaced,
                       const struct stat& source);

}  // namespace posix
