// Bytes to and from a descriptor as they are, below the console's text and
// the status line, which both write through here.
#pragma once

#include <string>

namespace posix {

bool IsTerminal(int fd);

// All of `bytes`; a stream that fails is given up silently, like a closed
// window.
void WriteBytes(int fd, const std::string& bytes);

}  // namespace posix
