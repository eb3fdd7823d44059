#include "platform/posix/browser/CursesTerminal.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#define NCURSES_WIDECHAR 1
// Functions, not macros: curses would otherwise take names such as erase.
#define NCURSES_NOMACROS 1
#include <curses.h>
#include <term.h>

#include "platform/posix/browser/DrawingTerminal.h"
#include "platform/posix/Interrupts.h"

namespace posix {
namespace {

// Read by the interrupt action, so written only while `active` is 0.
volatile sig_atomic_t active = 0;
int terminalFd = -1;
termios savedModes;
char leaveSequence[256];
std::size_t leaveLength = 0;

// Async-signal-safe: write and tcsetattr only, on what was saved before
// curses started.
void RestoreTerminal() noexcept {
    if (active == 0) return;
    std::size_t done = 0;
    while (done < leaveLength) {
        const ssize_t written = ::write(terminalFd, leaveSequence + done, leaveLength - done);
        if (written <= 0) break;
        done += static_cast<std::size_t>(written);
    }
    ::tcsetattr(terminalFd, TCSANOW, &savedModes);
}

// The terminal's string for `name`; null when it has none.
const char* Capability(const char* name) {
    const char* value = ::tigetstr(const_cast<char*>(name));
    return value == reinterpret_cast<const char*>(-1) ? nullptr : value;
}

void AppendCapability(const char* name) {
    const char* value = Capability(name);
    if (value == nullptr) return;
    const std::size_t length = std::strlen(value);
    if (leaveLength + length > sizeof leaveSequence) return;
    std::memcpy(leaveSequence + leaveLength, value, length);
    leaveLength += length;
}

// What endwin would send: plain attributes, the cursor shown, the keypad
// back to normal, the normal screen back.
void PrepareLeaveSequence() {
    leaveLength = 0;
    for (const char* name : {"sgr0", "cnorm", "rmkx", "rmcup"}) AppendCapability(name);
}

// A stream that owns `fd`.
std::FILE* OpenStream(FileDescriptor fd, const char* mode, const char* failure) {
    std::FILE* file = fd ? ::fdopen(fd.get(), mode) : nullptr;
    if (file == nullptr) throw std::runtime_error(failure);
    fd.Release();
    return file;
}

}  // namespace

CursesTerminal::CharacterLocale::CharacterLocale() {
    const char* current = ::setlocale(LC_CTYPE, nullptr);
    previous_ = current != nullptr ? current : "C";
    ::setlocale(LC_CTYPE, "");
}

CursesTerminal::CharacterLocale::~CharacterLocale() { ::setlocale(LC_CTYPE, previous_.c_str()); }

CursesTerminal::CursesTerminal(int input, int output)
    : unicode_(std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0),
      input_(OpenStream(FileDescriptor(::fcntl(input, F_DUPFD_CLOEXEC, 0)), "r", "cannot use the terminal")),
      output_(OpenStream(OpenDrawingTerminal(input, output), "w", "no terminal to draw on")) {
    // Before curses starts: it then leaves the ending signals to us instead
    // of putting handlers of its own in their place.
    AddInterruptAction(&RestoreTerminal);
    // The terminal drawn on, which standard output need not be.
    terminalFd = ::fileno(output_.get());
    if (::tcgetattr(terminalFd, &savedModes) != 0) throw std::runtime_error("not a terminal");
    screen_ = ::newterm(nullptr, output_.get(), input_.get());
    if (screen_ == nullptr) throw std::runtime_error("curses cannot drive this terminal");
    // A terminal that cannot place the cursor (TERM=dumb) would show one
    // line of jumble.
    if (!Capability("cup")) {
        ::endwin();
        ::delscreen(screen_);
        throw std::runtime_error("the terminal cannot place the cursor");
    }
    PrepareLeaveSequence();
    active = 1;
    // Ctrl-C and Ctrl-D arrive as keys, which cancel the browser. Keys'
    // escape sequences arrive as they are: the browser knows them in every
    // form, and curses would know only those of its terminal description.
    ::raw();
    ::noecho();
    ::nonl();
    ::keypad(stdscr, FALSE);
}

CursesTerminal::~CursesTerminal() {
    ::endwin();
    active = 0;
    ::delscreen(screen_);
}

}  // namespace posix
