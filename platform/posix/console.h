// Byte-level terminal input and output for the browser and the message box.
// Text crosses as UTF-8 through posix::NarrowName / WidenName; never through
// wide iostreams or the C library's locale-bound conversions.
#pragma once

#include <optional>
#include <string>

namespace posix {

bool IsTerminal(int fd);

// All of `text`; a stream that fails is given up silently, like a closed
// window.
void WriteText(int fd, const std::string& text);

// One line without its "\n" (and without a "\r" before it); nothing at the
// end of input. Reads a byte at a time so that nothing after the line is
// taken from a stream that the next browser or message box reads.
std::optional<std::string> ReadLine(int fd);

// Text the user typed: unlike a name, a backslash in it separates names
// (a path may be typed in the Windows form, \srv\media).
std::wstring WidenTyped(const std::string& typed);

// Text made safe to show: control characters become "?" (a folder name could
// otherwise move the cursor or end a line), and code units that are not text
// (lone surrogates, raw bytes of non-UTF-8 names) become U+FFFD; a backslash
// carried inside a name is shown as the backslash it is. With
// `multiline`, line breaks stay.
std::string DisplayText(const std::wstring& text, bool multiline = false);
// A Windows-form path as the Linux user knows it: "/srv/media".
std::string DisplayPath(const std::wstring& path);

}  // namespace posix
