#include "framework/CString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring W(const CString& s) { return std::wstring(static_cast<const wchar_t*>(s), s.GetLength()); }

TEST(CString, CopiesAreIndependentValues) {
    CString original(L"media");
    CString copy(original);
    copy += L"\\VOD";
    original = L"other";
    EXPECT_EQ(W(copy), L"media\\VOD");
    EXPECT_EQ(W(original), L"other");
    EXPECT_TRUE(CString(nullptr).IsEmpty());
}

TEST(CString, LengthCountsUtf16CodeUnits) {
    // One character beyond the BMP is two code units on every build.
    const CString smile(L"a\xD83D\xDE00z");
    EXPECT_EQ(smile.GetLength(), 4);
    EXPECT_EQ(W(smile.Right(3)), L"\xD83D\xDE00z");
    EXPECT_EQ(W(CString(L"abc", 2)), L"ab");
}

TEST(CString, Concatenation) {
    const CString root(L"E:\\out");
    EXPECT_EQ(W(root + L"\\" + CString(L"Les_01")), L"E:\\out\\Les_01");
    EXPECT_EQ(W(L"\\" + root), L"\\E:\\out");
    EXPECT_EQ(W(root), L"E:\\out");
}

struct TrimCase {
    const wchar_t* text;
    const wchar_t* set;  // null: white space
    const wchar_t* expected;
};

TEST(CString, TrimRight) {
    const TrimCase cases[] = {
        {L"D:\\clips\\  ", nullptr, L"D:\\clips\\"},
        {L"  lead kept \t\r\n", nullptr, L"  lead kept"},
        {L"   ", nullptr, L""},
        {L"D:\\media\\VOD\\/\\//", L"\\/", L"D:\\media\\VOD"},
        {L"VOD", L"\\/", L"VOD"},
        {L"\\\\", L"\\/", L""},
        {L"a\\b ", L"\\/", L"a\\b "},
    };
    for (const TrimCase& c : cases) {
        CString s(c.text);
        if (c.set == nullptr) {
            s.TrimRight();
        } else {
            s.TrimRight(c.set);
        }
        EXPECT_EQ(W(s), c.expected) << "trimming " << c.text;
    }
}

TEST(CString, FindAndReverseFind) {
    const CString path(L"\\\\srv\\share\\dir");
    EXPECT_EQ(path.Find(L"\\", 1), 1);
    EXPECT_EQ(path.Find(L"\\", 2), 5);
    EXPECT_EQ(path.Find(L"\\", 12), -1);
    EXPECT_EQ(path.Find(L"\\", 99), -1);
    EXPECT_EQ(path.Find(L"share"), 6);
    EXPECT_EQ(path.ReverseFind(L'\\'), 11);
    EXPECT_EQ(CString(L"VOD").ReverseFind(L'\\'), -1);
}

TEST(CString, CutsClampToTheText) {
    const CString s(L"Lesson01");
    EXPECT_EQ(W(s.Left(3)), L"Les");
    EXPECT_EQ(W(s.Right(2)), L"01");
    EXPECT_EQ(W(s.Mid(6)), L"01");
    EXPECT_EQ(W(s.Left(99)), L"Lesson01");
    EXPECT_EQ(W(s.Right(99)), L"Lesson01");
    EXPECT_EQ(W(s.Mid(99)), L"");
    EXPECT_EQ(W(s.Left(-1)), L"");
    EXPECT_EQ(W(s.Mid(-1)), L"Lesson01");
}

TEST(CString, Comparisons) {
    EXPECT_EQ(CString(L"VOD").Compare(L"VOD"), 0);
    EXPECT_NE(CString(L"VOD").Compare(L"vod"), 0);
    EXPECT_LT(CString(L"VO").Compare(L"VOD"), 0);
    EXPECT_GT(CString(L"VOD").Compare(L"VO"), 0);
    EXPECT_EQ(CString(L"zelVORA").CompareNoCase(L"Zelvora"), 0);
    EXPECT_NE(CString(L"VOD2").CompareNoCase(L"VOD"), 0);
    EXPECT_NE(CString(L"VO").CompareNoCase(L"VOD"), 0);
    // Only ASCII letters fold, so the answer cannot depend on the locale.
    EXPECT_NE(CString(L"\x00C9").CompareNoCase(L"\x00E9"), 0);
    // Code units compare as unsigned 16-bit values: a surrogate sorts above
    // every other BMP unit below U+E000.
    EXPECT_GT(CString(L"\xD83D\xDE00").Compare(L"\x00FF"), 0);
}

TEST(CString, BufferTakesTheZeroTerminatedText) {
    CString s;
    wchar_t* buffer = s.GetBuffer(260);
    const std::wstring path = L"\\srv\\media\\VOD";
    path.copy(buffer, path.size());
    buffer[path.size()] = L'\0';
    buffer[259] = L'x';  // the whole store is writable
    s.ReleaseBuffer();
    EXPECT_EQ(W(s), path);

    CString keeps(L"abc");
    keeps.GetBuffer(1);
    keeps.ReleaseBuffer();
    EXPECT_EQ(W(keeps), L"abc");
}

TEST(CString, AllocationFailureRaisesTheFrameworkException) {
    framework_detail::StringAllocator<wchar_t> allocator;
    EXPECT_THROW(allocator.allocate(static_cast<std::size_t>(-1) / sizeof(wchar_t) + 1), CMemoryException);
    // Far more than any machine has: the allocation itself fails.
    EXPECT_THROW(allocator.allocate(static_cast<std::size_t>(1) << 60), CMemoryException);
}

}  // namespace
