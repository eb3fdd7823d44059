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
#include "platform/Platform.h"
#include "tests/support/Outcome.h"
#include "tests/support/TempTree.h"
#include "tests/support/WalkTranscript.h"

namespace {

using Tree = std::set<std::wstring>;

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
        const Tree published = tree.List(L"out");
        const bool destinationIgnoresCase = published.count(L"Unit_Unit\\") + published.count(L"UNIT_UNIT\\") < 2;
        if (bothUnits && destinationIgnoresCase) {
            expected.push_back(L"  replacing the copy of Zelvora\\UNIT\\Week1\\DEMO.vtt with Zelvora\\Unit\\Week1\\demo.vtt");
        }
        EXPECT_EQ(replacing, expected);
        EXPECT_EQ(run.outcome.captionsReplaced, static_cast<int>(expected.size()));
        EXPECT_EQ(run.outcome.captionsCopied, bothUnits ? 7 : 6);
        tree.Remove(L"out");
        tree.MakeDir(L"out");
    }
}

// Only a copy this run made can be replaced, and the line names that copy's
// source: a caption that could not be copied made nothing (a folder named
// like a caption stands in for one, on both builds), a copy of an earlier
// run is no copy of this one, and a short name that comes again after
// another one still meets what it made.
struct ReplacedCase {
    const char* name;
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders;  // named like captions: their copies fail
    std::vector<std::wstring> replacing;  // "earlier -> later", relative to the tree
};

std::vector<std::wstring> ManyCaptions(const std::wstring& folder, int first, int count) {
    std::vector<std::wstring> names;
    for (int at = first; at < first + count; ++at) names.push_back(folder + L"\\c" + std::to_wstring(1000 + at) + L".vtt");
    return names;
}

std::vector<std::wstring> Joined(std::vector<std::wstring> a, const std::vector<std::wstring>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(CaptionWork, ACopyReplacesOnlyACopyThisRunMade) {
    const ReplacedCase cases[] = {
        {"a failed copy between two copies",
         {L"Zelvora\\Lab\\S1\\a.vtt", L"Zelvora\\Lab\\S3\\a.vtt"},
         {L"Zelvora\\Lab\\S2\\a.vtt"},
         {L"Zelvora\\Lab\\S1\\a.vtt -> Zelvora\\Lab\\S3\\a.vtt"}},
        {"the earlier content folder of the short name could not copy it",
         {L"Zelvora\\Lessons01\\W1\\a.vtt", L"Zelvora\\Lessons01\\W1\\b.vtt", L"Zelvora\\Lesson01\\W1\\b.vtt"},
         {L"Zelvora\\Lesson01\\W1\\a.vtt"},
         {L"Zelvora\\Lesson01\\W1\\b.vtt -> Zelvora\\Lessons01\\W1\\b.vtt"}},
        {"a short name that comes again after another",
         {L"VOD\\Les1-01\\a.vtt", L"VOD\\Les2\\a.vtt", L"VOD\\Les3-01\\a.vtt"},
         {},
         {L"VOD\\Les1-01\\a.vtt -> VOD\\Les3-01\\a.vtt"}},
        {"a segment of more captions than any filter holds, some not copied",
         Joined(ManyCaptions(L"Zelvora\\Big\\S1", 5, 595), ManyCaptions(L"Zelvora\\Big\\S2", 0, 6)),
         ManyCaptions(L"Zelvora\\Big\\S1", 0, 5),
         {L"Zelvora\\Big\\S1\\c1005.vtt -> Zelvora\\Big\\S2\\c1005.vtt"}},
    };
    for (const ReplacedCase& test : cases) {
        SCOPED_TRACE(test.name);
        TempTree tree;
        for (const std::wstring& file : test.files) tree.WriteFile(file, std::string(file.begin(), file.end()));
        for (const std::wstring& folder : test.folders) tree.MakeDir(folder);
        for (const int workers : {1, 8}) {
            SCOPED_TRACE(testing::Message() << workers << " workers");
            tree.MakeDir(L"out");
            const std::wstring layout = test.files.front().substr(0, test.files.front().find(L'\\'));
            // A second run into what the first published replaces nothing
            // of its own making.
            for (const int round : {1, 2}) {
                const Ran run = CopyWith(tree, workers, layout, L"out");
                std::vector<std::wstring> replacing;
                for (const std::wstring& line : run.told) {
                    const std::wstring prefix = L"  replacing the copy of ";
                    const std::size_t with = line.find(L" with ");
                    if (line.rfind(prefix, 0) == 0) {
                        replacing.push_back(line.substr(prefix.size(), with - prefix.size()) + L" -> " +
                                            line.substr(with + 6));
                    }
                }
                EXPECT_EQ(replacing, test.replacing) << "round " << round;
                EXPECT_EQ(run.outcome.captionsReplaced, static_cast<int>(test.replacing.size()));
                EXPECT_EQ(run.outcome.captionsNotCopied, static_cast<int>(test.folders.size()));
            }
            tree.Remove(L"out");
        }
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
