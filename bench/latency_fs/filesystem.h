// The passthrough: every request is answered from the backing folder, with
// the backing file system's own errno, after the request's delay.
#pragma once

#include "inodes.h"
#include "requests.h"

namespace latency_fs {

struct Settings {
    std::chrono::microseconds delay{0};
    double cacheSeconds = 1.0;          // names and attributes, as an SMB or NFS client keeps them
    double negativeCacheSeconds = 1.0;  // names found missing
    unsigned threads = 64;
    // Extended attributes passed through. Off, the share has none, as an
    // SMB or NFS mount shows none of the security.* attributes: the first
    // request of each kind is answered ENOSYS and the kernel asks no more.
    // On, the kernel asks for security.capability before the first write
    // to each file, one request per file that no network client sends.
    bool xattr = false;
};

struct FileSystem {
    explicit FileSystem(const Settings& s) : settings(s), log(s.delay) {}

    Settings settings;
    RequestLog log;
    InodeTable inodes;
};

const fuse_lowlevel_ops& Operations();

}  // namespace latency_fs
