#include "app/RunReport.h"

#include "platform/FolderRules.h"

void RunReport::WalkStarted(const CString& sourceRoot, const CString& destinationRoot) {
    Forward(&CopyListener::WalkStarted, sourceRoot, destinationRoot);
    sourceRoot_ = sourceRoot;
    destinationRoot_ = destinationRoot;
    names_ = LeftBehindNames();
    record_.reset();
    if (!options_.keepsRecord) return;
    std::wstring whyNoFolder;
    const std::wstring folder = options_.recordFolder.empty() ? RunRecordFolder(whyNoFolder) : options_.recordFolder;
    if (folder.empty() && whyNoFolder.empty()) return;
    record_.emplace(folder, whyNoFolder, sourceRoot, destinationRoot, options_.foretold);
    if (FolderLiesWithin(destinationRoot, sourceRoot)) record_->Add(ToldLine(InsideSourceEntry(sourceRoot, destinationRoot)));
}

void RunReport::FewerWorkers(int asked, int working, WorkerLimit limit) {
    Forward(&CopyListener::FewerWorkers, asked, working, limit);
    if (record_) record_->Add(ToldLine(FewerWorkersEntry(asked, working, limit)));
}

void RunReport::ContentFolderEntered(const CString& folder) {
    Forward(&CopyListener::ContentFolderEntered, folder);
}

void RunReport::CaptionCopied(const CString& source, const CString& target) {
    Forward(&CopyListener::CaptionCopied, source, target);
}

void RunReport::CaptionReplacedEarlierCopy(const CString& source, const CString& target,
                                           const CString& earlierSource) {
    Forward(&CopyListener::CaptionReplacedEarlierCopy, source, target, earlierSource);
    Tell(LeftBehind::CaptionReplaced(source, target, earlierSource));
}

void RunReport::CaptionNotCopied(const CString& source, const CString& target, Loss loss) {
    Forward(&CopyListener::CaptionNotCopied, source, target, loss);
    Tell(LeftBehind::CaptionNotCopied(source, target, loss));
}

void RunReport::FolderNotRead(const CString& folder, Loss loss) {
    Forward(&CopyListener::FolderNotRead, folder, loss);
    Tell(LeftBehind::FolderNotRead(folder, loss));
}

void RunReport::FolderNotMade(const CString& folder) {
    Forward(&CopyListener::FolderNotMade, folder);
    Tell(LeftBehind::FolderNotMade(folder));
}

void RunReport::WalkEnded() {
    Forward(&CopyListener::WalkEnded);
}

void RunReport::Tell(const LeftBehind& item) {
    if (options_.namesLeftBehind) names_.Add(item);
    if (record_) record_->Add(ToldLine(WholeEntry(item)));
}

RunRecordFile::Kept RunReport::KeepRecord(const CopyOutcome& outcome) {
    if (!record_) return {};
    const RunRecordFile::Kept kept = record_->Keep(outcome);
    record_.reset();
    return kept;
}

CString RunReport::MessageText(const RunRecordFile::Kept& record) const {
    if (!options_.namesLeftBehind) return CString();
    std::wstring text(names_.Text(sourceRoot_, destinationRoot_));
    if (!record.problem.empty()) {
        text += L"\n\nThe record of this run could not be written: " + record.problem;
    } else if (names_.Count() > 0 && !record.path.empty()) {
        text += L"\n\nThe whole list is in the record of this run:\n" + record.path;
    }
    return text.c_str();
}
