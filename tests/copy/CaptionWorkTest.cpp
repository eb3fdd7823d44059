// The caption work on a pool of workers, on both builds: whatever the
// number of workers, a run ends exactly as one caption at a time in walk
// order ends, and tells the same things in the same order; and what a run
// tells of its own doing: copies that replace one it made earlier, content
// folders whose folder could not be made.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "copy/CaptionCopy.h"
#include "copy/CopyListener.h"
#include "platform/FolderRules.h"
#include "platform/platform.h"
#include "tests/support/Outcome.h"
#include "tests/support/TempTree.h"

namespace {

using Tree = std::set<std::wstring>;

// Everything a walk tells, in order, with the destination's path left out
// of targets and the tree's of sources.
class Transcript final : public CopyListener {
public:
    Transcript(const CString& destination, const CString& tree)
        : roots_{std::wstring(destination) + L"\\", std::wstring(tree) + L"\\"} {}
    void WalkStarted(const CString&, const CString&) override { lines.push_back(L"started"); }
    void ContentFolderEntered(const CString& folder) override { lines.push_back(L"into " + Relative(folder)); }
    void CaptionCopied(const CString& source, const CString& target) override {
        lines.push_back(L"copied " + Relative(source) + L" -> " + Relative(target));
    }
    void CaptionReplacedEarlierCopy(const CString& source, const CString&, const CString& earlier) override {
        lines.push_back(L"  replacing the copy of " + Relative(earlier) + L" with " + Relative(source));
    }
    void CaptionNotCopied(const CString& source, const CString& target, Loss) override {
        lines.push_back(L"not copied " + Relative(source) + L" -> " + Relative(target) + L": error " +
                        std::to_wstring(GetLastError()));
    }
    void FolderNotRead(const CString& folder, Loss) override { lines.push_back(L"not read " + Relative(folder)); }
    void FolderNotMade(const CString& folder) override {
        lines.push_back(L"not made " + Relative(folder) + L": error " + std::to_wstring(GetLastError()));
    }
    void WalkEnded() override { lines.push_back(L"ended"); }

    std::vector<std::wstring> lines;

private:
    std::wstring Relative(const CString& path) const {
        const std::wstring text(path);
        for (const std::wstring& root : roots_) {
            if (text.rfind(root, 0) == 0) return text.substr(root.size());
        }
        return text;
    }
    std::wstring roots_[2];
};

struct Ran {
    CopyOutcome outcome;
    std::vector<std::wstring> told;
    std::map<std::wstring, std::string> published;  // every file below the destination, with its content
};

// Copies `source` into the fresh folder `destination` of `tree` with
// `workers` workers; the destination's own name is left out of what is told.
Ran CopyWith(const TempTree& tree, int workers, const std::wstring& source, const std::wstring& destination) {
    Transcript transcript(tree.Path(destination), tree.Root());
    Ran run;
    SetCaptionWorkers(workers);
    {
        const ScopedCopyListener listening(transcript);
        run.outcome = CopyCaptionTree(tree.Path(source), tree.Path(destination));
    }
    SetCaptionWorkers(kDefaultCaptionWorkers);
    run.told = transcript.lines;
    for (const std::wstring& entry : tree.List(destination)) {
        if (entry.back() != L'\\') run.published[entry] = tree.ReadFile(destination + L"\\" + entry).value_or("?");
    }
    return run;
}

void ExpectSameRun(const Ran& run, const Ran& sequential) {
    EXPECT_EQ(run.outcome.captionsCopied, sequential.outcome.captionsCopied);
    EXPECT_EQ(run.outcome.captionsReplaced, sequential.outcome.captionsReplaced);
    EXPECT_EQ(run.outcome.captionsNotCopied, sequential.outcome.captionsNotCopied);
    EXPECT_EQ(run.outcome.foldersNotRead, sequential.outcome.foldersNotRead);
    EXPECT_EQ(run.outcome.foldersNotMade, sequential.outcome.foldersNotMade);
    EXPECT_EQ(run.told, sequential.told);
    EXPECT_EQ(run.published, sequential.published);
}

// A nested tree full of captions that meet at one target: ten content
// folders that share the short name Les_01, each with three segments that
// hold the same caption names, a third of them read-only, so that the first
// read-only copy made refuses every later one. A sequential run's outcome
// rests on the order of every pair of them.
void WriteCollidingTree(const TempTree& tree) {
    for (int lesson = 0; lesson < 10; ++lesson) {
        const std::wstring content = L"Zelvora\\Lesson " + std::to_wstring(lesson) + L" Part 01";
        for (int week = 1; week <= 3; ++week) {
            for (int caption = 0; caption < 12; ++caption) {
                const std::wstring file = content + L"\\Week" + std::to_wstring(week) + L"\\c" +
                                          std::to_wstring(caption) + L".vtt";
                tree.WriteFile(file, std::string(file.begin(), file.end()));
                if ((caption + lesson + week) % 3 == 0) tree.SetReadOnly(file, true);
            }
        }
    }
    tree.WriteFile(L"Zelvora\\Other\\Week1\\own.vtt", "a target of its own");
}

TEST(CaptionWork, ConcurrentRunsEndExactlyAsOneCaptionAtATimeInWalkOrder) {
    TempTree tree;
    WriteCollidingTree(tree);
    tree.MakeDir(L"sequential");
    const Ran sequential = CopyWith(tree, 1, L"Zelvora", L"sequential");
    // What the comparison below rests on: captions met, refused and replaced.
    ASSERT_GT(sequential.outcome.captionsReplaced, 0);
    ASSERT_GT(sequential.outcome.captionsNotCopied, 0);
    ASSERT_EQ(sequential.published.size(), 13u);
    // Repeated, so that an ordering race has its chances.
    for (int round = 0; round < 12; ++round) {
        for (const int workers : {2, 8, 64}) {
            SCOPED_TRACE(testing::Message() << workers << " workers, round " << round);
            const std::wstring destination = L"run" + std::to_wstring(round) + L"-" + std::to_wstring(workers);
            tree.MakeDir(destination);
            ExpectSameRun(CopyWith(tree, workers, L"Zelvora", destination), sequential);
            tree.Remove(destination);
        }
    }
}

// A copy that replaces one the run made is told, with the source of the
// copy it replaced: a later segment of the same content folder, a content
// folder whose short name an earlier one took, and where the destination
// ignores letter case, a name that differs only in case.
TEST(CaptionWork, CopiesThatReplaceOneTheRunMadeAreToldWithTheEarlierSource) {
    TempTree tree;
    for (const wchar_t* file :
         {L"Zelvora\\Lesson 1 Part 01\\Week1\\intro.vtt", L"Zelvora\\Lesson 1 Part 01\\Week2\\intro.vtt",
          L"Zelvora\\Lesson 1 Part 01\\Week2\\other.vtt", L"Zelvora\\Lesson 2 Part 01\\Week1\\intro.vtt",
          L"Zelvora\\Lesson 2 Part 01\\Week1\\fresh.vtt", L"Zelvora\\Unit\\Week1\\demo.vtt",
          L"Zelvora\\UNIT\\Week1\\DEMO.vtt"}) {
        tree.WriteFile(file, "WEBVTT\n");
    }
    tree.MakeDir(L"out");
    // Windows keeps one folder of the two names, where Linux keeps two.
    const Tree sources = tree.List(L"Zelvora");
    const bool bothUnits = sources.count(L"Unit\\") != 0 && sources.count(L"UNIT\\") != 0;
    for (const int workers : {1, 8}) {
        SCOPED_TRACE(testing::Message() << workers << " workers");
        const Ran run = CopyWith(tree, workers, L"Zelvora", L"out");
        std::vector<std::wstring> replacing;
        for (const std::wstring& line : run.told) {
            if (line.rfind(L"  replacing", 0) == 0) replacing.push_back(line);
        }
        std::vector<std::wstring> expected = {
            L"  replacing the copy of Zelvora\\Lesson 1 Part 01\\Week1\\intro.vtt with "
            L"Zelvora\\Lesson 1 Part 01\\Week2\\intro.vtt",
            L"  replacing the copy of Zelvora\\Lesson 1 Part 01\\Week2\\intro.vtt with "
            L"Zelvora\\Lesson 2 Part 01\\Week1\\intro.vtt",
        };
        // Unit and UNIT are one short name where the destination ignores
        // letter case (and a source that keeps both, as a Linux file system
        // under Wine does); the platform lists UNIT first (NTFS order, then
        // code units).
        if (bothUnits && NameAsCompared(L"a") == NameAsCompared(L"A")) {
            expected.push_back(L"  replacing the copy of Zelvora\\UNIT\\Week1\\DEMO.vtt with Zelvora\\Unit\\Week1\\demo.vtt");
        }
        EXPECT_EQ(replacing, expected);
        EXPECT_EQ(run.outcome.captionsReplaced, static_cast<int>(expected.size()));
        EXPECT_EQ(run.outcome.captionsCopied, bothUnits ? 7 : 6);
        tree.Remove(L"out");
        tree.MakeDir(L"out");
    }
}

// Every content folder is to get its folder: one that cannot be made (a
// file stands in its place) is counted and told, and its captions are
// counted as not copied, the walk going on with the next.
TEST(CaptionWork, AContentFolderWhoseFolderCannotBeMadeIsCounted) {
    TempTree tree;
    tree.WriteFile(L"VOD\\Lesson01\\intro.vtt", "WEBVTT\n");
    tree.WriteFile(L"VOD\\Unit\\demo.vtt", "WEBVTT\n");
    tree.WriteFile(L"out\\Les_01", "a file where a folder belongs");
    const Ran run = CopyWith(tree, kDefaultCaptionWorkers, L"VOD", L"out");
    EXPECT_EQ(run.outcome, Outcome(1, 0, 1));
    EXPECT_EQ(run.outcome.captionsCopied, 1);
    ASSERT_GE(run.told.size(), 4u);
    EXPECT_EQ(run.told[1], L"into VOD\\Lesson01");
    EXPECT_EQ(run.told[2].rfind(L"not made Les_01: error ", 0), 0u) << run.told[2];
    EXPECT_EQ(run.told[3].rfind(L"not copied VOD\\Lesson01\\intro.vtt", 0), 0u) << run.told[3];
    EXPECT_EQ(tree.ReadFile(L"out\\Les_01"), "a file where a folder belongs");
}

}  // namespace
