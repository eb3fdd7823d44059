#include "copy/CaptionCopy.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "copy/CaptionJob.h"
#include "copy/CopyListener.h"
#include "copy/DirectoryPath.h"
#include "copy/OrderedExecutor.h"
#include "copy/ReplacedCopies.h"
#include "copy/RouteSchedule.h"
#include "platform/FindListing.h"
#include "platform/FolderRules.h"
#include "platform/LastError.h"
#include "platform/RunLimits.h"

namespace {

// Hears nothing: the walk of a program that shows nothing as it goes.
class NoListener final : public CopyListener {
public:
    void WalkStarted(const CString&, const CString&) override {}
    void ContentFolderEntered(const CString&) override {}
    void CaptionCopied(const CString&, const CString&) override {}
    void CaptionReplacedEarlierCopy(const CString&, const CString&, const CString&) override {}
    void CaptionNotCopied(const CString&, const CString&, Loss) override {}
    void FolderNotRead(const CString&, Loss) override {}
    void FolderNotMade(const CString&) override {}
    void WalkEnded() override {}
};

// Captions whose targets may be one file at the destination share a route:
// those of one target, and where the destination ignores letter case, those
// whose targets differ only in case. Folded whatever the destination does,
// which costs nothing where no two names differ only in case. So do the
// content folders of one short name.
std::size_t RouteOf(const CString& target) { return std::hash<std::wstring>()(FoldedName(target)); }

enum class Layout { None, Flat, Nested };

// The layout follows from the source root's last component, whatever
// separators trail it; only the backslash separates components here.
Layout RecognizeLayout(const CString& sourceRoot) {
    CString trimmed(sourceRoot);
    trimmed.TrimRight(L"\\/");
    const CString name = trimmed.Mid(trimmed.ReverseFind(L'\\') + 1);
    if (name.CompareNoCase(L"VOD") == 0) return Layout::Flat;
    if (name.CompareNoCase(L"Zelvora") == 0) return Layout::Nested;
    return Layout::None;
}

// Exactly "." or "..": names such as "..." or ". " are ordinary folders.
bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// A subfolder to descend into: only the directory bit and the name count.
bool IsSubfolder(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsDotEntry(entry.cFileName);
}

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The file name up to, not including, its last "."; platform file names
// are at most 255 characters, which the buffer holds with its terminator.
CString BaseName(const wchar_t* fileName) {
    wchar_t base[256] = {};
    _wsplitpath_s(fileName, nullptr, 0, nullptr, 0, base, 256, nullptr, 0);
    return CString(base);
}

// A pair split by a cut would leave half a character on each side.
bool IsPairAt(const CString& name, int first) {
    return first >= 0 && first + 1 < name.GetLength() && IsHighSurrogate(name[first]) &&
           IsLowSurrogate(name[first + 1]);
}

// A subfolder of the source root, as its listing gave it.
struct RootEntry {
    CString name;
    bool singleName;
};

// One walk of a source tree: lists as it goes, hands each caption's work
// out, and counts what is left behind, without ever stopping for it.
// Everything is counted and told as the work is told, in walk order.
class CaptionWalk {
public:
    CaptionWalk(Layout layout, const CString& destinationRoot, const CopySettings& settings)
        : layout_(layout),
          destinationRoot_(destinationRoot),
          listener_(settings.listener != nullptr ? *settings.listener : nobody_),
          destination_(destinationRoot),
          replaced_([this](const CString& shortName, const CString& name) {
              return CaptionFolder(destinationRoot_ + L"\\" + shortName, BaseName(name)) + L"\\" + name;
          }),
          workersAsked_(settings.workers > 1 ? settings.workers : 1),
          workersFit_(CaptionWorkersThatFit(workersAsked_, destinationRoot)),
          work_(workersFit_, schedule_) {}

    CopyOutcome Run(const CString& sourceRoot) {
        listener_.WalkStarted(sourceRoot, destinationRoot_);
        TellFewerWorkers();
        // The root's listing is read whole before the first content folder
        // (a snapshot, as the Linux listing always is): which short names
        // come again decides what the replaced-copy bookkeeping must keep.
        FindListing root(sourceRoot + L"\\*");
        std::vector<RootEntry> entries;
        ForEachListed(root, [&](const WIN32_FIND_DATAW& entry) {
            if (IsSubfolder(entry)) entries.push_back({entry.cFileName, IsSingleName(entry.cFileName)});
        });
        const bool rootFailed = root.Failed();
        const SavedLastError rootError = SavedLastError::Take();
        root.Close();
        for (const RootEntry& entry : entries) {
            if (entry.singleName) replaced_.Expect(AbbreviateFolderName(entry.name));
        }
        for (const RootEntry& entry : entries) {
            const CString contentPath = sourceRoot + L"\\" + entry.name;
            if (entry.singleName) {
                WalkContentFolder(contentPath, AbbreviateFolderName(entry.name));
            } else {
                FolderNotRead(contentPath, Loss::NotASingleName);
            }
        }
        if (rootFailed) {
            rootError.Restore();
            FolderNotRead(sourceRoot, Loss::CallFailed);
        }
        work_.Finish();
        listener_.WalkEnded();
        return outcome_;
    }

private:
    using Loss = CopyListener::Loss;

    void TellFewerWorkers() {
        if (work_.Workers() >= workersAsked_) return;
        const auto limit = work_.Workers() < workersFit_ ? CopyListener::WorkerLimit::Threads
                                                         : CopyListener::WorkerLimit::OpenFiles;
        listener_.FewerWorkers(workersAsked_, work_.Workers(), limit);
    }

    template <typename Visit>
    static void ForEachListed(FindListing& listing, Visit visit) {
        if (!listing.IsOpen()) return;
        do {
            visit(listing.Entry());
        } while (listing.Next());
    }

    // Lists `folder` with `wildcard` and hands each entry to `visit`, in the
    // listing's order. A listing that could not be read, or broke off, hides
    // captions that nobody would otherwise miss: it is counted. A folder the
    // work may be writing into (one inside the destination) is listed only
    // once the work handed out is done, as one caption at a time would list
    // it.
    template <typename Visit>
    void ForEachEntry(const CString& folder, const wchar_t* wildcard, Visit visit) {
        if (destination_.Contains(folder)) work_.WaitForRunsDone();
        FindListing listing(folder + L"\\" + wildcard);
        ForEachListed(listing, visit);
        if (listing.Failed()) FolderNotRead(folder, Loss::CallFailed);
    }

    // A subfolder to walk into. One whose name is no single name is not
    // entered: joined into a path it would lead elsewhere. It is counted, as
    // its captions are unknown like those behind a listing that failed.
    bool IsFolderToWalk(const CString& parent, const WIN32_FIND_DATAW& entry) {
        if (!IsSubfolder(entry)) return false;
        if (IsSingleName(entry.cFileName)) return true;
        FolderNotRead(parent + L"\\" + entry.cFileName, Loss::NotASingleName);
        return false;
    }

    void WalkContentFolder(const CString& contentPath, const CString& shortName) {
        work_.Note([this, contentPath, shortName] {
            replaced_.ContentFolder(shortName);
            listener_.ContentFolderEntered(contentPath);
        });
        CopyContentFolder(contentPath, destinationRoot_ + L"\\" + shortName);
        work_.Note([this, shortName] { replaced_.ContentFolderDone(shortName); });
    }

    void CopyContentFolder(const CString& contentPath, const CString& contentDestination) {
        contentGroup_ = RouteOf(contentDestination);
        // Every content folder gets its destination, even one with no
        // captions; one that cannot be made is counted, as its captions are
        // left without a place.
        if (!CreateDirectoryPath(contentDestination)) FolderNotMade(contentDestination);
        if (layout_ == Layout::Flat) {
            CopyCaptionFiles(contentPath, contentDestination);
        } else {
            CopySegments(contentPath, contentDestination);
        }
    }

    void CopySegments(const CString& contentPath, const CString& contentDestination) {
        ForEachEntry(contentPath, L"*", [&](const WIN32_FIND_DATAW& entry) {
            if (IsFolderToWalk(contentPath, entry)) {
                CopyCaptionFiles(contentPath + L"\\" + entry.cFileName, contentDestination);
            }
        });
    }

    // Hands out the work for the caption files lying directly in `folder`,
    // to be copied into their caption folders below `contentDestination`. A
    // directory whose name matches is handled like a file: its copy fails
    // and is counted.
    void CopyCaptionFiles(const CString& folder, const CString& contentDestination) {
        ForEachEntry(folder, L"*.vtt", [&](const WIN32_FIND_DATAW& entry) {
            CopyCaptionFile(folder, entry.cFileName, contentDestination);
        });
    }

    static CString CaptionFolder(const CString& contentDestination, const CString& base) {
        return contentDestination + L"\\" + base + L"\\video\\vtt";
    }

    void CopyCaptionFile(const CString& folder, const wchar_t* name, const CString& contentDestination) {
        const CString base = BaseName(name);
        const CString captionFolder = CaptionFolder(contentDestination, base);
        const CString source = folder + L"\\" + name;
        const CString target = captionFolder + L"\\" + name;
        // A name that is no single name would lead out of its caption folder.
        // "...vtt" has the base name "..": its caption folder would be the
        // destination root's own, outside its content destination, where
        // such captions of every content folder would overwrite each other.
        if (!IsSingleName(name)) return CaptionNotCopied(source, target, Loss::NotASingleName);
        if (base == L"..") return CaptionNotCopied(source, target, Loss::BaseNameDotDot);
        const auto job = std::make_shared<CaptionJob>(folder, name, captionFolder, source, target);
        work_.Submit([job] { job->Run(); }, [this, job] { TellCaption(*job); },
                     {RouteOf(target), contentGroup_});
    }

    // A caption's work is done: counted and told in its place.
    void TellCaption(const CaptionJob& caption) {
        if (!caption.copied) {
            caption.error.Restore();
            ++outcome_.captionsNotCopied;
            listener_.CaptionNotCopied(caption.source, caption.target, Loss::CallFailed);
            return;
        }
        ++outcome_.captionsCopied;
        listener_.CaptionCopied(caption.source, caption.target);
        if (const std::optional<CString> earlier = replaced_.Copied(caption.folder, caption.name)) {
            ++outcome_.captionsReplaced;
            listener_.CaptionReplacedEarlierCopy(caption.source, caption.target, *earlier);
        }
    }

    // The walk's own refusals and failures, told in their place among the
    // captions.
    void CaptionNotCopied(const CString& source, const CString& target, Loss loss) {
        work_.Note([this, source, target, loss] {
            ++outcome_.captionsNotCopied;
            listener_.CaptionNotCopied(source, target, loss);
        });
    }

    void FolderNotRead(const CString& folder, Loss loss) {
        const SavedLastError error = SavedLastError::Take();
        work_.Note([this, folder, loss, error] {
            error.Restore();
            ++outcome_.foldersNotRead;
            listener_.FolderNotRead(folder, loss);
        });
    }

    void FolderNotMade(const CString& folder) {
        const SavedLastError error = SavedLastError::Take();
        work_.Note([this, folder, error] {
            error.Restore();
            ++outcome_.foldersNotMade;
            listener_.FolderNotMade(folder);
        });
    }

    const Layout layout_;
    const CString& destinationRoot_;
    NoListener nobody_;
    CopyListener& listener_;
    CopyOutcome outcome_;
    DestinationTree destination_;
    ReplacedCopies replaced_;
    const int workersAsked_;
    const int workersFit_;
    RouteSchedule schedule_;
    OrderedExecutor work_;
    std::size_t contentGroup_ = 0;  // the content folder's, whose captions are being handed out
};

}  // namespace

CString AbbreviateFolderName(const CString& name) {
    const int length = name.GetLength();
    if (length < 5) return name + L"_" + name;
    const int headLength = IsPairAt(name, 2) ? 4 : 3;
    const int tailLength = IsPairAt(name, length - 3) ? 3 : 2;
    return name.Left(headLength) + L"_" + name.Right(tailLength);
}

CopyOutcome CopyCaptionTree(const CString& sourceRoot, const CString& destinationRoot, const CopySettings& settings) {
    const Layout layout = RecognizeLayout(sourceRoot);
    CopyOutcome none;
    none.layoutRecognized = false;
    if (layout == Layout::None) return none;
    return CaptionWalk(layout, destinationRoot, settings).Run(sourceRoot);
}
