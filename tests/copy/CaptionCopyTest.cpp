#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "copy/CaptionCopy.h"
#include "copy/CopyListener.h"
#include "platform/Platform.h"
#include "tests/support/Outcome.h"
#include "tests/support/TempTree.h"

namespace {

using Tree = std::set<std::wstring>;

// A test's content: the file's relative path, so that every copy tells
// where it came from. Only ASCII paths are used this way.
std::string ContentOf(const std::wstring& relative) { return std::string(relative.begin(), relative.end()); }

void WriteFiles(const TempTree& tree, std::initializer_list<const wchar_t*> files) {
    for (const wchar_t* file : files) tree.WriteFile(file, ContentOf(file));
}

// Of `names`, the one that the platform's listing of `folder` returns last:
// where two copies meet at one destination, the one listed later stays. The
// order is the platform's own (the stand-in's is NTFS order, which Wine's
// listings follow too; on Windows it depends on the file system), so it is
// read from the platform's listing rather than assumed.
std::wstring ListedLast(const CString& folder, std::initializer_list<std::wstring> names) {
    std::set<std::wstring> seen;
    std::wstring last;
    for (const std::wstring& listed : PlatformListing(folder + L"\\*")) {
        if (std::find(names.begin(), names.end(), listed) == names.end()) continue;
        seen.insert(listed);
        last = listed;
    }
    EXPECT_EQ(seen.size(), names.size()) << "every competitor is listed";
    return last;
}

class CaptionCopy : public ::testing::Test {
protected:
    TempTree tree;
    CString Out() const { return tree.Path(L"out"); }
    CopyOutcome Copy(const wchar_t* source) const { return CopyCaptionTree(tree.Path(source), Out()); }
    Tree Result() const { return tree.Exists(L"out") ? tree.List(L"out") : Tree(); }
    void SetUp() override { tree.MakeDir(L"out"); }
};

TEST_F(CaptionCopy, FlatLayoutWorkedExample) {
    WriteFiles(tree, {L"media\\VOD\\Lesson01\\intro.vtt", L"media\\VOD\\Lesson01\\intro.en.vtt",
                      L"media\\VOD\\Lesson01\\slides.pdf", L"media\\VOD\\Lesson01\\extra\\q.vtt",
                      L"media\\VOD\\Lab\\demo.VTT", L"media\\VOD\\notes.vtt"});
    tree.MakeDir(L"media\\VOD\\Empty");

    EXPECT_EQ(Copy(L"media\\VOD"), kAllCopied);

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

    EXPECT_EQ(Copy(L"media\\Zelvora"), kAllCopied);

    EXPECT_EQ(Result(), Union({PublishedCaption(L"Che_ry", L"atoms.vtt"),
                               PublishedCaption(L"Che_ry", L"bonds.vtt")}));
    // The atoms.vtt of the segment folder listed later is the one that stays.
    const std::wstring later = ListedLast(tree.Path(L"media\\Zelvora\\Chemistry"), {L"Part1", L"Part2"});
    EXPECT_EQ(tree.ReadFile(L"out\\Che_ry\\atoms\\video\\vtt\\atoms.vtt"),
              ContentOf(L"media\\Zelvora\\Chemistry\\" + later + L"\\atoms.vtt"));
}

TEST_F(CaptionCopy, LayoutFollowsTheRootsLastComponent) {
    struct Case {
        const wchar_t* source;  // created with one caption file in content folder "Unit"
        bool copies;
    } const cases[] = {
        {L"a\\vod", true},        {L"b\\Vod", true},           {L"c\\zelVORA", true}, {L"d\\VOD\\", true},
        {L"e\\VOD/", true},       {L"f\\Zelvora\\/\\", true},  {L"g\\VOD2", false},   {L"h\\Videos", false},
        {L"i\\VOD\\sub", false},  {L"j\\My VOD", false},
        {L"k\\media/VOD", false},  {L"l\\media\\VOD/", true},    // only the backslash separates
    };
    for (const Case& c : cases) {
        TempTree t;
        const std::wstring root = c.source;
        const std::wstring trimmed = root.substr(0, root.find_last_not_of(L"\\/") + 1);
        const bool nested = CString(trimmed.c_str()).Right(7).CompareNoCase(L"Zelvora") == 0;
        t.WriteFile(trimmed + (nested ? L"\\Unit\\Seg\\cue.vtt" : L"\\Unit\\cue.vtt"), "WEBVTT\n");
        t.MakeDir(L"out");

        EXPECT_EQ(CopyCaptionTree(t.Path(c.source), t.Path(L"out")), c.copies ? kAllCopied : kNoLayout);

        const Tree expected = c.copies ? PublishedCaption(L"Unit_Unit", L"cue.vtt") : Tree();
        EXPECT_EQ(t.List(L"out"), expected) << "source " << c.source;
    }
}

TEST_F(CaptionCopy, OnlyDotAndDotDotAreSkipped) {
    // A content folder and a segment folder whose names start with a dot.
    WriteFiles(tree, {L"VOD\\.hidden\\a.vtt", L"Zelvora\\Unit\\.hidden\\b.vtt"});
    EXPECT_EQ(Copy(L"VOD"), kAllCopied);
    EXPECT_EQ(Copy(L"Zelvora"), kAllCopied);
    EXPECT_EQ(Result(), Union({PublishedCaption(L".hi_en", L"a.vtt"), PublishedCaption(L"Unit_Unit", L"b.vtt")}));
}

TEST_F(CaptionCopy, FileSystemRootSelectsNoLayout) {
    EXPECT_EQ(CopyCaptionTree(CString(L"\\"), Out()), kNoLayout);
    EXPECT_EQ(Result(), Tree());
}

TEST_F(CaptionCopy, SharedShortNamesAndSharedBaseNames) {
    // Lesson01 and Lessons01 both become Les_01; the one listed later wins.
    WriteFiles(tree, {L"VOD\\Lesson01\\intro.vtt", L"VOD\\Lessons01\\intro.vtt", L"VOD\\Lessons01\\intro.de.vtt"});
    EXPECT_EQ(Copy(L"VOD"), kAllCopied);
    EXPECT_EQ(Result(), Union({PublishedCaption(L"Les_01", L"intro.vtt"),
                               PublishedCaption(L"Les_01", L"intro.de.vtt")}));
    const std::wstring later = ListedLast(tree.Path(L"VOD"), {L"Lesson01", L"Lessons01"});
    EXPECT_EQ(tree.ReadFile(L"out\\Les_01\\intro\\video\\vtt\\intro.vtt"), ContentOf(L"VOD\\" + later + L"\\intro.vtt"));
}

TEST_F(CaptionCopy, ReplacesEarlierCopiesButKeepsReadOnlyOnes) {
    WriteFiles(tree, {L"VOD\\Lab\\demo.vtt", L"VOD\\Lab\\locked.vtt"});
    tree.WriteFile(L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", "stale");
    tree.WriteFile(L"out\\Lab_Lab\\locked\\video\\vtt\\locked.vtt", "published, read-only");
    tree.SetReadOnly(L"out\\Lab_Lab\\locked\\video\\vtt\\locked.vtt", true);

    EXPECT_EQ(Copy(L"VOD"), Outcome(1)) << "the read-only copy could not be replaced";

    EXPECT_EQ(tree.ReadFile(L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt"), ContentOf(L"VOD\\Lab\\demo.vtt"));
    EXPECT_EQ(tree.ReadFile(L"out\\Lab_Lab\\locked\\video\\vtt\\locked.vtt"), "published, read-only");
    EXPECT_EQ(Result(), Union({PublishedCaption(L"Lab_Lab", L"demo.vtt"),
                               PublishedCaption(L"Lab_Lab", L"locked.vtt")}));
}

TEST_F(CaptionCopy, OddCaptionEntries) {
    // A folder named like a caption file gets its caption folder and counts
    // as not copied; ".vtt" and "..vtt" (base names "" and ".") land one
    // level up, in the content destination's own video\vtt. "...vtt" (base
    // name "..") would land two levels up, outside its content destination,
    // where Lab's would overwrite Unit's: it is counted instead.
    tree.MakeDir(L"VOD\\Unit\\folder.vtt");
    WriteFiles(tree, {L"VOD\\Unit\\.vtt", L"VOD\\Unit\\..vtt", L"VOD\\Unit\\...vtt", L"VOD\\Lab\\...vtt",
                      L"VOD\\Unit\\a.vtt.bak", L"VOD\\Unit\\a b..c.vtt"});

    EXPECT_EQ(Copy(L"VOD"), Outcome(3));

    Tree expected = Union({{L"Lab_Lab\\"}, PublishedCaption(L"Unit_Unit", L"folder.vtt"),
                           {L"Unit_Unit\\video\\", L"Unit_Unit\\video\\vtt\\", L"Unit_Unit\\video\\vtt\\.vtt",
                            L"Unit_Unit\\video\\vtt\\..vtt"},
                           PublishedCaption(L"Unit_Unit", L"a b..c.vtt")});
    expected.erase(L"Unit_Unit\\folder\\video\\vtt\\folder.vtt");  // never copied
    EXPECT_EQ(Result(), expected);
}

TEST_F(CaptionCopy, LongerExtensionsMatchOnlyThroughAShortName) {
    // The platform's listing matches "*.vtt". Where the file system keeps
    // short alternative names (Windows volumes with 8.3 names, and Wine,
    // which makes one up for every name that is not 8.3), "c.vttx" has one
    // such as "C~~~~QA2.VTT", the pattern matches it, and c.vttx is copied
    // like a caption file. The stand-in has no short names: only names that
    // end in ".vtt" match there.
    WriteFiles(tree, {L"VOD\\Unit\\a.vtt", L"VOD\\Unit\\c.vttx", L"VOD\\Unit\\d.vtt.bak", L"VOD\\Unit\\e.vt"});
    const CString shortName(native::ShortName(std::wstring(tree.Path(L"VOD\\Unit\\c.vttx"))).c_str());
    const bool matchesThroughShortName = shortName.Right(4).CompareNoCase(L".vtt") == 0;
    RecordProperty("c.vttx short name", std::string(shortName.GetLength() > 0 ? "present" : "none"));

    EXPECT_EQ(Copy(L"VOD"), kAllCopied);

    const Tree viaShortName = matchesThroughShortName ? PublishedCaption(L"Unit_Unit", L"c.vttx") : Tree();
    EXPECT_EQ(Result(), Union({PublishedCaption(L"Unit_Unit", L"a.vtt"), viaShortName}))
        << (matchesThroughShortName ? "c.vttx has a short name ending in .VTT" : "c.vttx has no such short name");
    if (matchesThroughShortName) {
        EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\c\\video\\vtt\\c.vttx"), ContentOf(L"VOD\\Unit\\c.vttx"));
    }
}

TEST_F(CaptionCopy, PathsBeyond260Characters) {
    // A destination root so long that each caption's path passes 260
    // characters. Where the platform holds paths to MAX_PATH (Windows), the
    // caption folders can't be made and every copy fails and is counted;
    // the stand-in and Wine take long paths like any other.
    // 235 characters: a folder that Windows can still make (up to 248), and
    // from which even the shorter caption's path is 268 characters long.
    std::wstring destination = L"o";
    while (tree.Path(destination).GetLength() + 31 <= 235) destination += L"\\" + std::wstring(30, L'd');
    destination += L"\\" + std::wstring(235 - 1 - tree.Path(destination).GetLength(), L'e');
    ASSERT_EQ(tree.Path(destination).GetLength(), 235);
    tree.MakeDir(destination);
    WriteFiles(tree, {L"VOD\\Lesson01\\intro.vtt", L"VOD\\Lesson01\\intro.en.vtt"});
    const std::wstring caption = destination + L"\\Les_01\\intro.en\\video\\vtt\\intro.en.vtt";
    ASSERT_GT(tree.Path(destination + L"\\Les_01\\intro\\video\\vtt\\intro.vtt").GetLength(), 260);

    const CopyOutcome outcome = CopyCaptionTree(tree.Path(L"VOD"), tree.Path(destination));

    if (native::PathLimit() != 0) {
        EXPECT_EQ(outcome, Outcome(2)) << "paths are limited to " << native::PathLimit() << " characters";
    } else {
        EXPECT_EQ(outcome, kAllCopied) << "no path limit";
        EXPECT_EQ(tree.List(destination), Union({PublishedCaption(L"Les_01", L"intro.vtt"),
                                                 PublishedCaption(L"Les_01", L"intro.en.vtt")}));
        EXPECT_EQ(tree.ReadFile(caption), ContentOf(L"VOD\\Lesson01\\intro.en.vtt"));
    }
}

TEST_F(CaptionCopy, DestinationRootWithTrailingSeparator) {
    WriteFiles(tree, {L"VOD\\Unit\\cue.vtt"});
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"out\\")), kAllCopied);
    EXPECT_EQ(Result(), PublishedCaption(L"Unit_Unit", L"cue.vtt"));
}

TEST_F(CaptionCopy, DestinationInsideTheSource) {
    WriteFiles(tree, {L"VOD\\Unit\\cue.vtt"});
    tree.MakeDir(L"VOD\\out");
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"VOD\\out")), kAllCopied);
    // "out" is a content folder like any other and gets its own destination.
    EXPECT_EQ(tree.List(L"VOD\\out"), Union({PublishedCaption(L"Unit_Unit", L"cue.vtt"), {L"out_out\\"}}));
}

TEST_F(CaptionCopy, SameFolderAsSourceAndDestination) {
    WriteFiles(tree, {L"VOD\\Lesson01\\intro.vtt"});
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"VOD")), kAllCopied);
    EXPECT_EQ(tree.List(L"VOD"), Union({{L"Lesson01\\", L"Lesson01\\intro.vtt"},
                                        PublishedCaption(L"Les_01", L"intro.vtt")}));
    EXPECT_EQ(tree.ReadFile(L"VOD\\Les_01\\intro\\video\\vtt\\intro.vtt"), ContentOf(L"VOD\\Lesson01\\intro.vtt"));
}

TEST_F(CaptionCopy, NamesBeyondAscii) {
    const std::wstring content = L"Gr\x00FC\xDF" L"e \xD83C\xDFAC";  // 8 units, a pair at the end
    const std::wstring file = L"\x65E5\x672C\x8A9E \xD83D\xDE00.vtt";
    tree.WriteFile(L"VOD\\" + content + L"\\" + file, "WEBVTT\n");

    EXPECT_EQ(Copy(L"VOD"), kAllCopied);

    const std::wstring shortName = L"Gr\x00FC_\xD83C\xDFAC";
    EXPECT_EQ(Result(), PublishedCaption(shortName, file));
}

TEST_F(CaptionCopy, AMissingSourceRootCopiesNothingAndIsCounted) {
    // Gone since it was chosen: whatever captions it held are unknown.
    EXPECT_EQ(Copy(L"missing\\VOD"), Outcome(0, 1));
    EXPECT_EQ(Result(), Tree());
}

TEST_F(CaptionCopy, MissingDestinationIsMadeAndCopiesProceed) {
    WriteFiles(tree, {L"VOD\\Unit\\cue.vtt"});
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"new\\deep")), kAllCopied);
    Tree expected{L"deep\\"};
    for (const std::wstring& entry : PublishedCaption(L"Unit_Unit", L"cue.vtt")) expected.insert(L"deep\\" + entry);
    EXPECT_EQ(tree.List(L"new"), expected);
}

// What a walk tells its listener, with the tree's root left out of paths.
class RecordingListener final : public CopyListener {
public:
    explicit RecordingListener(const CString& root) : root_(std::wstring(root) + L"\\") {}
    void WalkStarted(const CString&, const CString&) override { events.push_back(L"started"); }
    void WalkEnded() override { events.push_back(L"ended"); }
    void ContentFolderEntered(const CString& folder) override { events.push_back(L"into " + Relative(folder)); }
    void CaptionCopied(const CString& source, const CString& target) override {
        events.push_back(L"copied " + Relative(source) + L" -> " + Relative(target));
    }
    void CaptionNotCopied(const CString& source, const CString& target, Loss loss) override {
        events.push_back(L"not copied " + Relative(source) + L" -> " + Relative(target) + Why(loss));
    }
    void CaptionReplacedEarlierCopy(const CString& source, const CString& target, const CString& earlier) override {
        events.push_back(L"replaced " + Relative(source) + L" -> " + Relative(target) + L", the copy of " +
                         Relative(earlier));
    }
    void FolderNotRead(const CString& folder, Loss loss) override {
        events.push_back(L"not read " + Relative(folder) + Why(loss));
    }
    void FolderNotMade(const CString& folder) override { events.push_back(L"not made " + Relative(folder)); }
    std::vector<std::wstring> events;

private:
    std::wstring Relative(const CString& path) const {
        const std::wstring text(path);
        return text.rfind(root_, 0) == 0 ? text.substr(root_.size()) : text;
    }
    static std::wstring Why(Loss loss) {
        switch (loss) {
        case Loss::CallFailed: return L": failed";
        case Loss::BaseNameDotDot: return L": base name ..";
        case Loss::NotASingleName: return L": no single name";
        }
        return L"";
    }
    std::wstring root_;
};

TEST_F(CaptionCopy, TheListenerHearsEveryStepAndEveryLoss) {
    WriteFiles(tree, {L"VOD\\Unit\\a.vtt", L"VOD\\Unit\\b.vtt", L"VOD\\Unit\\...vtt"});
    tree.WriteFile(L"out\\Unit_Unit\\b", "a file where b's caption folder belongs");
    RecordingListener listener(tree.Root());
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), Out(), CopySettings{kDefaultCaptionWorkers, &listener}), Outcome(2));
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"gone\\VOD"), Out(), CopySettings{kDefaultCaptionWorkers, &listener}),
              Outcome(0, 1));
    EXPECT_EQ(listener.events, (std::vector<std::wstring>{
                                   L"started",
                                   L"into VOD\\Unit",
                                   L"not copied VOD\\Unit\\...vtt -> out\\Unit_Unit\\..\\video\\vtt\\...vtt: base name ..",
                                   L"copied VOD\\Unit\\a.vtt -> out\\Unit_Unit\\a\\video\\vtt\\a.vtt",
                                   L"not copied VOD\\Unit\\b.vtt -> out\\Unit_Unit\\b\\video\\vtt\\b.vtt: failed",
                                   L"ended",
                                   L"started",
                                   L"not read gone\\VOD: failed",
                                   L"ended",
                               }));
    // Once the scope is over, nobody listens.
    EXPECT_EQ(Copy(L"VOD"), Outcome(2));
    EXPECT_EQ(listener.events.size(), 9u);
}

}  // namespace
