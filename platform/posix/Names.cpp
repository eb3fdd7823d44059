// Name conversion at the operating-system boundary. Hand-written on purpose:
// the C library's multibyte conversions depend on the process locale, stop at
// the first invalid byte and produce 32-bit characters, none of which fits a
// lossless UTF-16 view of arbitrary byte names.
#include "platform/posix/Names.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace posix {
namespace {

constexpr std::uint32_t kHighFirst = 0xD800;
constexpr std::uint32_t kHighLast = 0xDBFF;
constexpr std::uint32_t kLowFirst = 0xDC00;
constexpr std::uint32_t kLowLast = 0xDFFF;
// A byte 0x80..0xFF that is not part of valid UTF-8 travels as kLowFirst + byte.
constexpr std::uint32_t kEscapeFirst = 0xDC80;
constexpr std::uint32_t kEscapeLast = 0xDCFF;
// A backslash byte inside a name travels as U+DC5C, so that it is never read
// as the separator of the Windows form.
constexpr std::uint32_t kEscapedBackslash = kLowFirst + '\\';

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at `p`, or 0 when the first byte does
// not start one. The ranges for the second byte rule out overlong forms,
// encoded surrogates and code points above U+10FFFF.
std::size_t SequenceLength(const unsigned char* p, std::size_t available) {
    const unsigned char lead = p[0];
    std::size_t length = 0;
    unsigned char secondMin = 0x80;
    unsigned char secondMax = 0xBF;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) secondMin = 0xA0;
        if (lead == 0xED) secondMax = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) secondMin = 0x90;
        if (lead == 0xF4) secondMax = 0x8F;
    } else {
        return 0;
    }
    if (available < length) return 0;
    if (p[1] < secondMin || p[1] > secondMax) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuation(p[i])) return 0;
    }
    return length;
}

std::uint32_t DecodeSequence(const unsigned char* p, std::size_t length) {
    static const unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    std::uint32_t code = p[0] & kLeadMask[length];
    for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (p[i] & 0x3F);
    return code;
}

void AppendCodePoint(std::wstring& out, std::uint32_t code) {
    if (code < 0x10000) {
        out.push_back(static_cast<wchar_t>(code));
        return;
    }
    code -= 0x10000;
    out.push_back(static_cast<wchar_t>(kHighFirst + (code >> 10)));
    out.push_back(static_cast<wchar_t>(kLowFirst + (code & 0x3FF)));
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// wchar_t is signed and 32 bits wide here; anything above 0xFFFF is not a
// UTF-16 code unit and is refused like a stray surrogate.
std::uint32_t UnitValue(wchar_t unit) { return static_cast<std::uint32_t>(unit); }

}  // namespace

std::optional<Utf8Character> Utf8CharacterAt(const char* bytes, std::size_t available) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const std::size_t length = available > 0 ? SequenceLength(p, available) : 0;
    if (length == 0) return std::nullopt;
    return Utf8Character{DecodeSequence(p, length), length};
}

std::wstring WidenName(const char* bytes, std::size_t length) {
    std::wstring out;
    out.reserve(length);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t i = 0;
    while (i < length) {
        if (p[i] == '\\') {
            out.push_back(static_cast<wchar_t>(kEscapedBackslash));
            ++i;
            continue;
        }
        const std::size_t n = SequenceLength(p + i, length - i);
        if (n == 0) {
            out.push_back(static_cast<wchar_t>(kLowFirst + p[i]));
            ++i;
            continue;
        }
        AppendCodePoint(out, DecodeSequence(p + i, n));
        i += n;
    }
    return out;
}

std::optional<std::string> NarrowName(const wchar_t* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint32_t unit = UnitValue(text[i]);
        if (unit == 0 || unit > 0xFFFF) return std::nullopt;
        if (unit >= kHighFirst && unit <= kHighLast) {
            const std::uint32_t next = i + 1 < length ? UnitValue(text[i + 1]) : 0;
            if (next < kLowFirst || next > kLowLast) return std::nullopt;
            AppendUtf8(out, 0x10000 + ((unit - kHighFirst) << 10) + (next - kLowFirst));
            ++i;
        } else if (unit >= kLowFirst && unit <= kLowLast) {
            const bool escape = (unit >= kEscapeFirst && unit <= kEscapeLast) || unit == kEscapedBackslash;
            if (!escape) return std::nullopt;
            out.push_back(static_cast<char>(unit - kLowFirst));
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::optional<std::string> NativePath(const wchar_t* path) {
    if (path == nullptr) return std::nullopt;
    // Separators are turned before the conversion: afterwards a backslash
    // byte may also stand for one inside a name.
    std::wstring slashed(path);
    for (wchar_t& unit : slashed) {
        if (unit == L'\\') unit = L'/';
    }
    return NarrowName(slashed.data(), slashed.size());
}

std::string FolderOfPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

std::wstring WidenText(const std::string& text) {
    std::wstring wide = WidenName(text.data(), text.size());
    for (wchar_t& unit : wide) {
        if (static_cast<std::uint32_t>(unit) == kEscapedBackslash) unit = L'\\';
    }
    return wide;
}

wchar_t UpcaseUnit(wchar_t unit) {
    const std::uint32_t value = UnitValue(unit);
    if (value > 0xFFFF || (value >= kHighFirst && value <= kLowLast)) return unit;
    // Created once and kept for the life of the process: listings call this
    // for every code unit they compare.
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (unicode == static_cast<locale_t>(0)) {
        return (unit >= L'a' && unit <= L'z') ? static_cast<wchar_t>(unit - L'a' + L'A') : unit;
    }
    const std::uint32_t upper = UnitValue(static_cast<wchar_t>(towupper_l(static_cast<wint_t>(unit), unicode)));
    // A mapping that leaves the BMP, or lands on a surrogate, has no
    // single-unit form.
    if (upper > 0xFFFF || (upper >= kHighFirst && upper <= kLowLast)) return unit;
    return static_cast<wchar_t>(upper);
}

}  // namespace posix
