#pragma once

#include <vector>

#include "copy/CopyListener.h"
#include "framework/CString.h"

// The first few captions and folders that a run left behind, and copies
// that replaced one the run made, each with the reason in the system's
// words, for a message that has no other place to name them (the Windows
// program's one message box; the Linux program tells each on its
// standard error instead).
class LeftBehindNames final : public CopyListener {
public:
    static constexpr int kNamed = 5;

    void WalkStarted(const CString&, const CString&) override;
    void ContentFolderEntered(const CString&) override {}
    void CaptionCopied(const CString&, const CString&) override {}
    void CaptionReplacedEarlierCopy(const CString& source, const CString& target,
                                    const CString& earlierSource) override;
    void CaptionNotCopied(const CString& source, const CString& target, Loss loss) override;
    void FolderNotRead(const CString& folder, Loss loss) override;
    void FolderNotMade(const CString& folder) override;
    void WalkEnded() override {}

    // After a blank line, one line for each of the first kNamed, then
    // "and N more." where there were more; empty when nothing was named.
    CString Text() const;

private:
    void Name(const CString& line);

    std::vector<CString> named_;
    int more_ = 0;
};
