#include "app/RunRecord.h"

#include "app/CompletionText.h"
#include "platform/ShownText.h"

namespace {

std::wstring Text(const CString& text) { return std::wstring(text); }

}  // namespace

RunRecord::RunRecord(const std::wstring& folder, const std::wstring& whyNoFolder, const CString& sourceRoot,
                     const CString& destinationRoot, bool foretold)
    : whyNoFolder_(whyNoFolder), foretold_(foretold) {
    if (folder.empty()) return;
    const RecordTime started = RecordTimeNow();
    file_.emplace(folder, Text(destinationRoot), started.stamp);
    file_->Write(L"Cuecarry: the record of a run\nTime: " + started.shown +
                 L"\nStarting folder: " + ShownPath(Text(sourceRoot)) +
                 L"\nCopy to folder: " + ShownPath(Text(destinationRoot)) + L"\n\n");
}

void RunRecord::Add(const std::wstring& line) {
    if (!file_) return;
    file_->Write(line);
    told_ = true;
}

RunRecordFile::Kept RunRecord::Keep(const CopyOutcome& outcome) {
    if (!file_) return {std::wstring(), whyNoFolder_};
    // The header's blank line is the one before the counts when nothing was
    // told.
    std::wstring end = (told_ ? L"\n" : L"") + Text(CopiedLine(outcome.captionsCopied, foretold_)) + L"\n" +
                       Text(CompletionText(outcome)) + L"\n";
    if (foretold_) end += L"\nThis was a dry run: nothing was written.\n";
    file_->Write(end);
    return file_->Keep(kKept);
}
