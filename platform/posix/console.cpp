// Terminal input and output on file descriptors, in bytes.
#include "platform/posix/console.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/posix/names.h"

namespace posix {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;
// How a name's own backslash is carried (see names.h).
constexpr wchar_t kNameBackslash = 0xDC5C;

// The line and paragraph separators end a line on some terminals, as a
// control character would.
bool IsControl(wchar_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029;
}

// The marks, embeddings, overrides and isolates of the bidirectional
// algorithm: shown raw, U+202E makes "rtl\u202Egpj.exe" read "rtlexe.jpg".
bool IsBidiControl(wchar_t unit) {
    return (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069) || unit == 0x200E ||
           unit == 0x200F || unit == 0x061C;
}

std::wstring Escaped(wchar_t unit) {
    static const char kHex[] = "0123456789ABCDEF";
    std::wstring text = L"<U+";
    for (int shift = 12; shift >= 0; shift -= 4) text.push_back(static_cast<wchar_t>(kHex[(unit >> shift) & 0xF]));
    return text + L">";
}

}  // namespace

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

void WriteText(int fd, const std::string& text) {
    // Keeps the order with anything the program printed through stdio.
    if (fd == STDOUT_FILENO) std::fflush(stdout);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        done += static_cast<std::size_t>(written);
    }
}

std::optional<InputLine> ReadLine(int fd, std::size_t limit) {
    InputLine line{std::string(), false, false};
    bool any = false;
    for (;;) {
        char byte = 0;
        const ssize_t got = ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        any = true;
        if (byte == '\n') {
            line.ended = true;
            break;
        }
        if (line.tooLong) continue;
        if (line.text.size() == limit) {
            line.tooLong = true;
            line.text = std::string();
            continue;
        }
        line.text.push_back(byte);
    }
    if (!any) return std::nullopt;
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    return line;
}

std::string DisplayText(const std::wstring& text, bool multiline) {
    std::wstring shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (unit == kNameBackslash) {
            shown.push_back(L'\\');
        } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            shown += text.substr(i, 2);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit) ||
                   static_cast<std::uint32_t>(unit) > 0xFFFF) {
            shown.push_back(kReplacement);
        } else if (multiline && unit == L'\n') {
            shown.push_back(unit);
        } else if (multiline && unit == L'\r') {
            continue;
        } else if (IsBidiControl(unit)) {
            shown += Escaped(unit);
        } else {
            shown.push_back(IsControl(unit) ? L'?' : unit);
        }
    }
    // Every code unit left is a character or a whole pair, so this succeeds.
    return NarrowName(shown.data(), shown.size()).value_or(std::string());
}

std::string DisplayPath(const std::wstring& path) {
    std::wstring slashed = path;
    for (wchar_t& unit : slashed) {
        if (unit == L'\\') unit = L'/';
    }
    return DisplayText(slashed);
}

}  // namespace posix
