// What the Linux program tells while it copies: one line on standard error
// for every caption not copied, every folder not read or not made, and
// every copy that replaced one made earlier in the run, with the reason in
// words; one line on standard output for every caption copied, with
// --verbose and in a dry run; on a terminal, once the copy has run for
// about a second, a progress line on standard error; and at the end how
// many captions were copied. A pool smaller than asked is said on
// standard error, with what kept it small.
#pragma once

#include <chrono>
#include <string>

#include "copy/CopyListener.h"

class CopyReporter final : public CopyListener {
public:
    using Clock = std::chrono::steady_clock;

    struct Streams {
        int output;
        int error;
        bool progress;  // standard error is a terminal
    };
    CopyReporter(Streams streams, bool verbose, bool dryRun);

    void WalkStarted(const CString& sourceRoot, const CString& destinationRoot) override;
    void FewerWorkers(int asked, int working, WorkerLimit limit) override;
    void ContentFolderEntered(const CString& folder) override;
    void CaptionCopied(const CString& source, const CString& target) override;
    void CaptionReplacedEarlierCopy(const CString& source, const CString& target,
                                    const CString& earlierSource) override;
    void CaptionNotCopied(const CString& source, const CString& target, Loss loss) override;
    void FolderNotRead(const CString& folder, Loss loss) override;
    void FolderNotMade(const CString& folder) override;
    void WalkEnded() override;

    // The progress line as it reads now.
    std::string ProgressText() const;

private:
    void ShowProgress();

    const Streams streams_;
    const bool listsCopies_;
    const bool dryRun_;
    int copied_ = 0;
    std::string contentFolder_;
    Clock::time_point started_;
    Clock::time_point drawn_;
};
