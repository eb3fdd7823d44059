// A pseudo-terminal for the tests of what the stand-in draws on a terminal:
// the terminal side, which the code under test writes to, and what reached
// the other side, where a terminal emulator would read it.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

class PseudoTerminal {
public:
    PseudoTerminal(unsigned short columns, unsigned short rows) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(0, ::grantpt(master_));
        EXPECT_EQ(0, ::unlockpt(master_));
        name_ = ::ptsname(master_);
        terminal_ = Open(O_RDWR);
        // Bytes cross as they are: no "\n" becomes "\r\n".
        termios modes{};
        EXPECT_EQ(0, ::tcgetattr(terminal_, &modes));
        ::cfmakeraw(&modes);
        EXPECT_EQ(0, ::tcsetattr(terminal_, TCSANOW, &modes));
        Resize(columns, rows);
    }
    ~PseudoTerminal() {
        ::close(terminal_);
        ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The terminal side, open for reading and writing.
    int Terminal() const { return terminal_; }
    // Another descriptor on the terminal side, opened by its name; the
    // caller closes it.
    int Open(int flags) const { return ::open(name_.c_str(), flags | O_NOCTTY | O_CLOEXEC); }

    void Resize(unsigned short columns, unsigned short rows) {
        const winsize size{rows, columns, 0, 0};
        EXPECT_EQ(0, ::ioctl(master_, TIOCSWINSZ, &size));
    }

    // Everything written to the terminal side since the last call: a mark
    // written after it comes through last, so nothing is still on its way.
    std::string Written() {
        static const char kMark = '\x01';
        EXPECT_EQ(1, ::write(terminal_, &kMark, 1));
        std::string bytes;
        for (;;) {
            pollfd ready{master_, POLLIN, 0};
            if (::poll(&ready, 1, 5000) != 1) {
                ADD_FAILURE() << "the terminal's output stopped short of the mark";
                return bytes;
            }
            char block[4096];
            const ssize_t got = ::read(master_, block, sizeof block);
            if (got <= 0) return bytes;
            bytes.append(block, static_cast<std::size_t>(got));
            if (bytes.back() == kMark) {
                bytes.pop_back();
                return bytes;
            }
        }
    }

private:
    int master_ = -1;
    int terminal_ = -1;
    std::string name_;
};
