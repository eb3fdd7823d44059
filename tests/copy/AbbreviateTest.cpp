#include <gtest/gtest.h>

#include <string>

#include "copy/CaptionCopy.h"

namespace {

struct Case {
    const wchar_t* name;
    const wchar_t* shortName;
};

void ExpectShortNames(const Case* begin, const Case* end) {
    for (const Case* c = begin; c != end; ++c) {
        const CString got = AbbreviateFolderName(c->name);
        EXPECT_EQ(std::wstring(got, got.GetLength()), c->shortName) << "for " << c->name;
    }
}

TEST(AbbreviateFolderName, DoublesShortNamesAndCutsLongOnes) {
    const Case cases[] = {
        {L"A", L"A_A"},
        {L"Lab", L"Lab_Lab"},
        {L"Unit", L"Unit_Unit"},        // 4: still doubled
        {L"Intro", L"Int_ro"},          // 5: cut, yet every character kept
        {L"Lesson01", L"Les_01"},
        {L"Lessons01", L"Les_01"},      // shares the short name above
        {L"Chemistry", L"Che_ry"},
        {L"", L"_"},
        {L"My Course.v2", L"My _v2"},   // spaces and dots pass through
        {L"\x00DC" L"berblick", L"\x00DC" L"be_ck"},
        {L"Les_01", L"Les_01"},         // a short name is its own short name
    };
    ExpectShortNames(std::begin(cases), std::end(cases));
}

TEST(AbbreviateFolderName, NeverSplitsASurrogatePair) {
    // U+1F600 is the pair D83D DE00: two code units, one character.
    const Case cases[] = {
        {L"ab\xD83D\xDE00" L"cdef", L"ab\xD83D\xDE00_ef"},          // head would end in a high surrogate
        {L"abcde\xD83D\xDE00" L"g", L"abc_\xD83D\xDE00g"},          // tail would start with a low surrogate
        {L"ab\xD83D\xDE00" L"c", L"ab\xD83D\xDE00_\xD83D\xDE00" L"c"},  // both, at length 5
        {L"abcdef\xD83D\xDE00", L"abc_\xD83D\xDE00"},               // pair already whole in the tail
        {L"a\xD83D\xDE00" L"bc", L"a\xD83D\xDE00_bc"},              // pair already whole in the head
        {L"\xD83D\xDE00\xD83D\xDE00", L"\xD83D\xDE00\xD83D\xDE00_\xD83D\xDE00\xD83D\xDE00"},
        // A lone surrogate (how a Linux name carries a byte that is not
        // UTF-8) is one unit like any other; only a real pair widens a cut.
        {L"Caf\xDCE9" L"1", L"Caf_\xDCE9" L"1"},
        {L"ab\xDCE9" L"cdef", L"ab\xDCE9_ef"},
        {L"abc\xD83D\xDE00\xDCFF" L"z", L"abc_\xDCFF" L"z"},  // the pair stays out of the tail whole
        {L"abcd\xD83D" L"e", L"abc_\xD83D" L"e"},               // a high surrogate with no low one
    };
    ExpectShortNames(std::begin(cases), std::end(cases));
}

}  // namespace
