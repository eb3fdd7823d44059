#pragma once

#include <optional>
#include <string>

#include "app/LeftBehindNames.h"
#include "app/RunOptions.h"
#include "app/RunRecord.h"
#include "copy/CopyListener.h"

// Listens to the walk for what a run tells: each thing left behind or
// replaced goes into the record and, the first few, into the message.
class RunReport final : public CopyListener {
public:
    explicit RunReport(const RunOptions& options) : options_(options) {}

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

    // The record of the walk under its name, where one was started: its
    // path, or why it could not be written; nothing without a walk.
    RunRecordFile::Kept KeepRecord(const CopyOutcome& outcome);

    // What the message adds after the completion text, each after a blank
    // line: the first things left behind with the two folders (when the
    // telling asks for names), where the whole list is, or why the record
    // could not be written.
    CString MessageText(const RunRecordFile::Kept& record) const;

private:
    // Each event goes to the other listener first, while a failed call's
    // last error is still as the walk set it.
    template <typename... Parameters, typename... Arguments>
    void Forward(void (CopyListener::*event)(Parameters...), const Arguments&... arguments) {
        if (options_.alsoListening != nullptr) (options_.alsoListening->*event)(arguments...);
    }
    void Tell(const LeftBehind& item);

    const RunOptions options_;
    LeftBehindNames names_;
    std::optional<RunRecord> record_;
    CString sourceRoot_;
    CString destinationRoot_;
};
