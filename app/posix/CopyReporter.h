// What the Linux program tells while it copies: one line on standard error
// for every caption not copied and every folder not read, with the reason
// in words; with --verbose, one line on standard output for every caption
// copied; and on a terminal, once the copy has run for about a second, a
// progress line on standard error.
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

    void WalkStarted() override;
    void ContentFolderEntered(const CString& folder) override;
    void CaptionCopied(const CString& source, const CString& target) override;
    void CaptionNotCopied(const CString& source, const CString& target, Loss loss) override;
    void FolderNotRead(const CString& folder, Loss loss) override;

    // The progress line as it reads now.
    std::string ProgressText() const;

private:
    void ShowProgress();

    const Streams streams_;
    const bool verbose_;
    const bool dryRun_;
    int copied_ = 0;
    std::string contentFolder_;
    Clock::time_point started_;
    Clock::time_point drawn_;
};
