#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <string>

#include "copy/CaptionCopy.h"
#include "tests/support/TempTree.h"

namespace {

using Tree = std::set<std::wstring>;

// A test's content: the file's relative path, so that every copy tells
// where it came from. Only ASCII paths are used this way.
std::string ContentOf(const std::wstring& relative) { return std::string(relative.begin(), relative.end()); }

void WriteFiles(const TempTree& tree, std::initializer_list<const wchar_t*> files) {
    for (const wchar_t* file : files) tree.WriteFile(file, ContentOf(file));
}

class CaptionCopy : public ::testing::Test {
protected:
    TempTree tree;
    CString Out() const { return tree.Path(L"out"); }
    int Copy(const wchar_t* source) const { return CopyCaptionTree(tree.Path(source), Out()); }
    Tree Result() const { return tree.Exists(L"out") ? tree.List(L"out") : Tree(); }
    void SetUp() override { tree.MakeDir(L"out"); }
};

TEST_F(CaptionCopy, FlatLayoutWorkedExample) {
    WriteFiles(tree, {L"media\\VOD\\Lesson01\\intro.vtt", L"media\\VOD\\Lesson01\\intro.en.vtt",
                      L"media\\VOD\\Lesson01\\slides.pdf", L"media\\VOD\\Lesson01\\extra\\q.vtt",
                      L"media\\VOD\\Lab\\demo.VTT", L"media\\VOD\\notes.vtt"});
    tree.MakeDir(L"media\\VOD\\Empty");

    EXPECT_EQ(Copy(L"media\\VOD"), 0);

    EXPECT_EQ(Result(), Union({PublishedCaption(L"Les_01", L"intro.vtt"),
                               PublishedCaption(L"Les_01", L"intro.en.vtt"),
                               PublishedCaption(L"Lab_Lab", L"demo.VTT"), {L"Emp_ty\\"}}));
    EXPECT_EQ(tree.ReadFile(L"out\\Les_01\\intro\\video\\vtt\\intro.vtt"), ContentOf(L"media\\VOD\\Lesson01\\intro.vtt"));
    EXPECT_EQ(tree.ReadFile(L"out\\Les_01\\intro.en\\video\\vtt\\intro.en.vtt"),
              ContentOf(L"media\\VOD\\Lesson01\\intro.en.vtt"));
    EXPECT_EQ(tree.ReadFile(L"out\\Lab_Lab\\demo\\video\\vtt\\demo.VTT"), ContentOf(L"media\\VOD\\Lab\\demo.VTT"));
}

TEST_F(CaptionCopy, NestedLayoutWorkedExample) {
    WriteFiles(tree, {L"media\\Zelvora\\Chemistry\\Part1\\atoms.vtt", L"media\\Zelvora\\Chemistry\\Part2\\bonds.vtt",
                      L"media\\Zelvora\\Chemistry\\Part2\\atoms.vtt", L"media\\Zelvora\\Chemistry\\overview.vtt",
                      L"media\\Zelvora\\Chemistry\\Part2\\deeper\\no.vtt", L"media\\Zelvora\\top.vtt"});

    EXPECT_EQ(Copy(L"media\\Zelvora"), 0);

    EXPECT_EQ(Result(), Union({PublishedCaption(L"Che_ry", L"atoms.vtt"),
                               PublishedCaption(L"Che_ry", L"bonds.vtt")}));
    // Part2 is listed after Part1, so its atoms.vtt is the one that stays.
    EXPECT_EQ(tree.ReadFile(L"out\\Che_ry\\atoms\\video\\vtt\\atoms.vtt"),
              ContentOf(L"media\\Zelvora\\Chemistry\\Part2\\atoms.vtt"));
}

TEST_F(CaptionCopy, LayoutFollowsTheRootsLastComponent) {
    struct Case {
        const wchar_t* source;  // created with one caption file in content folder "Unit"
        bool copies;
    } const cases[] = {
        {L"a\\vod", true},        {L"b\\Vod", true},           {L"c\\zelVORA", true}, {L"d\\VOD\\", true},
        {L"e\\VOD/", true},       {L"f\\Zelvora\\/\\", true},  {L"g\\VOD2", false},   {L"h\\Videos", false},
        {L"i\\VOD\\sub", false},  {L"j\\My VOD", false},
    };
    for (const Case& c : cases) {
        TempTree t;
        const std::wstring root = c.source;
        const std::wstring trimmed = root.substr(0, root.find_last_not_of(L"\\/") + 1);
        const bool nested = CString(trimmed.c_str()).Right(7).CompareNoCase(L"Zelvora") == 0;
        t.WriteFile(trimmed + (nested ? L"\\Unit\\Seg\\cue.vtt" : L"\\Unit\\cue.vtt"), "WEBVTT\n");
        t.MakeDir(L"out");

        EXPECT_EQ(CopyCaptionTree(t.Path(c.source), t.Path(L"out")), 0);

        const Tree expected = c.copies ? PublishedCaption(L"Unit_Unit", L"cue.vtt") : Tree();
        EXPECT_EQ(t.List(L"out"), expected) << "source " << c.source;
    }
}

TEST_F(CaptionCopy, FileSystemRootSelectsNoLayout) {
    EXPECT_EQ(CopyCaptionTree(CString(L"\\"), Out()), 0);
    EXPECT_EQ(Result(), Tree());
}

TEST_F(CaptionCopy, SharedShortNamesAndSharedBaseNames) {
    // Lesson01 and Lessons01 both become Les_01; Lessons01 is listed later.
    WriteFiles(tree, {L"VOD\\Lesson01\\intro.vtt", L"VOD\\Lessons01\\intro.vtt", L"VOD\\Lessons01\\intro.de.vtt"});
    EXPECT_EQ(Copy(L"VOD"), 0);
    EXPECT_EQ(Result(), Union({PublishedCaption(L"Les_01", L"intro.vtt"),
                               PublishedCaption(L"Les_01", L"intro.de.vtt")}));
    EXPECT_EQ(tree.ReadFile(L"out\\Les_01\\intro\\video\\vtt\\intro.vtt"), ContentOf(L"VOD\\Lessons01\\intro.vtt"));
}

TEST_F(CaptionCopy, ReplacesEarlierCopiesButKeepsReadOnlyOnes) {
    WriteFiles(tree, {L"VOD\\Lab\\demo.vtt", L"VOD\\Lab\\locked.vtt"});
    tree.WriteFile(L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", "stale");
    tree.WriteFile(L"out\\Lab_Lab\\locked\\video\\vtt\\locked.vtt", "published, read-only");
    tree.SetReadOnly(L"out\\Lab_Lab\\locked\\video\\vtt\\locked.vtt", true);

    EXPECT_EQ(Copy(L"VOD"), 1) << "the read-only copy could not be replaced";

    EXPECT_EQ(tree.ReadFile(L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt"), ContentOf(L"VOD\\Lab\\demo.vtt"));
    EXPECT_EQ(tree.ReadFile(L"out\\Lab_Lab\\locked\\video\\vtt\\locked.vtt"), "published, read-only");
    EXPECT_EQ(Result(), Union({PublishedCaption(L"Lab_Lab", L"demo.vtt"),
                               PublishedCaption(L"Lab_Lab", L"locked.vtt")}));
}

TEST_F(CaptionCopy, OddCaptionEntries) {
    // A folder named like a caption file gets its caption folder and counts
    // as not copied; ".vtt" has an empty base name and lands one level up.
    tree.MakeDir(L"VOD\\Unit\\folder.vtt");
    WriteFiles(tree, {L"VOD\\Unit\\.vtt", L"VOD\\Unit\\a.vtt.bak", L"VOD\\Unit\\a b..c.vtt"});

    EXPECT_EQ(Copy(L"VOD"), 1);

    Tree expected = Union({PublishedCaption(L"Unit_Unit", L"folder.vtt"),
                           {L"Unit_Unit\\video\\", L"Unit_Unit\\video\\vtt\\", L"Unit_Unit\\video\\vtt\\.vtt"},
                           PublishedCaption(L"Unit_Unit", L"a b..c.vtt")});
    expected.erase(L"Unit_Unit\\folder\\video\\vtt\\folder.vtt");  // never copied
    EXPECT_EQ(Result(), expected);
}

TEST_F(CaptionCopy, DestinationRootWithTrailingSeparator) {
    WriteFiles(tree, {L"VOD\\Unit\\cue.vtt"});
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"out\\")), 0);
    EXPECT_EQ(Result(), PublishedCaption(L"Unit_Unit", L"cue.vtt"));
}

TEST_F(CaptionCopy, DestinationInsideTheSource) {
    WriteFiles(tree, {L"VOD\\Unit\\cue.vtt"});
    tree.MakeDir(L"VOD\\out");
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"VOD\\out")), 0);
    // "out" is a content folder like any other and gets its own destination.
    EXPECT_EQ(tree.List(L"VOD\\out"), Union({PublishedCaption(L"Unit_Unit", L"cue.vtt"), {L"out_out\\"}}));
}

TEST_F(CaptionCopy, SameFolderAsSourceAndDestination) {
    WriteFiles(tree, {L"VOD\\Lesson01\\intro.vtt"});
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"VOD")), 0);
    EXPECT_EQ(tree.List(L"VOD"), Union({{L"Lesson01\\", L"Lesson01\\intro.vtt"},
                                        PublishedCaption(L"Les_01", L"intro.vtt")}));
    EXPECT_EQ(tree.ReadFile(L"VOD\\Les_01\\intro\\video\\vtt\\intro.vtt"), ContentOf(L"VOD\\Lesson01\\intro.vtt"));
}

TEST_F(CaptionCopy, NamesBeyondAscii) {
    const std::wstring content = L"Gr\x00FC\xDF" L"e \xD83C\xDFAC";  // 8 units, a pair at the end
    const std::wstring file = L"\x65E5\x672C\x8A9E \xD83D\xDE00.vtt";
    tree.WriteFile(L"VOD\\" + content + L"\\" + file, "WEBVTT\n");

    EXPECT_EQ(Copy(L"VOD"), 0);

    const std::wstring shortName = L"Gr\x00FC_\xD83C\xDFAC";
    EXPECT_EQ(Result(), PublishedCaption(shortName, file));
}

TEST_F(CaptionCopy, UnreadableSourceRootCopiesNothing) {
    EXPECT_EQ(Copy(L"missing\\VOD"), 0);
    EXPECT_EQ(Result(), Tree());
}

TEST_F(CaptionCopy, MissingDestinationIsMadeAndCopiesProceed) {
    WriteFiles(tree, {L"VOD\\Unit\\cue.vtt"});
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"new\\deep")), 0);
    Tree expected{L"deep\\"};
    for (const std::wstring& entry : PublishedCaption(L"Unit_Unit", L"cue.vtt")) expected.insert(L"deep\\" + entry);
    EXPECT_EQ(tree.List(L"new"), expected);
}

}  // namespace
