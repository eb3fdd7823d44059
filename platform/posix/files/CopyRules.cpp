#include "platform/posix/files/CopyRules.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/files/Errors.h"

namespace posix {

int OpenSource(const std::string& path, FileDescriptor& in, struct stat& status) {
    struct stat checked;
    if (::stat(path.c_str(), &checked) != 0) return errno;
    if (!S_ISREG(checked.st_mode)) return kNotRegularFile;
    in.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in) return errno;
    if (::fstat(in.get(), &status) != 0) return errno;
    if (!S_ISREG(status.st_mode)) return kNotRegularFile;
    if (status.st_dev != checked.st_dev || status.st_ino != checked.st_ino) return kSourceChanged;
    return 0;
}

int CheckTarget(int folder, const char* name, const struct stat& source, bool failIfExists,
                std::optional<struct stat>& present) {
    struct stat st;
    present.reset();
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? 0 : errno;
    present = st;
    if (failIfExists) return kTargetExists;
    if (S_ISLNK(st.st_mode)) return kLinkInDestination;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (IsReadOnly(st)) return kTargetReadOnly;
    if (st.st_dev == source.st_dev && st.st_ino == source.st_ino) return kSameFile;
    return 0;
}

}  // namespace posix
