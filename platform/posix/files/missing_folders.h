// Why a write's folder is missing. The walk makes a caption's folders and
// then copies into them without looking at what the creations said; when a
// creation failed for a reason of its own (no permission, a read-only file
// system, a link on the way), the copy then only finds its folder missing.
// The reason of that creation is kept here, so that the copy can give it.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/files/write_folders.h"

namespace posix {

// The folder `path` names could not be made, for `cause`. Only causes that
// tell more than "already there" or "no parent" are kept.
void RememberFolderNotMade(const WritePath& path, int cause);

// The cause that left `folder` (names from the top) missing: that of the
// latest folder not made when it is `folder` or lies above it, else ENOENT.
int WhyFolderIsMissing(const std::vector<std::string>& folder);

}  // namespace posix
