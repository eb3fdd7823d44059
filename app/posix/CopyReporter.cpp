#include "app/posix/CopyReporter.h"

#include <string>

#include "platform/posix/console.h"
#include "platform/posix/files/errors.h"
#include "platform/posix/status_line.h"

namespace {

// A person waits a second before wondering; the line then changes at most
// ten times a second, which is as fast as anyone reads it.
constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string Path(const CString& path) { return posix::DisplayPath(std::wstring(path)); }

std::string Reason(CopyListener::Loss loss) {
    switch (loss) {
    case CopyListener::Loss::CallFailed: return posix::LastErrorReason();
    case CopyListener::Loss::BaseNameDotDot: return "its base name is ..";
    case CopyListener::Loss::NotASingleName: return "its name holds a path separator";
    }
    return std::string();
}

std::string LastName(const CString& path) {
    const std::wstring text(path);
    return posix::DisplayText(text.substr(text.find_last_of(L'\\') + 1));
}

}  // namespace

CopyReporter::CopyReporter(Streams streams, bool verbose, bool dryRun)
    : streams_(streams), verbose_(verbose), dryRun_(dryRun) {}

void CopyReporter::WalkStarted() {
    copied_ = 0;
    started_ = Clock::now();
    drawn_ = started_;
}

void CopyReporter::ContentFolderEntered(const CString& folder) {
    contentFolder_ = LastName(folder);
    ShowProgress();
}

void CopyReporter::CaptionCopied(const CString& source, const CString& target) {
    ++copied_;
    if (verbose_) posix::WriteText(streams_.output, "copy " + Path(source) + " -> " + Path(target) + "\n");
    ShowProgress();
}

void CopyReporter::CaptionNotCopied(const CString& source, const CString& target, Loss loss) {
    posix::WriteText(streams_.error, "cuecarry: " + Path(source) + " -> " + Path(target) + ": " + Reason(loss) + "\n");
    ShowProgress();
}

void CopyReporter::FolderNotRead(const CString& folder, Loss loss) {
    posix::WriteText(streams_.error, "cuecarry: " + Path(folder) + ": " + Reason(loss) + "\n");
}

std::string CopyReporter::ProgressText() const {
    const std::string count = std::to_string(copied_) + (copied_ == 1 ? " caption " : " captions ");
    return count + (dryRun_ ? "would be copied" : "copied") + ", now in " + contentFolder_;
}

void CopyReporter::ShowProgress() {
    if (!streams_.progress) return;
    const Clock::time_point now = Clock::now();
    if (now - started_ < kQuietStart || now - drawn_ < kRedrawEvery) return;
    drawn_ = now;
    posix::ShowStatusLine(streams_.error, ProgressText());
}
