#include "platform/posix/StatusLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <optional>

#include "platform/posix/Names.h"
#include "platform/posix/TerminalBytes.h"

namespace posix {
namespace {

// Fewer columns hold too little of "1834 captions copied, now in ..." to be
// worth the redraws.
constexpr std::size_t kNarrowestLine = 20;

// The terminal that shows a status line now, or -1.
int statusLineOn = -1;

// The terminal's width; nothing when it does not say (a serial line may
// answer 0).
std::optional<std::size_t> Columns(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
    return size.ws_col;
}

// Columns a character may take, never fewer than it does: whatever might be
// wide counts two. The locale of the terminal is not the program's.
std::size_t ColumnsAtMost(std::uint32_t code) {
    if (code >= 0x0300 && code <= 0x036F) return 0;  // combining marks
    return code < 0x1100 ? 1 : 2;
}

// The start of `text` that fits in `columns`, cut between characters.
std::string Fitted(const std::string& text, std::size_t columns) {
    std::size_t used = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::optional<Utf8Character> character = Utf8CharacterAt(text.data() + at, text.size() - at);
        if (!character) break;
        const std::size_t width = ColumnsAtMost(character->code);
        if (used + width > columns) break;
        used += width;
        at += character->length;
    }
    return text.substr(0, at);
}

}  // namespace

void ShowStatusLine(int fd, const std::string& shown) {
    // A guessed width could be wider than the terminal: every redraw would
    // wrap and leave its start behind.
    const std::optional<std::size_t> columns = Columns(fd);
    if (!columns || *columns < kNarrowestLine) {
        EraseStatusLine();
        return;
    }
    // One column short of the width: a line that fills it would make some
    // terminals wrap at once.
    WriteBytes(fd, "\r" + Fitted(shown, *columns - 1) + "\x1b[K");
    statusLineOn = fd;
}

void EraseStatusLine() {
    if (statusLineOn < 0) return;
    WriteBytes(statusLineOn, "\r\x1b[K");
    statusLineOn = -1;
}

}  // namespace posix
