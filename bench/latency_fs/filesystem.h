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
    // Listings that carry each entry's attributes when the kernel asks for
    // them, as NFS and SMB listings do: a name listed is then known to the
    // kernel without a lookup of its own, for the cache time.
    bool readdirplus = true;
};

struct FileSystem {
    explicit FileSystem(const Settings& s) : settings(s), log(s.delay) {}

    Settings settings;
    RequestLog log;
    InodeTable inodes;
};

fuse_lowlevel_ops Operations(const Settings& settings);

}  // namespace latency_fs
