// The record of a run, on both builds: written whole where the records are
// kept, the last few kept, never in the destination, and a record that
// cannot be written said and nothing else changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/RunReport.h"
#include "copy/CaptionCopy.h"
#include "platform/RunRecordFile.h"
#include "platform/ShownText.h"
#include "tests/support/TempTree.h"

namespace {

// A walk from VOD into out that leaves `lost` captions behind (read-only
// copies at their targets) and copies one, heard by a report that keeps its
// record in `folder`.
struct RecordedRun {
    RecordedRun(TempTree& tree, const std::wstring& folder, int lost) {
        for (int i = 1; i <= lost; ++i) {
            const std::wstring n = std::to_wstring(i);
            tree.WriteFile(L"VOD\\Lesson0" + n + L"\\cap" + n + L".vtt", "WEBVTT\n");
            const std::wstring copy = L"out\\Les_0" + n + L"\\cap" + n + L"\\video\\vtt\\cap" + n + L".vtt";
            tree.WriteFile(copy, "published");
            tree.SetReadOnly(copy, true);
        }
        tree.WriteFile(L"VOD\\Lab\\demo.vtt", "WEBVTT\n");
        RunOptions options;
        options.namesLeftBehind = true;
        options.keepsRecord = true;
        options.recordFolder = folder;
        RunReport report(options);
        outcome = CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"out"), CopySettings{kDefaultCaptionWorkers, &report});
        kept = report.KeepRecord(outcome);
        message = report.MessageText(kept);
    }
    CopyOutcome outcome;
    RunRecordFile::Kept kept;
    std::wstring message;
};

// A record's text as written, whatever the platform's line ends and mark.
std::string Lines(const std::string& bytes) {
    std::string text = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes;
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// The records and anything else in `folder`, by name.
std::vector<std::wstring> Names(const TempTree& tree, const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const std::wstring& name : tree.List(folder)) names.push_back(name);
    return names;
}

TEST(RunRecord, HoldsEveryThingLeftBehindWithTheFoldersAndTheCounts) {
    TempTree tree;
    const RecordedRun run(tree, std::wstring(tree.Path(L"state\\cuecarry")), 7);
    ASSERT_EQ(run.outcome.captionsNotCopied, 7);
    ASSERT_EQ(run.kept.problem, L"");
    const std::vector<std::wstring> names = Names(tree, L"state\\cuecarry");
    ASSERT_EQ(names.size(), 1u) << "the record alone: no temporary file is left";
    EXPECT_TRUE(IsRunRecordName(names[0])) << names[0];
    EXPECT_EQ(run.kept.path, ShownPath(std::wstring(tree.Path(L"state\\cuecarry\\" + names[0]))));
    EXPECT_NE(run.message.find(L"\n\nand 2 more.\n\nThe whole list is in the record of this run:\n" + run.kept.path),
              std::wstring::npos)
        << run.message;

    const std::string record = Lines(tree.ReadFile(L"state\\cuecarry\\" + names[0]).value_or(""));
    std::string expected = "Starting folder: " + Narrow(ShownPath(std::wstring(tree.Path(L"VOD")))) +
                           "\nCopy to folder: " + Narrow(ShownPath(std::wstring(tree.Path(L"out")))) + "\n\n";
    for (int i = 1; i <= 7; ++i) {
        const std::wstring n = std::to_wstring(i);
        expected += "cuecarry: " + Narrow(ShownPath(std::wstring(tree.Path(L"VOD\\Lesson0" + n + L"\\cap" + n + L".vtt")))) +
                    " -> " +
                    Narrow(ShownPath(std::wstring(tree.Path(L"out\\Les_0" + n + L"\\cap" + n + L"\\video\\vtt\\cap" + n + L".vtt")))) +
                    ": the file there is read-only\n";
    }
    expected += "\n1 caption file copied.\nCuecarry complete\n\n7 caption files could not be copied.\n";
    EXPECT_EQ(record.rfind("Cuecarry: the record of a run\nTime: ", 0), 0u) << record;
    ASSERT_NE(record.find("\nStarting folder: "), std::string::npos) << record;
    EXPECT_EQ(record.substr(record.find("Starting folder: ")), expected);
}

TEST(RunRecord, TheNewestTenAreKeptAndNothingElseIsTouched) {
    TempTree tree;
    std::vector<std::wstring> older;
    for (int i = 10; i < 22; ++i) {
        older.push_back(L"run-200001" + std::to_wstring(i) + L"T000000.000Z-" + std::to_wstring(i) + L".txt");
        tree.WriteFile(L"records\\" + older.back(), "an earlier run");
    }
    // Named like records, and no records: the user's, or not files.
    const std::vector<std::wstring> others = {L"run-notes.txt", L"run-20000101T000000.000Z-1.txt.bak",
                                              L"run-20000101T000000.000Z-.txt", L"run-2000010T000000.000Z-1.txt"};
    for (const std::wstring& other : others) tree.WriteFile(L"records\\" + other, "the user's");
    tree.MakeDir(L"records\\run-19990101T000000.000Z-1.txt");

    const RecordedRun run(tree, std::wstring(tree.Path(L"records")), 1);
    ASSERT_EQ(run.kept.problem, L"");

    std::vector<std::wstring> expected(older.begin() + 3, older.end());
    for (const std::wstring& other : others) expected.push_back(other);
    expected.push_back(L"run-19990101T000000.000Z-1.txt\\");
    std::vector<std::wstring> names = Names(tree, L"records");
    const auto made = std::find_if(names.begin(), names.end(), [&](const std::wstring& name) {
        return IsRunRecordName(name) && name.compare(0, 8, L"run-2000") != 0 && name.compare(0, 8, L"run-1999") != 0;
    });
    ASSERT_NE(made, names.end()) << "the new record";
    names.erase(made);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST(RunRecord, ARecordThatCannotBeWrittenIsSaidAndChangesNothingElse) {
    for (const bool inDestination : {false, true}) {
        TempTree tree;
        tree.WriteFile(L"home", "a file where the records' folder should go");
        // Never in the destination, not even a folder made for it.
        const std::wstring folder(tree.Path(inDestination ? L"out\\state\\cuecarry" : L"home\\cuecarry"));
        const RecordedRun run(tree, folder, 2);
        EXPECT_EQ(run.kept.path, L"");
        if (inDestination) {
            EXPECT_EQ(run.kept.problem, ShownPath(folder) + L" lies inside the copy to folder");
        } else {
            // The system's reason after the folder: "Not a directory" on
            // Linux, "No such file or directory" on Windows.
            const std::wstring prefix = ShownPath(folder) + L": ";
            EXPECT_EQ(run.kept.problem.rfind(prefix, 0), 0u) << run.kept.problem;
            EXPECT_GT(run.kept.problem.size(), prefix.size()) << run.kept.problem;
        }
        EXPECT_NE(run.message.find(L"\n\nThe record of this run could not be written: " + run.kept.problem),
                  std::wstring::npos)
            << run.message;
        EXPECT_EQ(run.outcome.captionsNotCopied, 2);
        EXPECT_EQ(run.outcome.captionsCopied, 1) << "the copy goes on as ever";
        EXPECT_FALSE(tree.Exists(L"out\\state"));
        EXPECT_EQ(tree.ReadFile(L"home"), "a file where the records' folder should go");
    }
}

TEST(RunRecord, NamesSortAsTheirTimes) {
    const RecordTime time = RecordTimeNow();
    const std::wstring name = RunRecordName(time.stamp, 4711);
    EXPECT_TRUE(IsRunRecordName(name)) << name;
    EXPECT_EQ(name.size(), std::wstring(L"run-20260503T120211.123Z-4711.txt").size());
    EXPECT_LT(RunRecordName(L"20260503T120211.123Z", 99999), RunRecordName(L"20260503T120211.124Z", 1));
    // "2026-05-03 14:02:11 +0200"
    ASSERT_EQ(time.shown.size(), 25u) << time.shown;
    EXPECT_TRUE(time.shown[20] == L'+' || time.shown[20] == L'-') << time.shown;
}

}  // namespace
