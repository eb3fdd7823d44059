// Byte-level terminal input and output for the browser and the message box.
// Text crosses as UTF-8 through posix::NarrowName / WidenName; never through
// wide iostreams or the C library's locale-bound conversions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace posix {

bool IsTerminal(int fd);

// All of `text`; a stream that fails is given up silently, like a closed
// window.
void WriteText(int fd, const std::string& text);

struct InputLine {
    std::string text;  // without its "\n" (and without a "\r" before it)
    bool ended;        // by a "\n", not by the end of input
    bool tooLong;      // longer than the limit: `text` is empty, the rest was read and dropped
};
// One line; nothing at the end of input. Reads a byte at a time so that
// nothing after the line is taken from a stream that the next browser or
// message box reads. A line of more than `limit` bytes is read to its end
// but never kept, so that no input can make the program hold more.
std::optional<InputLine> ReadLine(int fd, std::size_t limit);

// Text made safe to show, for everything the program prints: control
// characters (U+2028 and U+2029 among them) become "?" (a folder name could
// otherwise move the cursor, end a line or send the terminal a command), the
// bidirectional controls show as "<U+202E>" (they could make one name read
// as another), and code units that are not text (lone surrogates, raw bytes
// of non-UTF-8 names) become U+FFFD; a backslash carried inside a name is
// shown as the backslash it is. With `multiline`, line breaks stay.
std::string DisplayText(const std::wstring& text, bool multiline = false);
// A Windows-form path as the Linux user knows it: "/srv/media".
std::string DisplayPath(const std::wstring& path);

}  // namespace posix
