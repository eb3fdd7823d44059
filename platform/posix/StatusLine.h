// A status line on a terminal: one line redrawn in place, never wider than
// the terminal so that it never wraps. Whatever the program writes next
// through WriteText erases it first, so that no other line is written into
// its middle.
#pragma once

#include <string>

namespace posix {

// Shows `shown` (cleaned display text, UTF-8) as the status line on the
// terminal `fd`, cut to the terminal's width. A terminal narrower than 20
// columns, or one that does not tell its width, shows none (and loses the
// one it showed).
void ShowStatusLine(int fd, const std::string& shown);
// Erases the status line, if one stands.
void EraseStatusLine();

}  // namespace posix
