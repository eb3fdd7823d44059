#include "platform/ShownText.h"

#include <cstdint>


namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// More than a UTF-16 code unit holds, where a wchar_t is wider (Linux).
bool IsBeyondUnit(wchar_t unit) { return (static_cast<std::uint32_t>(unit) >> 16) != 0; }

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The line and paragraph separators end a line on some terminals, as a
// control character would.
bool IsControl(wchar_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029;
}

// The marks, embeddings, overrides and isolates of the bidirectional
// algorithm: shown raw, U+202E makes "rtl\u202Egpj.exe" read "rtlexe.jpg".
bool IsBidiControl(std::uint32_t code) {
    return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) || code == 0x200E ||
           code == 0x200F || code == 0x061C;
}

// Format characters that draw nothing: shown raw, "Lesson\u200B01" reads
// as "Lesson01". The joiners U+200C and U+200D are left alone: scripts and
// emoji need them to be written at all.
bool IsInvisibleFormat(std::uint32_t code) {
    return code == 0x00AD || code == 0x180E || code == 0x200B || (code >= 0x2060 && code <= 0x2064) ||
           code == 0xFEFF || (code >= 0xFFF9 && code <= 0xFFFB) || code == 0xE0001 ||
           (code >= 0xE0020 && code <= 0xE007F) || (code >= 0x1D173 && code <= 0x1D17A);
}

// "<U+200B>", "<U+E0001>": at least four hex digits.
std::wstring Escaped(std::uint32_t code) {
    static const char kHex[] = "0123456789ABCDEF";
    std::wstring digits;
    for (std::uint32_t rest = code; rest != 0 || digits.size() < 4; rest >>= 4) {
        digits.insert(digits.begin(), static_cast<wchar_t>(kHex[rest & 0xF]));
    }
    return L"<U+" + digits + L">";
}

}  // namespace

std::wstring CleanedText(const std::wstring& text, bool multiline) {
    std::wstring shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const std::uint32_t code = 0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) +
                                       (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            shown += IsInvisibleFormat(code) ? Escaped(code) : text.substr(i, 2);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || IsBeyondUnit(unit)) {
            shown.push_back(kReplacement);
        } else if (multiline && unit == L'\n') {
            shown.push_back(unit);
        } else if (multiline && unit == L'\r') {
            continue;
        } else if (IsBidiControl(unit) || IsInvisibleFormat(unit)) {
            shown += Escaped(unit);
        } else {
            shown.push_back(IsControl(unit) ? L'?' : unit);
        }
    }
    return shown;
}
