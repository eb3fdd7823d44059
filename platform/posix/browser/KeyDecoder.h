// What the terminal sends, turned into keys. A key such as Right arrives as
// an escape sequence, in the form the terminal chooses: `ESC O C` in keypad
// mode, `ESC [ C` from terminals that ignore it and for every key typed
// before the browser set the mode; Home may be `ESC [ H`, `ESC O H`,
// `ESC [ 1 ~` or `ESC [ 7 ~`. Both forms and the usual variants are known.
//
// Esc itself is the first character of every sequence, so a lone ESC is a
// key only once nothing has followed it for kEscapeWait. A sequence that no
// key here has (a function key, a modifier's form, Alt and a letter) is
// read to its end and dropped, never taken for Esc and the text after it.
// Plain logic with the time passed in: the view feeds it what it reads.
#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "platform/posix/browser/Keys.h"

namespace posix {

class KeyDecoder {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kEscapeWait = std::chrono::milliseconds(100);

    // One character (a code point) as read from the terminal at `now`.
    void Feed(char32_t character, Clock::time_point now);
    // Nothing came by Deadline(): a lone ESC is Esc; a sequence cut short
    // is dropped.
    void Timeout();
    // While a sequence is unfinished: when it is given up on.
    std::optional<Clock::time_point> Deadline() const;
    // The next key decoded, in the order typed.
    std::optional<KeyPress> Take();

private:
    void Plain(char32_t character);
    void Continue(char32_t character);
    void Finish();
    void Abandon();

    std::deque<KeyPress> keys_;
    // The sequence after its ESC while one is being read.
    std::optional<std::string> sequence_;
    Clock::time_point lastRead_;
};

}  // namespace posix
