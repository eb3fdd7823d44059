#include "app/posix/CopyReporter.h"

#include <string>

#include "app/CompletionText.h"
#include "app/LeftBehind.h"
#include "platform/FolderRules.h"
#include "platform/posix/Console.h"
#include "platform/posix/StatusLine.h"

namespace {

// A person waits a second before wondering; the line then changes at most
// ten times a second, which is as fast as anyone reads it.
constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string Path(const CString& path) { return posix::DisplayPath(std::wstring(path)); }

// A line made by the shared phrasing (app/LeftBehind.h), as it goes out.
std::string Told(const std::wstring& entry) { return posix::DisplayText(ToldLine(entry), true); }

std::string LastName(const CString& path) {
    const std::wstring text(path);
    return posix::DisplayText(text.substr(text.find_last_of(L'\\') + 1));
}

}  // namespace

// A dry run lists what the run would copy: a preview that shows nothing
// would tell nothing.
CopyReporter::CopyReporter(Streams streams, bool verbose, bool dryRun)
    : streams_(streams), listsCopies_(verbose || dryRun), dryRun_(dryRun) {}

void CopyReporter::WalkStarted(const CString& sourceRoot, const CString& destinationRoot) {
    copied_ = 0;
    started_ = Clock::now();
    drawn_ = started_;
    // Allowed, and the run goes on; but every later run would walk the
    // folders published there as content folders of the source.
    if (FolderLiesWithin(destinationRoot, sourceRoot)) {
        posix::WriteText(streams_.error, Told(InsideSourceEntry(sourceRoot, destinationRoot)));
    }
}

void CopyReporter::FewerWorkers(int asked, int working, WorkerLimit limit) {
    posix::WriteText(streams_.error, Told(FewerWorkersEntry(asked, working, limit)));
}

void CopyReporter::ContentFolderEntered(const CString& folder) {
    contentFolder_ = LastName(folder);
    ShowProgress();
}

void CopyReporter::CaptionCopied(const CString& source, const CString& target) {
    ++copied_;
    if (listsCopies_) posix::WriteText(streams_.output, "copy " + Path(source) + " -> " + Path(target) + "\n");
    ShowProgress();
}

void CopyReporter::CaptionReplacedEarlierCopy(const CString& source, const CString& target,
                                              const CString& earlierSource) {
    posix::WriteText(streams_.error, Told(WholeEntry(LeftBehind::CaptionReplaced(source, target, earlierSource))));
}

void CopyReporter::CaptionNotCopied(const CString& source, const CString& target, Loss loss) {
    posix::WriteText(streams_.error, Told(WholeEntry(LeftBehind::CaptionNotCopied(source, target, loss))));
    ShowProgress();
}

void CopyReporter::FolderNotRead(const CString& folder, Loss loss) {
    posix::WriteText(streams_.error, Told(WholeEntry(LeftBehind::FolderNotRead(folder, loss))));
}

void CopyReporter::FolderNotMade(const CString& folder) {
    posix::WriteText(streams_.error, Told(WholeEntry(LeftBehind::FolderNotMade(folder))));
}

// Just before the message, and in place of the progress line.
void CopyReporter::WalkEnded() {
    posix::WriteText(streams_.output, posix::DisplayText(std::wstring(CopiedLine(copied_, dryRun_))) + "\n");
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
