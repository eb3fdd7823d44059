#include "platform/posix/TerminalBytes.h"

#include <unistd.h>

#include <cerrno>

namespace posix {

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

void WriteBytes(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        done += static_cast<std::size_t>(written);
    }
}

}  // namespace posix
