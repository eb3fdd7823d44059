// The file system's own connection to the kernel: it mounts /dev/fuse itself
// and passes libfuse's messages through, so that it can grant what libfuse
// 3.14 leaves out of its answer to the kernel's INIT even when init asks for
// it: parallel directory operations. Without them the kernel lets one lookup
// or listing at a time into a folder, which no SMB or NFS client does.
#pragma once

#define FUSE_USE_VERSION 314
#include <fuse_lowlevel.h>

namespace latency_fs {

// Mounts a new connection at MOUNTPOINT, read-only if asked, and hands it to
// the session; false (errno set) when that fails.
bool MountChannel(fuse_session* se, const char* mountpoint, bool readOnly);

// Whether the INIT reply that went to the kernel granted parallel directory
// operations (false before the kernel asked, or when it did not offer them).
bool ParallelDiropsGranted();

}  // namespace latency_fs
