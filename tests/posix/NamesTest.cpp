// Name conversion of the Linux stand-in: byte names and UTF-16 text.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/Names.h"

namespace {

std::wstring Widen(const std::string& bytes) { return posix::WidenName(bytes.data(), bytes.size()); }

std::optional<std::string> Narrow(const std::wstring& text) { return posix::NarrowName(text.data(), text.size()); }

struct NameCase {
    std::string bytes;
    std::wstring text;
};

// Valid UTF-8 becomes UTF-16 (beyond the BMP as a surrogate pair); every
// byte outside valid UTF-8 becomes U+DC00 + byte. Both ways are checked.
const NameCase kNameCases[] = {
    {"intro.vtt", L"intro.vtt"},
    {"\xC2\x80\xC3\xA9\xDF\xBF", L"\x0080\x00E9\x07FF"},
    {"\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBD", L"\x0800\x20AC\xFFFD"},
    {"\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", L"\xD800\xDC00\xD83D\xDE00\xDBFF\xDFFF"},
    {"caf\xE9.vtt", L"caf\xDCE9.vtt"},                         // Latin-1 byte
    {"\xC0\x80\xC1\xBF", L"\xDCC0\xDC80\xDCC1\xDCBF"},        // overlong two-byte forms
    {"\xE0\x9F\xBF", L"\xDCE0\xDC9F\xDCBF"},                  // overlong three-byte form
    {"\xF0\x8F\xBF\xBF", L"\xDCF0\xDC8F\xDCBF\xDCBF"},        // overlong four-byte form
    {"\xED\xA0\x80\xED\xBF\xBF", L"\xDCED\xDCA0\xDC80\xDCED\xDCBF\xDCBF"},  // encoded surrogates
    {"\xF4\x90\x80\x80", L"\xDCF4\xDC90\xDC80\xDC80"},        // above U+10FFFF
    {"\xF8\x88\x80\x80\x80", L"\xDCF8\xDC88\xDC80\xDC80\xDC80"},
    {"a\xC3", L"a\xDCC3"},                                    // cut at the end
    {"\xE2\x82(\xF0\x9F\x98\xC3\xA9", L"\xDCE2\xDC82(\xDCF0\xDC9F\xDC98\x00E9"},  // cut, then valid again
    {"\xFF\xFE", L"\xDCFF\xDCFE"},
};

TEST(NamesTest, ByteNamesAndTextConvertBothWays) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(Widen(c.bytes), c.text);
        EXPECT_EQ(Narrow(c.text), std::optional<std::string>(c.bytes));
    }
}

TEST(NamesTest, WidenReadsNoFurtherThanTheLengthGiven) {
    EXPECT_EQ(posix::WidenName("\xC3\xA9", 1), L"\xDCC3");
    EXPECT_EQ(posix::WidenName("\xF0\x9F\x98\x80", 3), L"\xDCF0\xDC9F\xDC98");
}

TEST(NamesTest, EveryHighByteAloneRoundTrips) {
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string bytes = std::string("x") + static_cast<char>(byte) + "y";
        const std::wstring text = Widen(bytes);
        ASSERT_EQ(text, std::wstring(L"x") + static_cast<wchar_t>(0xDC00 + byte) + L"y") << byte;
        EXPECT_EQ(Narrow(text), std::optional<std::string>(bytes)) << byte;
    }
}

TEST(NamesTest, TextThatNoByteNameGivesIsRefused) {
    const std::wstring refused[] = {
        L"a\xD800",             // lone high surrogate at the end
        L"\xD83Dx",             // high surrogate without its low half
        L"\xDE00\xD83D",        // pair in the wrong order
        L"\xDC7F", L"\xDD00", L"\xDFFF",  // low surrogates outside U+DC80..U+DCFF
        std::wstring(L"a\0b", 3),         // U+0000
        std::wstring(1, static_cast<wchar_t>(0x1F600)),  // not a UTF-16 unit at all
    };
    for (const std::wstring& text : refused) {
        EXPECT_EQ(Narrow(text), std::nullopt) << static_cast<unsigned>(text.back());
    }
    EXPECT_EQ(posix::NativePath(L"\\srv\\\xDC10"), std::nullopt);
    EXPECT_EQ(posix::NativePath(nullptr), std::nullopt);
}

TEST(NamesTest, NativePathTurnsBackslashesIntoSlashes) {
    EXPECT_EQ(posix::NativePath(L"\\srv\\media\\VOD"), std::optional<std::string>("/srv/media/VOD"));
    EXPECT_EQ(posix::NativePath(L"a\\\\b/c\\"), std::optional<std::string>("a//b/c/"));
    EXPECT_EQ(posix::NativePath(L"\\\x20AC\\\xDCE9"), std::optional<std::string>("/\xE2\x82\xAC/\xE9"));
}

TEST(NamesTest, TextThatIsNoNameKeepsItsBackslashes) {
    EXPECT_EQ(L"\\srv\\media\\VOD", posix::WidenText("\\srv\\media\\VOD"));
    EXPECT_EQ(L"caf\u00e9\\\xDCFF", posix::WidenText("caf\xc3\xa9\\\xff"));
    // A backslash never falls inside a multibyte character.
    EXPECT_EQ(L"\\\u00e9\\", posix::WidenText("\\\xc3\xa9\\"));
}

TEST(NamesTest, UpcaseUnitMapsSingleUnits) {
    const std::pair<wchar_t, wchar_t> cases[] = {
        {L'a', L'A'}, {L'z', L'Z'}, {L'A', L'A'}, {L'_', L'_'}, {L'1', L'1'},
        {L'\x00E9', L'\x00C9'}, {L'\x00FF', L'\x0178'}, {L'\x044F', L'\x042F'},
        {L'\x03C2', L'\x03A3'}, {L'\xFF5A', L'\xFF3A'},
        {L'\x00DF', L'\x00DF'},                      // no single-unit upper case
        {L'\xD83D', L'\xD83D'}, {L'\xDCE9', L'\xDCE9'},  // surrogates stay
    };
    for (const auto& [unit, upper] : cases) {
        EXPECT_EQ(static_cast<unsigned>(posix::UpcaseUnit(unit)), static_cast<unsigned>(upper))
            << static_cast<unsigned>(unit);
    }
}

}  // namespace
