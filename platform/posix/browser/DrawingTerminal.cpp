#include "platform/posix/browser/DrawingTerminal.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/Console.h"

namespace posix {
namespace {

// `fd` is open for writing on the terminal device `terminal`.
bool WritesTo(int fd, dev_t terminal) {
    struct stat status {};
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && IsTerminal(fd) && ::fstat(fd, &status) == 0 &&
           status.st_rdev == terminal;
}

}  // namespace

FileDescriptor OpenDrawingTerminal(int input, int output) {
    struct stat status {};
    if (!IsTerminal(input) || ::fstat(input, &status) != 0) return FileDescriptor();
    const dev_t terminal = status.st_rdev;
    for (const int fd : {output, input}) {
        if (WritesTo(fd, terminal)) return FileDescriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    }
    // Standard input opened for reading only (`cuecarry < /dev/pts/3 | tee
    // log`): the terminal by its name. Not made the controlling terminal of
    // a process that has none.
    char name[PATH_MAX];
    if (::ttyname_r(input, name, sizeof name) != 0) return FileDescriptor();
    FileDescriptor opened(::open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!opened || !WritesTo(opened.get(), terminal)) return FileDescriptor();
    return opened;
}

}  // namespace posix
