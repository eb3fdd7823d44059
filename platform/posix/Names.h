// The stand-in's only crossing between UTF-16 (one code unit per wchar_t) and
// the system's byte names. It is lossless for every byte name: valid UTF-8
// becomes UTF-16, and each byte that is not part of valid UTF-8 becomes the
// lone surrogate U+DC80..U+DCFF and turns back into the same byte. A
// backslash inside a name becomes the lone surrogate U+DC5C: in the Windows
// form of a path the backslash separates names, so a name that holds one
// must not be read as two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace posix {

// Byte name (or a system path, whose slashes pass unchanged) to UTF-16 code
// units.
std::wstring WidenName(const char* bytes, std::size_t length);

// UTF-16 code units to a byte name; nothing when the text holds a lone
// surrogate that no byte name can give (outside U+DC80..U+DCFF and U+DC5C).
std::optional<std::string> NarrowName(const wchar_t* text, std::size_t length);

// A Windows-form path ("\srv\media\VOD") to a system path ("/srv/media/VOD"):
// each backslash becomes a slash; nothing when NarrowName refuses the text.
std::optional<std::string> NativePath(const wchar_t* path);

// The folder of a system path: up to and including its last slash; "." for
// a bare name.
std::string FolderOfPath(const std::string& path);

// The halves of a surrogate pair; alone, either one is no character.
inline bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Text that is no name (typed, or made to be shown) to UTF-16: a backslash
// in it stays a backslash, which in a typed path separates names.
std::wstring WidenText(const std::string& text);

// The valid UTF-8 character that `bytes` start with; nothing when they start
// none (a byte that is no UTF-8, a sequence cut short).
struct Utf8Character {
    std::uint32_t code;
    std::size_t length;  // in bytes
};
std::optional<Utf8Character> Utf8CharacterAt(const char* bytes, std::size_t available);

// Upper-case form of one UTF-16 code unit (simple Unicode case mapping; code
// units with no single-unit upper case, surrogates among them, map to
// themselves). Used for case-insensitive matching and the listing order.
wchar_t UpcaseUnit(wchar_t unit);

}  // namespace posix
