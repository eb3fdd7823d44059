// A copy walk as the tests see it: everything it tells, in order, with the
// tree's and the destination's paths left out, and everything it published.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "copy/CaptionCopy.h"
#include "copy/CopyListener.h"
#include "platform/Platform.h"
#include "tests/support/TempTree.h"

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
    // Kept apart from the lines: a pool smaller than asked ends as any other.
    void FewerWorkers(int asked, int working, WorkerLimit limit) override {
        pool = std::to_wstring(working) + L" of " + std::to_wstring(asked) +
               (limit == WorkerLimit::Threads ? L" (threads)" : L" (open files)");
    }

    std::vector<std::wstring> lines;
    std::wstring pool;

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
    std::wstring pool;  // what FewerWorkers told, if anything
    std::map<std::wstring, std::string> published;  // every file below the destination, with its content
};

// Copies `source` into the fresh folder `destination` of `tree` with
// `workers` workers; the destination's own name is left out of what is told.
inline Ran CopyWith(const TempTree& tree, int workers, const std::wstring& source, const std::wstring& destination) {
    Transcript transcript(tree.Path(destination), tree.Root());
    Ran run;
    run.outcome = CopyCaptionTree(tree.Path(source), tree.Path(destination), CopySettings{workers, &transcript});
    run.told = transcript.lines;
    run.pool = transcript.pool;
    for (const std::wstring& entry : tree.List(destination)) {
        if (entry.back() != L'\\') run.published[entry] = tree.ReadFile(destination + L"\\" + entry).value_or("?");
    }
    return run;
}

inline void ExpectSameRun(const Ran& run, const Ran& sequential) {
    EXPECT_EQ(run.outcome.captionsCopied, sequential.outcome.captionsCopied);
    EXPECT_EQ(run.outcome.captionsReplaced, sequential.outcome.captionsReplaced);
    EXPECT_EQ(run.outcome.captionsNotCopied, sequential.outcome.captionsNotCopied);
    EXPECT_EQ(run.outcome.foldersNotRead, sequential.outcome.foldersNotRead);
    EXPECT_EQ(run.outcome.foldersNotMade, sequential.outcome.foldersNotMade);
    EXPECT_EQ(run.told, sequential.told);
    EXPECT_EQ(run.published, sequential.published);
}
