// The copy engine on what only a POSIX file system can hold or do: byte
// names that are not UTF-8, names with a backslash, folders that can't be
// read, captions that vanish, paths far beyond 260 characters.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "copy/CaptionCopy.h"
#include "tests/support/SystemPath.h"
#include "tests/support/Outcome.h"
#include "tests/support/TempTree.h"

namespace {

class EngineOnPosix : public ::testing::Test {
protected:
    TempTree tree;
    // The tree's own system path, for what TempTree cannot name.
    std::string System(const wchar_t* relative) const { return SystemPath(tree.Path(relative)); }
    CopyOutcome Copy() const { return CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"out")); }
    void SetUp() override { tree.MakeDir(L"out"); }
    void WriteBytesNamed(const std::string& systemPath, const std::string& content) const {
        FILE* file = std::fopen(systemPath.c_str(), "wb");
        ASSERT_NE(file, nullptr) << systemPath;
        std::fwrite(content.data(), 1, content.size(), file);
        std::fclose(file);
    }
    std::string ReadSystem(const std::string& systemPath) const {
        FILE* file = std::fopen(systemPath.c_str(), "rb");
        if (file == nullptr) return "<none>";
        std::string content;
        char buffer[256];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) content.append(buffer, got);
        std::fclose(file);
        return content;
    }
};

TEST_F(EngineOnPosix, UndecodableByteNamesArriveByteExact) {
    // Latin-1 bytes, as an old archive or a careless upload leaves them.
    const std::string folder = "Le\xE7on\xA0" "01";  // not UTF-8
    const std::string file = "r\xE9sum\xE9.vtt";
    tree.MakeDir(L"VOD");
    ASSERT_EQ(mkdir((System(L"VOD") + "/" + folder).c_str(), 0777), 0);
    WriteBytesNamed(System(L"VOD") + "/" + folder + "/" + file, "WEBVTT\nbytes\n");

    EXPECT_EQ(Copy(), kAllCopied);

    // The short name cuts the same bytes: "Le\xE7" and "01".
    EXPECT_EQ(ReadSystem(System(L"out") + "/Le\xE7_01/r\xE9sum\xE9/video/vtt/" + file), "WEBVTT\nbytes\n");
}

TEST_F(EngineOnPosix, ABackslashInANameIsCarriedAndNeverBecomesASeparator) {
    // "..\..\escape" would climb out of the destination if it were read as
    // a path; it arrives as one name, byte for byte, under the same rules.
    tree.MakeDir(L"VOD\\Unit");
    ASSERT_EQ(mkdir((System(L"VOD") + "/..\\..\\escape").c_str(), 0777), 0);
    WriteBytesNamed(System(L"VOD") + "/..\\..\\escape/a.vtt", "WEBVTT\na\n");
    WriteBytesNamed(System(L"VOD") + "/Unit/..\\..\\b.vtt", "WEBVTT\nb\n");
    tree.WriteFile(L"VOD\\Unit\\c.vtt", "WEBVTT\n");

    EXPECT_EQ(Copy(), kAllCopied);

    const std::wstring backslash(1, static_cast<wchar_t>(0xDC5C));  // how a listing names it
    EXPECT_EQ(tree.List(L"out"), Union({PublishedCaption(L".." + backslash + L"_pe", L"a.vtt"),
                                        PublishedCaption(L"Unit_Unit", L".." + backslash + L".." + backslash + L"b.vtt"),
                                        PublishedCaption(L"Unit_Unit", L"c.vtt")}));
    EXPECT_EQ(ReadSystem(System(L"out") + "/..\\_pe/a/video/vtt/a.vtt"), "WEBVTT\na\n");
    EXPECT_EQ(ReadSystem(System(L"out") + "/Unit_Unit/..\\..\\b/video/vtt/..\\..\\b.vtt"), "WEBVTT\nb\n");
    // Read as paths, those names would have made "_pe" and "b" beside "out".
    std::set<std::wstring> topLevel;
    for (const native::Entry& entry : native::ListDir(std::wstring(tree.Root()))) topLevel.insert(entry.name);
    EXPECT_EQ(topLevel, (std::set<std::wstring>{L"VOD", L"out"}));
}

TEST_F(EngineOnPosix, LongestNamesAndPathsBeyond260Characters) {
    const std::wstring longName(251, L'n');  // 255 bytes with ".vtt"
    std::wstring deep = L"VOD\\";
    for (int i = 0; i < 8; ++i) deep += std::wstring(40, static_cast<wchar_t>(L'a' + i)) + L"\\";
    // Only the content folder (the first 40-character level) reaches the
    // destination; the flat layout looks no deeper, so the deep caption sits
    // at the content level of a very long source root instead.
    const std::wstring sourceRoot = deep + L"VOD";
    tree.WriteFile(sourceRoot + L"\\Lesson01\\" + longName + L".vtt", "WEBVTT\nlong\n");
    ASSERT_GT(tree.Path(sourceRoot + L"\\Lesson01\\" + longName + L".vtt").GetLength(), 260 + 250);

    EXPECT_EQ(CopyCaptionTree(tree.Path(sourceRoot), tree.Path(L"out")), kAllCopied);

    EXPECT_EQ(tree.List(L"out"), PublishedCaption(L"Les_01", longName + L".vtt"));
    EXPECT_EQ(tree.ReadFile(L"out\\Les_01\\" + longName + L"\\video\\vtt\\" + longName + L".vtt"), "WEBVTT\nlong\n");
}

TEST_F(EngineOnPosix, ACaptionThatVanishedIsCountedAndTheOldCopyKept) {
    // A dangling link stands for a file removed between listing and copy.
    tree.MakeDir(L"VOD\\Unit");
    ASSERT_EQ(symlink("/nonexistent/cuecarry/gone.vtt", (System(L"VOD\\Unit") + "/gone.vtt").c_str()), 0);
    tree.WriteFile(L"out\\Unit_Unit\\gone\\video\\vtt\\gone.vtt", "earlier copy");
    tree.WriteFile(L"VOD\\Unit\\kept.vtt", "WEBVTT\n");

    EXPECT_EQ(Copy(), Outcome(1));

    EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\gone\\video\\vtt\\gone.vtt"), "earlier copy");
    EXPECT_EQ(tree.List(L"out"), Union({PublishedCaption(L"Unit_Unit", L"gone.vtt"),
                                        PublishedCaption(L"Unit_Unit", L"kept.vtt")}))
        << "no temporary file is left beside the copies";
}

TEST_F(EngineOnPosix, NothingIsWrittenThroughALinkInTheDestination) {
    // A link at each level of intro.vtt's way leads to a folder (or, at the
    // last level, a file) outside the destination. a.vtt goes first, so that
    // intro.vtt's folders are looked for where a.vtt's were.
    const struct {
        const wchar_t* link;
        int notCopied;
    } cases[] = {{L"Les_01", 2},
                 {L"Les_01\\intro", 1},
                 {L"Les_01\\intro\\video", 1},
                 {L"Les_01\\intro\\video\\vtt", 1},
                 {L"Les_01\\intro\\video\\vtt\\intro.vtt", 1}};
    tree.WriteFile(L"VOD\\Lesson01\\a.vtt", "WEBVTT\na\n");
    tree.WriteFile(L"VOD\\Lesson01\\intro.vtt", "WEBVTT\nnew\n");
    for (const auto& c : cases) {
        const std::wstring link = c.link;
        SCOPED_TRACE(link);
        tree.Remove(L"out");
        tree.Remove(L"elsewhere");
        tree.WriteFile(L"elsewhere\\intro.vtt", "not ours");
        const std::size_t parent = link.rfind(L'\\');
        if (parent != std::wstring::npos) tree.MakeDir(L"out\\" + link.substr(0, parent));
        tree.MakeDir(L"out");
        const bool toFile = link.size() > 4 && link.compare(link.size() - 4, 4, L".vtt") == 0;
        const std::string target = System(toFile ? L"elsewhere\\intro.vtt" : L"elsewhere");
        ASSERT_EQ(symlink(target.c_str(), System((L"out\\" + link).c_str()).c_str()), 0);

        EXPECT_EQ(Copy(), Outcome(c.notCopied));

        EXPECT_EQ(tree.List(L"elsewhere"), std::set<std::wstring>{L"intro.vtt"});
        EXPECT_EQ(tree.ReadFile(L"elsewhere\\intro.vtt"), "not ours");
    }
}

TEST_F(EngineOnPosix, ASecondRunFindsItsFoldersWhateverBecameOfThem) {
    for (const wchar_t* name : {L"a", L"b", L"c", L"d"}) {
        tree.WriteFile(std::wstring(L"VOD\\Unit\\") + name + L".vtt", "WEBVTT\n");
    }
    ASSERT_EQ(Copy(), kAllCopied);
    // Between the runs: one caption folder gone, one replaced by a link
    // that leads outside, one caption's video folder a plain file.
    tree.Remove(L"out\\Unit_Unit\\b\\video\\vtt");
    tree.Remove(L"out\\Unit_Unit\\c\\video");
    tree.MakeDir(L"elsewhere");
    ASSERT_EQ(symlink(System(L"elsewhere").c_str(), System(L"out\\Unit_Unit\\c\\video").c_str()), 0);
    tree.Remove(L"out\\Unit_Unit\\d\\video");
    tree.WriteFile(L"out\\Unit_Unit\\d\\video", "in the way");

    EXPECT_EQ(Copy(), Outcome(2));

    EXPECT_TRUE(tree.Exists(L"out\\Unit_Unit\\a\\video\\vtt\\a.vtt"));
    EXPECT_TRUE(tree.Exists(L"out\\Unit_Unit\\b\\video\\vtt\\b.vtt"));
    EXPECT_EQ(tree.List(L"elsewhere"), std::set<std::wstring>());
}

TEST_F(EngineOnPosix, ACopyTakesWhatTheSourceHeldAndNoMore) {
    // Files of /proc report the size 0 and yield more; pagemap never ends.
    tree.WriteFile(L"VOD\\Unit\\ok.vtt", "WEBVTT\n");
    ASSERT_EQ(symlink("/proc/self/pagemap", System(L"VOD\\Unit\\endless.vtt").c_str()), 0);
    ASSERT_EQ(symlink("/proc/self/status", System(L"VOD\\Unit\\status.vtt").c_str()), 0);

    EXPECT_EQ(Copy(), Outcome(2));

    std::set<std::wstring> expected = Union({PublishedCaption(L"Unit_Unit", L"ok.vtt"),
                                             PublishedCaption(L"Unit_Unit", L"endless.vtt"),
                                             PublishedCaption(L"Unit_Unit", L"status.vtt")});
    expected.erase(L"Unit_Unit\\endless\\video\\vtt\\endless.vtt");
    expected.erase(L"Unit_Unit\\status\\video\\vtt\\status.vtt");
    EXPECT_EQ(tree.List(L"out"), expected);
}

TEST_F(EngineOnPosix, AColonInACaptionsNameIsNoDrive) {
    tree.WriteFile(L"VOD\\Unit\\C:x.vtt", "WEBVTT\nC:x\n");
    tree.WriteFile(L"VOD\\Unit\\x.vtt", "WEBVTT\nx\n");
    EXPECT_EQ(Copy(), kAllCopied);
    EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\C:x\\video\\vtt\\C:x.vtt"), "WEBVTT\nC:x\n");
    EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\x\\video\\vtt\\x.vtt"), "WEBVTT\nx\n");
}

class PermissionCases : public EngineOnPosix {
protected:
    void SetUp() override {
        if (!native::PermissionsEnforced()) GTEST_SKIP() << "root reads and writes whatever the mode bits say";
        EngineOnPosix::SetUp();
    }
    void Chmod(const wchar_t* relative, mode_t mode) const { ASSERT_EQ(chmod(System(relative).c_str(), mode), 0); }
    void TearDown() override { native::RemoveAll(std::wstring(tree.Root())); }
};

TEST_F(PermissionCases, UnreadableFoldersArePassedOverCountedAndTheWalkGoesOn) {
    tree.WriteFile(L"VOD\\Locked\\a.vtt", "WEBVTT\n");
    tree.WriteFile(L"VOD\\Open\\b.vtt", "WEBVTT\n");
    tree.WriteFile(L"VOD\\Peek\\p.vtt", "WEBVTT\n");
    Chmod(L"VOD\\Locked", 0);
    // Its names can be read, but none of its entries looked at.
    Chmod(L"VOD\\Peek", 0644);
    tree.WriteFile(L"Zelvora\\Course\\Locked\\c.vtt", "WEBVTT\n");
    tree.WriteFile(L"Zelvora\\Course\\Open\\d.vtt", "WEBVTT\n");
    tree.WriteFile(L"Zelvora\\Shut\\Seg\\e.vtt", "WEBVTT\n");
    Chmod(L"Zelvora\\Course\\Locked", 0);
    Chmod(L"Zelvora\\Shut", 0);

    EXPECT_EQ(Copy(), Outcome(0, 2));
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"Zelvora"), tree.Path(L"out")), Outcome(0, 2));

    // Each content folder still gets its destination.
    EXPECT_EQ(tree.List(L"out"), Union({{L"Loc_ed\\", L"Peek_Peek\\", L"Shut_Shut\\"},
                                        PublishedCaption(L"Open_Open", L"b.vtt"),
                                        PublishedCaption(L"Cou_se", L"d.vtt")}));
}

TEST_F(PermissionCases, AnUnreadableSourceRootCopiesNothingAndIsCounted) {
    tree.WriteFile(L"VOD\\Unit\\a.vtt", "WEBVTT\n");
    Chmod(L"VOD", 0);
    EXPECT_EQ(Copy(), Outcome(0, 1));
    EXPECT_EQ(tree.List(L"out"), std::set<std::wstring>());
}

TEST_F(PermissionCases, AReadOnlyDestinationCountsEveryCaption) {
    tree.WriteFile(L"VOD\\Unit\\a.vtt", "WEBVTT\n");
    tree.WriteFile(L"VOD\\Unit\\b.vtt", "WEBVTT\n");
    tree.WriteFile(L"VOD\\Lab\\c.vtt", "WEBVTT\n");
    Chmod(L"out", 0555);
    // Neither content folder gets its folder; every caption is left behind.
    EXPECT_EQ(Copy(), Outcome(3, 0, 2));
    EXPECT_EQ(tree.List(L"out"), std::set<std::wstring>());
}

TEST_F(PermissionCases, AnUnreadableCaptionIsCountedAndTheOldCopyKept) {
    tree.WriteFile(L"VOD\\Unit\\secret.vtt", "WEBVTT\n");
    tree.WriteFile(L"out\\Unit_Unit\\secret\\video\\vtt\\secret.vtt", "earlier copy");
    Chmod(L"VOD\\Unit\\secret.vtt", 0);
    EXPECT_EQ(Copy(), Outcome(1));
    EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\secret\\video\\vtt\\secret.vtt"), "earlier copy");
    EXPECT_EQ(tree.List(L"out"), PublishedCaption(L"Unit_Unit", L"secret.vtt"));
}

}  // namespace
