#include "platform/posix/files/CopyContent.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>

#include "platform/posix/files/Errors.h"
#include "platform/posix/files/ThreadFiles.h"
#include "platform/posix/files/WriteWatch.h"

namespace posix {
namespace {

// The most a single call moves: between two calls the copy looks whether a
// writer waits for the source (WriteWatch), which it must not keep waiting
// for longer than a moment, even on a slow disk. A caption takes one call.
constexpr off_t kMostAtOnce = 4 * 1024 * 1024;

bool CopyRangeUnsupported(int err) {
    return err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP || err == EBADF;
}

// Reads the source's bytes [from, end) and writes them at the same offsets,
// reading one byte beyond `end` when `end` is the source's size, to see
// whether it grew. Writes nothing beyond `end`.
int CopyRangeByReading(int in, int out, off_t from, off_t end, bool atSize, WriteWatch& watch) {
    constexpr off_t kBufferSize = 128 * 1024;
    std::unique_ptr<char[]>& buffer = ThisThread().copyBuffer;
    if (!buffer) buffer.reset(new char[kBufferSize]);
    const off_t limit = atSize ? end + 1 : end;
    for (off_t at = from;;) {
        if (watch.WriterWaits()) return kSourceChanged;
        const off_t wanted = std::min(kBufferSize, limit - at);
        if (wanted == 0) return 0;
        const ssize_t got = ::pread(in, buffer.get(), static_cast<std::size_t>(wanted), at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno == EIO ? kReadFault : errno;
        if (got == 0) return at == end ? 0 : kSourceChanged;
        if (at + got > end) return kSourceChanged;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(out, buffer.get() + done, static_cast<std::size_t>(got - done), at + done);
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) return errno;
            done += put;
        }
        at += got;
    }
}

// The kernel's copy of the source's bytes [from, end) to the same offsets.
// At the source's size it asks for one byte more, so that a source that grew
// shows at once and an ordinary file needs one call: a short count exactly
// at the end is the end. A first answer of nothing is confirmed by reading,
// since files whose size stat does not know (procfs and the like) answer
// that way too. Offsets are given, so the source's file position plays no
// part and a copy tried again takes it whole again.
int CopyRangeByKernel(int in, int out, off_t from, off_t end, bool atSize, WriteWatch& watch) {
    const off_t limit = atSize ? end + 1 : end;
    for (off_t at = from; at < limit;) {
        if (watch.WriterWaits()) return kSourceChanged;
        off_t inAt = at;
        off_t outAt = at;
        const std::size_t wanted = static_cast<std::size_t>(std::min(kMostAtOnce, limit - at));
        const ssize_t moved = ::copy_file_range(in, &inAt, out, &outAt, wanted, 0);
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0) {
            return CopyRangeUnsupported(errno) ? CopyRangeByReading(in, out, at, end, atSize, watch) : errno;
        }
        if (moved == 0) {
            return at == from ? CopyRangeByReading(in, out, at, end, atSize, watch) : at == end ? 0 : kSourceChanged;
        }
        at += moved;
        if (at > end) return kSourceChanged;
        if (at == end && static_cast<std::size_t>(moved) < wanted) return 0;
    }
    return 0;
}

// A reflink shares the blocks instead of copying them, holes included. Once
// the source's file system has refused one, later copies from it don't ask
// again: on file systems without reflinks (ext4, tmpfs) that saves a call
// per file.
bool Reflinked(int in, int out, const struct stat& source) {
    std::optional<dev_t>& refusedBy = ThisThread().reflinkRefusedBy;
    if (refusedBy == source.st_dev) return false;
    if (::ioctl(out, FICLONE, in) == 0) return true;
    refusedBy = source.st_dev;
    return false;
}

// Most of a sparse file is holes; written out, a 1 TB hole would fill the
// destination. Captions are small and dense; a file with less than half of
// its length on disk is worth the extra calls.
bool IsSparse(const struct stat& source) {
    return static_cast<off_t>(source.st_blocks) * 512 < source.st_size / 2;
}

// The data extents of the source up to its size, each copied to the same
// offset; the holes between stay holes, the last one by the target's
// length. Data found at or beyond the size means that the source grew. A
// file system that cannot tell holes from data gets the dense copy.
int CopySparse(int in, int out, off_t size, WriteWatch& watch) {
    for (off_t at = 0; at < size;) {
        const off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) break;  // nothing but a hole to the end
        if (data < 0 && at == 0 && (errno == EINVAL || errno == EOPNOTSUPP)) {
            return CopyRangeByKernel(in, out, 0, size, true, watch);
        }
        if (data < 0) return errno;
        if (data >= size) break;
        const off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) return errno;
        const off_t end = std::min(hole, size);
        if (const int error = CopyRangeByKernel(in, out, data, end, false, watch); error != 0) return error;
        at = end;
    }
    if (::ftruncate(out, size) != 0) return errno;
    if (::lseek(in, size, SEEK_DATA) >= 0) return kSourceChanged;
    return errno == ENXIO ? 0 : errno;
}

}  // namespace

int CopyContent(int in, int out, const struct stat& source, WriteWatch& watch) {
    int error = 0;
    if (Reflinked(in, out, source)) {
        struct stat cloned;
        if (::fstat(out, &cloned) != 0) return errno;
        error = cloned.st_size == source.st_size ? 0 : kSourceChanged;
    } else if (IsSparse(source)) {
        error = CopySparse(in, out, source.st_size, watch);
    } else {
        error = CopyRangeByKernel(in, out, 0, source.st_size, true, watch);
    }
    return error;
}

}  // namespace posix
