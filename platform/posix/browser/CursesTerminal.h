// The terminal while the full-screen browser owns it. Construction puts
// curses on the terminal that the input is (the alternate screen, raw keys,
// no echo), drawn through the output where that is the same terminal (see
// DrawingTerminal.h); destruction gives the terminal back as it was,
// however the browser ends.
// A signal that ends the process meanwhile gives it back too, through an
// interrupt action that uses only what was prepared beforehand.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct screen;

namespace posix {

class CursesTerminal {
public:
    // Throws std::runtime_error when curses cannot work this terminal, or
    // there is none to draw on.
    CursesTerminal(int input, int output);
    ~CursesTerminal();
    CursesTerminal(const CursesTerminal&) = delete;
    CursesTerminal& operator=(const CursesTerminal&) = delete;

    // The terminal takes UTF-8 (the locale says so); otherwise only ASCII
    // is shown.
    bool Unicode() const { return unicode_; }

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using File = std::unique_ptr<std::FILE, FileCloser>;

    // The locale's character type, which curses reads keys and writes text
    // by; the rest of the program keeps the "C" behaviour it was written for.
    class CharacterLocale {
    public:
        CharacterLocale();
        ~CharacterLocale();
        CharacterLocale(const CharacterLocale&) = delete;
        CharacterLocale& operator=(const CharacterLocale&) = delete;

    private:
        std::string previous_;
    };

    CharacterLocale locale_;
    bool unicode_;
    File input_;
    File output_;
    screen* screen_ = nullptr;
};

}  // namespace posix
