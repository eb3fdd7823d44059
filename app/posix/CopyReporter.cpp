#include "app/posix/CopyReporter.h"

#include <sys/resource.h>

#include <string>

#include "platform/FolderRules.h"
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

// "1 caption file copied." or "N caption files ...".
std::string CountOfCaptions(int count, const char* what) {
    return std::to_string(count) + (count == 1 ? " caption file " : " caption files ") + what + ".";
}

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
        posix::WriteText(streams_.error, "cuecarry: " + Path(destinationRoot) + " lies inside " + Path(sourceRoot) +
                                             ": later runs will take the folders published there for content "
                                             "folders\n");
    }
}

void CopyReporter::FewerWorkers(int asked, int working, WorkerLimit limit) {
    std::string why = "the system would start no more threads";
    if (limit == WorkerLimit::OpenFiles) {
        struct rlimit files {};
        ::getrlimit(RLIMIT_NOFILE, &files);
        why = "the limit of " + std::to_string(files.rlim_cur) + " open files (ulimit -n) leaves room for no more";
    }
    posix::WriteText(streams_.error, "cuecarry: " + std::to_string(working) + (working == 1 ? " worker" : " workers") +
                                         " instead of " + std::to_string(asked) + ": " + why + "\n");
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
    posix::WriteText(streams_.error, "cuecarry: " + Path(source) + " -> " + Path(target) + ": replaces the copy of " +
                                         Path(earlierSource) + " made earlier in this run\n");
}

void CopyReporter::CaptionNotCopied(const CString& source, const CString& target, Loss loss) {
    posix::WriteText(streams_.error, "cuecarry: " + Path(source) + " -> " + Path(target) + ": " + Reason(loss) + "\n");
    ShowProgress();
}

void CopyReporter::FolderNotRead(const CString& folder, Loss loss) {
    posix::WriteText(streams_.error, "cuecarry: " + Path(folder) + ": " + Reason(loss) + "\n");
}

void CopyReporter::FolderNotMade(const CString& folder) {
    posix::WriteText(streams_.error, "cuecarry: " + Path(folder) + ": could not be made: " + posix::LastErrorReason() + "\n");
}

// Just before the message, and in place of the progress line.
void CopyReporter::WalkEnded() {
    posix::WriteText(streams_.output, CountOfCaptions(copied_, dryRun_ ? "would be copied" : "copied") + "\n");
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
