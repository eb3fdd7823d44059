#include "platform/posix/browser/KeyDecoder.h"

#include <algorithm>
#include <string_view>

namespace posix {
namespace {

constexpr char32_t kEscape = 0x1B;
// No key's sequence is longer; what a longer one holds beyond is not kept.
constexpr std::size_t kLongestSequence = 32;

// The sequences after ESC: CSI (`[`) as terminals send them in normal
// mode, SS3 (`O`) as in keypad mode, and the variants of vt220, rxvt and
// the Linux console.
const struct {
    const char* sequence;
    Key key;
} kSequences[] = {
    {"[A", Key::Up},       {"OA", Key::Up},      {"[B", Key::Down},     {"OB", Key::Down},
    {"[C", Key::Right},    {"OC", Key::Right},   {"[D", Key::Left},     {"OD", Key::Left},
    {"[H", Key::Home},     {"OH", Key::Home},    {"[1~", Key::Home},    {"[7~", Key::Home},
    {"[F", Key::End},      {"OF", Key::End},     {"[4~", Key::End},     {"[8~", Key::End},
    {"[5~", Key::PageUp},  {"[6~", Key::PageDown}, {"[3~", Key::Delete}, {"OM", Key::Enter},
    {"OP", Key::Help},     {"[11~", Key::Help},  {"[[A", Key::Help},
};

// The control keys of a shell's line editing, which also work while
// browsing where they mean something there.
std::optional<Key> ControlKey(char32_t character) {
    switch (character) {
    case 1: return Key::Home;              // Ctrl-A
    case 2: return Key::Left;              // Ctrl-B
    case 3: return Key::Interrupt;         // Ctrl-C
    case 4: return Key::EndOfInput;        // Ctrl-D
    case 5: return Key::End;               // Ctrl-E
    case 6: return Key::Right;             // Ctrl-F
    case 8: case 0x7F: return Key::Backspace;
    case 9: return Key::Tab;
    case 10: case 13: return Key::Enter;
    case 11: return Key::DeleteToEnd;      // Ctrl-K
    case 21: return Key::DeleteToStart;    // Ctrl-U
    case 23: return Key::DeleteNameBack;   // Ctrl-W
    case 26: return Key::Suspend;          // Ctrl-Z
    default: return std::nullopt;
    }
}

bool IsFinal(char32_t character) { return character >= 0x40 && character <= 0x7E; }
bool IsParameter(char32_t character) { return character >= 0x30 && character <= 0x3F; }
bool IsIntermediate(char32_t character) { return character >= 0x20 && character <= 0x2F; }

}  // namespace

void KeyDecoder::Feed(char32_t character, Clock::time_point now) {
    if (sequence_ && now - lastRead_ > kEscapeWait) Timeout();
    lastRead_ = now;
    if (sequence_) {
        Continue(character);
    } else if (character == kEscape) {
        sequence_.emplace();
    } else {
        Plain(character);
    }
}

void KeyDecoder::Timeout() {
    if (sequence_) Abandon();
}

std::optional<KeyDecoder::Clock::time_point> KeyDecoder::Deadline() const {
    if (!sequence_) return std::nullopt;
    return lastRead_ + kEscapeWait;
}

std::optional<KeyPress> KeyDecoder::Take() {
    if (keys_.empty()) return std::nullopt;
    const KeyPress key = keys_.front();
    keys_.pop_front();
    return key;
}

void KeyDecoder::Plain(char32_t character) {
    if (const std::optional<Key> key = ControlKey(character)) {
        keys_.push_back({*key});
    } else if (character < 0x20 || (character >= 0x7F && character <= 0x9F) ||
               (character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF) {
        return;
    } else if (character <= 0xFFFF) {
        keys_.push_back({Key::Text, static_cast<wchar_t>(character)});
    } else {
        // Beyond the BMP: the surrogate pair, one unit per key.
        const char32_t offset = character - 0x10000;
        keys_.push_back({Key::Text, static_cast<wchar_t>(0xD800 + (offset >> 10))});
        keys_.push_back({Key::Text, static_cast<wchar_t>(0xDC00 + (offset & 0x3FF))});
    }
}

// Escapes first (ESC ESC is Alt with a key's sequence, or Esc pressed
// twice), then `[` or `O` and the parameters up to a final character; any
// other character right after ESC is Alt with that key. Only the keys that
// kSequences names come out of a sequence.
void KeyDecoder::Continue(char32_t character) {
    std::string& sequence = *sequence_;
    const std::size_t escapes = std::min(sequence.find_first_not_of('\x1b'), sequence.size());
    const std::string_view body(sequence.data() + escapes, sequence.size() - escapes);
    bool fits = false;
    bool ends = false;
    if (body.empty()) {
        // Alt and a key, but a control character is a key of its own.
        fits = character == kEscape || character >= 0x20;
        ends = character != kEscape && character != '[' && character != 'O';
    } else if (body == "[" && character == '[') {
        fits = true;  // the Linux console's function keys: ESC [ [ A
    } else if (body == "[[") {
        fits = ends = IsFinal(character);
    } else if (body[0] == '[') {
        fits = IsParameter(character) || IsIntermediate(character) || IsFinal(character);
        ends = IsFinal(character);
    } else {
        fits = IsParameter(character) || IsFinal(character);
        ends = IsFinal(character);
    }
    if (!fits) {
        // A control character or text cuts the sequence short; it is a key
        // of its own.
        Abandon();
        Feed(character, lastRead_);
        return;
    }
    // Read to its end all the same, so that none of it is taken for text.
    if (sequence.size() < kLongestSequence) sequence.push_back(static_cast<char>(character < 0x80 ? character : '?'));
    if (ends) Finish();
}

void KeyDecoder::Finish() {
    for (const auto& known : kSequences) {
        if (*sequence_ == known.sequence) keys_.push_back({known.key});
    }
    sequence_.reset();
}

// What was read of a sequence: ESC alone is Esc; anything more is dropped.
void KeyDecoder::Abandon() {
    if (sequence_->find_first_not_of('\x1b') == std::string::npos) keys_.push_back({Key::Escape});
    sequence_.reset();
}

}  // namespace posix
