// What a desktop message names of a run, and where it says the whole list
// is; the reasons in the same words on both builds.
#include <gtest/gtest.h>

#include <string>

#include "app/RunReport.h"
#include "copy/CaptionCopy.h"
#include "platform/ShownText.h"
#include "tests/support/TempTree.h"

namespace {

using Loss = CopyListener::Loss;

// A path as the message shows it on this build: "Lab/a.vtt" on Linux,
// "Lab\a.vtt" on Windows.
std::wstring S(const std::wstring& path) { return ShownPath(path); }

RunOptions Naming() {
    RunOptions options;
    options.namesLeftBehind = true;
    return options;
}

TEST(LeftBehindNames, TheTwoFoldersThenTheFirstFiveEachShortThenHowManyMoreAndWhereTheRecordIs) {
    RunReport report(Naming());
    report.WalkStarted(L"C:\\media\\VOD", L"E:\\out");
    const RunRecordFile::Kept kept{L"R:\\records\\run.txt", L""};
    EXPECT_EQ(std::wstring(report.MessageText(kept)), L"") << "nothing left behind, nothing named";

    report.CaptionNotCopied(L"C:\\media\\VOD\\Lab\\...vtt", L"E:\\out\\Lab_Lab\\..\\video\\vtt\\...vtt",
                            Loss::BaseNameDotDot);
    report.FolderNotRead(L"C:\\media\\VOD\\a\\b", Loss::NotASingleName);
    report.CaptionReplacedEarlierCopy(L"C:\\media\\VOD\\Lessons01\\b.vtt", L"E:\\out\\Les_01\\b\\video\\vtt\\b.vtt",
                                      L"C:\\media\\VOD\\Lesson01\\b.vtt");
    // Not below the starting folder as the walk makes paths: shown whole.
    report.CaptionNotCopied(L"D:\\elsewhere\\c.vtt", L"E:\\outer\\c.vtt", Loss::NotASingleName);
    report.FolderNotRead(L"C:\\media\\VOD", Loss::NotASingleName);
    report.FolderNotRead(L"C:\\media\\VOD\\x", Loss::NotASingleName);
    report.FolderNotRead(L"C:\\media\\VOD\\y", Loss::NotASingleName);

    const std::wstring folders = L"\n\nStarting folder: " + S(L"C:\\media\\VOD") + L"\nCopy to folder: " + S(L"E:\\out");
    const std::wstring named =
        folders + L"\n\n" + S(L"Lab\\...vtt") + L" -> " + S(L"Lab_Lab\\..\\video\\vtt\\...vtt") +
        L": its base name is ..\n\n" + S(L"a\\b") + L": its name holds a path separator\n\n" +
        S(L"Lessons01\\b.vtt") + L" -> " + S(L"Les_01\\b\\video\\vtt\\b.vtt") + L": replaces the copy of " +
        S(L"Lesson01\\b.vtt") + L" made earlier in this run\n\n" + S(L"D:\\elsewhere\\c.vtt") + L" -> " +
        S(L"E:\\outer\\c.vtt") + L": its name holds a path separator\n\n" + S(L"C:\\media\\VOD") +
        L": its name holds a path separator\n\nand 2 more.";
    const struct {
        RunRecordFile::Kept record;
        std::wstring after;
    } cases[] = {
        {kept, L"\n\nThe whole list is in the record of this run:\nR:\\records\\run.txt"},
        {{L"", L"R:\\records: Permission denied"},
         L"\n\nThe record of this run could not be written: R:\\records: Permission denied"},
        {{L"", L""}, L""},  // no record was to be kept
    };
    for (const auto& c : cases) EXPECT_EQ(std::wstring(report.MessageText(c.record)), named + c.after);

    // Without names, a record that could not be written goes unsaid here:
    // the terminal's program says it on standard error.
    RunReport quiet{RunOptions()};
    quiet.WalkStarted(L"C:\\media\\VOD", L"E:\\out");
    quiet.FolderNotRead(L"C:\\media\\VOD\\x", Loss::NotASingleName);
    EXPECT_EQ(std::wstring(quiet.MessageText({L"", L"R:\\records: Permission denied"})), L"");

    report.WalkStarted(L"C:\\media\\VOD", L"E:\\out");
    EXPECT_EQ(std::wstring(report.MessageText({L"", L"R: gone"})),
              L"\n\nThe record of this run could not be written: R: gone")
        << "a new walk names afresh; a record not written is said even with nothing named";
}

// The reasons of real failures: the Windows build says what the Linux
// build says, from its error codes and what it finds at the paths.
TEST(LeftBehindNames, ReasonsAreTheLinuxBuildsWordsOnBothBuilds) {
    TempTree tree;
    tree.WriteFile(L"VOD\\Lab\\demo.vtt", "WEBVTT\n");
    tree.WriteFile(L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", "published");
    tree.SetReadOnly(L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", true);
    tree.WriteFile(L"VOD\\Box\\box.vtt", "WEBVTT\n");
    tree.MakeDir(L"out\\Box_Box\\box\\video\\vtt\\box.vtt");
    tree.MakeDir(L"VOD\\Dir\\folder.vtt");
    tree.WriteFile(L"VOD\\Quiz\\q.vtt", "WEBVTT\n");
    tree.WriteFile(L"out\\Quiz_Quiz", "a file where the content folder's folder belongs");
    RunReport report(Naming());
    const CopyOutcome outcome =
        CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"out"), CopySettings{kDefaultCaptionWorkers, &report});
    EXPECT_EQ(outcome.captionsNotCopied, 4);
    EXPECT_EQ(outcome.foldersNotMade, 1);
    const std::wstring text = std::wstring(report.MessageText({})) + L"\n";
    for (const std::wstring& entry : {
             S(L"Lab\\demo.vtt") + L" -> " + S(L"Lab_Lab\\demo\\video\\vtt\\demo.vtt") + L": the file there is read-only",
             S(L"Box\\box.vtt") + L" -> " + S(L"Box_Box\\box\\video\\vtt\\box.vtt") + L": Is a directory",
             S(L"Dir\\folder.vtt") + L" -> " + S(L"Dir_Dir\\folder\\video\\vtt\\folder.vtt") + L": not a regular file",
             S(L"Quiz_Quiz") + L": could not be made: File exists",
             S(L"Quiz\\q.vtt") + L" -> " + S(L"Quiz_Quiz\\q\\video\\vtt\\q.vtt") +
                 L": Not a directory",
         }) {
        EXPECT_NE(text.find(L"\n\n" + entry + L"\n"), std::wstring::npos) << entry << L"\nin\n" << text;
    }
}

}  // namespace
