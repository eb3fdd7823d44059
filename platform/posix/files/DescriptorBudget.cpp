// How many caption workers the limit on open files leaves room for. Each
// worker keeps the folders of its latest write path open (WriteFolders.h)
// and, while it copies, the source, the new file and a folder it sweeps; the
// walk's own thread holds the folders of the content folder it makes, and a
// listing or two while it looks. Counted high, so that whatever one worker
// can copy, every worker of the pool can.
#include <dirent.h>
#include <sys/resource.h>

#include <optional>
#include <string>

#include "platform/RunLimits.h"
#include "platform/posix/files/Descriptors.h"
#include "platform/posix/files/WriteFolders.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

// A caption folder lies four folders below the destination: short name,
// base name, video, vtt; the stack also holds the top of the file system.
constexpr long kCaptionFolderDepth = 4;
constexpr long kCopyDescriptors = 4;  // source, new file, a named temporary's folder sweep
constexpr long kWalkDescriptors = 4;  // a listing, the folders it checks on the way up
constexpr long kSpare = 4;

// What the process holds open now: the standard streams, a terminal,
// whatever a desktop toolkit keeps. Where /proc cannot tell, a guess.
long DescriptorsOpen() {
    const DirStream fds(::opendir("/proc/self/fd"));
    if (!fds) return 32;
    long open = -1;  // the listing's own
    while (const dirent* entry = ::readdir(fds.get())) {
        if (entry->d_name[0] != '.') ++open;
    }
    return open;
}

// The folders from the top of the file system down to the destination, as
// writes reach it.
long DestinationDepth(const wchar_t* destinationRoot) {
    const std::optional<std::string> native = NativePath(destinationRoot);
    const std::optional<WritePath> path = native ? MakeWritePath(*native) : std::nullopt;
    return path ? static_cast<long>(path->folder.size()) + (path->leaf.empty() ? 0 : 1) : 64;
}

}  // namespace
}  // namespace posix

int CaptionWorkersThatFit(int asked, const wchar_t* destinationRoot) {
    if (asked <= 1) return 1;
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return asked;
    const long depth = posix::DestinationDepth(destinationRoot);
    const long perWorker = 1 + depth + posix::kCaptionFolderDepth + posix::kCopyDescriptors;
    const long walk = 1 + depth + 1 + posix::kWalkDescriptors;
    const long room = static_cast<long>(limit.rlim_cur) - posix::DescriptorsOpen() - walk - posix::kSpare;
    const long fit = room / perWorker;
    if (fit >= asked) return asked;
    // One worker is the walk's own thread, which the count above has room for
    // wherever a run can copy at all.
    return fit >= 2 ? static_cast<int>(fit) : 1;
}
