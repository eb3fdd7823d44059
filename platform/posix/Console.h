// Byte-level terminal input and output for the browser and the message box.
// Text crosses as UTF-8 through posix::NarrowName / WidenName; never through
// wide iostreams or the C library's locale-bound conversions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/posix/TerminalBytes.h"

namespace posix {

// All of `text`, after erasing a status line that stands (StatusLine.h); a
// stream that fails is given up silently, like a closed window.
void WriteText(int fd, const std::string& text);

struct InputLine {
    enum class Refused { No, TooLong, HoldsNul };
    std::string text;  // exactly as it came, less its "\n" or "\r\n"; empty when refused
    bool ended;        // by a "\n", not by the end of input
    Refused refused;
};
// One line; nothing at the end of input. A line that passes `limit` bytes or
// holds a NUL byte is refused as soon as that shows, and none of it is kept:
// no input can make the program hold more or read on for ever, and a NUL
// cannot cut a line short into another command.
//
// Input is read in blocks. What a block holds beyond the line is kept for
// the next line read from the same stream (the next picker, the message
// box); a file is put back at the line's end, so whatever reads it after
// the program starts where the program stopped.
std::optional<InputLine> ReadLine(int fd, std::size_t limit);
// Reads up to and through the next line end, keeping nothing: true when a
// "\n" ended it, false at the end of input.
bool SkipLine(int fd);

// At a terminal, "Press Enter to close." and the wait for it; nothing
// elsewhere, where no one could press it.
void WaitForEnter(int input, int output);

// Text made safe to show, for everything the program prints: control
// characters (U+2028 and U+2029 among them) become "?" (a folder name could
// otherwise move the cursor, end a line or send the terminal a command), the
// bidirectional controls and the format characters that draw nothing show
// as "<U+202E>", "<U+200B>" (they could make one name read as another), and
// code units that are not text (lone surrogates, raw bytes of non-UTF-8
// names) become U+FFFD; a backslash carried inside a name is shown as the
// backslash it is. With `multiline`, line breaks stay.
std::string DisplayText(const std::wstring& text, bool multiline = false);
// Bytes as the system holds them (a name, an argument), shown as above.
std::string DisplayBytes(const std::string& bytes);
// A Windows-form path as the Linux user knows it: "/srv/media".
std::string DisplayPath(const std::wstring& path);

}  // namespace posix
