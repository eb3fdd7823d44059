// Terminal input and output on file descriptors, in bytes.
#include "platform/posix/Console.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/ShownText.h"
#include "platform/posix/Names.h"
#include "platform/posix/StatusLine.h"

namespace posix {
namespace {

// How a name's own backslash is carried (see Names.h).
constexpr wchar_t kNameBackslash = 0xDC5C;

// What was read from the input beyond the lines taken so far. The program
// reads one input; a descriptor that now stands for another stream starts
// afresh.
struct BufferedInput {
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    bool isFile = false;
    std::string bytes;
    // A line was refused part-way: the rest of it is no line of its own.
    bool inRefusedLine = false;
};

BufferedInput& InputOf(int fd) {
    static BufferedInput input;
    struct stat status {};
    const bool known = ::fstat(fd, &status) == 0;
    if (input.fd != fd || !known || status.st_dev != input.device || status.st_ino != input.inode) {
        input = BufferedInput{fd, status.st_dev, status.st_ino, known && S_ISREG(status.st_mode), {}, false};
    }
    return input;
}

// Appends the next block of input; false at its end (or on an error).
bool ReadMore(int fd, std::string& bytes) {
    char block[4096];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes.append(block, static_cast<std::size_t>(got));
        return true;
    }
}

// A file is put back to the end of the line taken, for whatever reads it
// next; a pipe or a terminal cannot be, and keeps the rest here.
void PutBack(int fd, BufferedInput& input) {
    if (input.isFile && !input.bytes.empty() &&
        ::lseek(fd, -static_cast<off_t>(input.bytes.size()), SEEK_CUR) >= 0) {
        input.bytes.clear();
    }
}

InputLine TakeLine(BufferedInput& input, std::size_t end) {
    std::string text = input.bytes.substr(0, end);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    input.bytes.erase(0, end + 1);
    PutBack(input.fd, input);
    return InputLine{std::move(text), true, InputLine::Refused::No};
}

InputLine Refuse(BufferedInput& input, std::size_t at, InputLine::Refused why) {
    input.bytes.erase(0, at + 1);
    input.inRefusedLine = true;
    return InputLine{std::string(), false, why};
}

}  // namespace

void WriteText(int fd, const std::string& text) {
    // Keeps the order with anything the program printed through stdio.
    if (fd == STDOUT_FILENO) std::fflush(stdout);
    EraseStatusLine();
    WriteBytes(fd, text);
}

std::optional<InputLine> ReadLine(int fd, std::size_t limit) {
    BufferedInput& input = InputOf(fd);
    if (input.inRefusedLine) {
        input.inRefusedLine = false;
        if (!SkipLine(fd)) return std::nullopt;
    }
    std::string& bytes = input.bytes;
    for (std::size_t at = 0;; ++at) {
        if (at == bytes.size() && !ReadMore(fd, bytes)) break;
        const char byte = bytes[at];
        if (byte == '\n') return TakeLine(input, at);
        if (byte == '\0') return Refuse(input, at, InputLine::Refused::HoldsNul);
        if (at == limit) return Refuse(input, at, InputLine::Refused::TooLong);
    }
    if (bytes.empty()) return std::nullopt;
    InputLine last{std::move(bytes), false, InputLine::Refused::No};
    bytes.clear();
    return last;
}

bool SkipLine(int fd) {
    BufferedInput& input = InputOf(fd);
    input.inRefusedLine = false;
    for (;;) {
        const std::size_t end = input.bytes.find('\n');
        if (end != std::string::npos) {
            input.bytes.erase(0, end + 1);
            PutBack(fd, input);
            return true;
        }
        input.bytes.clear();
        if (!ReadMore(fd, input.bytes)) return false;
    }
}

void WaitForEnter(int input, int output) {
    if (!IsTerminal(input)) return;
    WriteText(output, "Press Enter to close.");
    // The terminal echoes the Enter that ends the line; after Ctrl-D
    // nothing ends it.
    if (!SkipLine(input)) WriteText(output, "\n");
}

std::string DisplayText(const std::wstring& text, bool multiline) {
    // A backslash carried inside a name is shown as the backslash it is.
    std::wstring named = text;
    for (wchar_t& unit : named) {
        if (unit == kNameBackslash) unit = L'\\';
    }
    const std::wstring shown = CleanedText(named, multiline);
    // Every code unit left is a character or a whole pair, so this succeeds.
    return NarrowName(shown.data(), shown.size()).value_or(std::string());
}

std::string DisplayBytes(const std::string& bytes) { return DisplayText(WidenName(bytes.data(), bytes.size())); }

std::string DisplayPath(const std::wstring& path) {
    std::wstring slashed = path;
    for (wchar_t& unit : slashed) {
        if (unit == L'\\') unit = L'/';
    }
    return DisplayText(slashed);
}

}  // namespace posix

// The stand-in's own crossing: a name's backslash shown as the backslash it
// is, each separator as a slash.
std::wstring ShownPath(const std::wstring& path) { return posix::WidenText(posix::DisplayPath(path)); }
