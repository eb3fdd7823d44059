// The keys of the full-screen browser, whatever the terminal sends for them.
#pragma once

namespace posix {

enum class Key {
    Up, Down, PageUp, PageDown, Home, End, Left, Right,
    Enter, Tab, Backspace, Delete,
    Escape, Interrupt, EndOfInput,                 // Esc, Ctrl-C, Ctrl-D
    DeleteToStart, DeleteToEnd, DeleteNameBack,    // Ctrl-U, Ctrl-K, Ctrl-W
    Help,                                          // F1
    Suspend,                                       // Ctrl-Z, which the view answers
    Text,                                          // a printable character
};

struct KeyPress {
    Key key;
    wchar_t text = 0;  // the UTF-16 code unit of a Key::Text

    bool operator==(const KeyPress& other) const { return key == other.key && text == other.text; }
};

}  // namespace posix
