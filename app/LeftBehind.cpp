#include "app/LeftBehind.h"

#include <functional>

#include "platform/ErrorText.h"
#include "platform/ShownText.h"

namespace {

using Loss = CopyListener::Loss;
using Shown = std::function<std::wstring(const CString&)>;

// The walk's own refusals; a failed call's last error otherwise.
std::wstring Refusal(Loss loss) {
    switch (loss) {
    case Loss::CallFailed: break;
    case Loss::BaseNameDotDot: return L"its base name is ..";
    case Loss::NotASingleName: return L"its name holds a path separator";
    }
    return std::wstring();
}

// The one phrasing of every entry; `fromSource` shows a path in the source,
// `fromDestination` one in the destination.
std::wstring Phrase(const LeftBehind& item, const Shown& fromSource, const Shown& fromDestination) {
    using Kind = LeftBehind::Kind;
    switch (item.kind) {
    case Kind::CaptionNotCopied:
        return fromSource(item.path) + L" -> " + fromDestination(item.target) + L": " + item.reason;
    case Kind::CaptionReplaced:
        return fromSource(item.path) + L" -> " + fromDestination(item.target) + L": replaces the copy of " +
               fromSource(item.earlier) + L" made earlier in this run";
    case Kind::FolderNotRead: return fromSource(item.path) + L": " + item.reason;
    case Kind::FolderNotMade: return fromDestination(item.path) + L": could not be made: " + item.reason;
    }
    return std::wstring();
}

std::wstring Whole(const CString& path) { return ShownPath(std::wstring(path)); }

// `path` below `root` as the walk made it (root, separator, names); any
// other path whole.
Shown Below(const CString& root) {
    return [root](const CString& path) {
        const CString prefix = root + L"\\";
        const bool below = path.GetLength() > prefix.GetLength() && path.Left(prefix.GetLength()) == prefix;
        return ShownPath(std::wstring(below ? path.Mid(prefix.GetLength()) : path));
    };
}

}  // namespace

LeftBehind LeftBehind::CaptionNotCopied(const CString& source, const CString& target, Loss loss) {
    const std::wstring reason = loss == Loss::CallFailed ? CopyErrorInWords(source, target) : Refusal(loss);
    return {Kind::CaptionNotCopied, source, target, CString(), reason};
}

LeftBehind LeftBehind::CaptionReplaced(const CString& source, const CString& target, const CString& earlierSource) {
    return {Kind::CaptionReplaced, source, target, earlierSource, std::wstring()};
}

LeftBehind LeftBehind::FolderNotRead(const CString& folder, Loss loss) {
    return {Kind::FolderNotRead, folder, CString(), CString(),
            loss == Loss::CallFailed ? LastErrorInWords() : Refusal(loss)};
}

LeftBehind LeftBehind::FolderNotMade(const CString& folder) {
    return {Kind::FolderNotMade, folder, CString(), CString(), LastErrorInWords()};
}

std::wstring WholeEntry(const LeftBehind& item) { return Phrase(item, &Whole, &Whole); }

std::wstring ShortEntry(const LeftBehind& item, const CString& sourceRoot, const CString& destinationRoot) {
    return Phrase(item, Below(sourceRoot), Below(destinationRoot));
}

std::wstring InsideSourceEntry(const CString& sourceRoot, const CString& destinationRoot) {
    return Whole(destinationRoot) + L" lies inside " + Whole(sourceRoot) +
           L": later runs will take the folders published there for content folders";
}

std::wstring FewerWorkersEntry(int asked, int working, CopyListener::WorkerLimit limit) {
    const wchar_t* const why = limit == CopyListener::WorkerLimit::OpenFiles
                                   ? L"the limit on open files (ulimit -n) leaves room for no more"
                                   : L"the system would start no more threads";
    return std::to_wstring(working) + (working == 1 ? L" worker" : L" workers") + L" instead of " +
           std::to_wstring(asked) + L": " + why;
}

std::wstring ToldLine(const std::wstring& entry) { return L"cuecarry: " + entry + L"\n"; }
