#include "copy/CaptionCopy.h"

#include "copy/CopyListener.h"
#include "copy/DirectoryPath.h"
#include "platform/FindListing.h"

namespace {

// Hears nothing: the walk of a program that shows nothing as it goes.
class NoListener final : public CopyListener {
public:
    void WalkStarted() override {}
    void ContentFolderEntered(const CString&) override {}
    void CaptionCopied(const CString&, const CString&) override {}
    void CaptionNotCopied(const CString&, const CString&, Loss) override {}
    void FolderNotRead(const CString&, Loss) override {}
};

CopyListener*& ActiveListener() {
    static NoListener nobody;
    static CopyListener* active = &nobody;
    return active;
}

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

// One walk of a source tree: copies as it goes and counts what it leaves
// behind, without ever stopping for it.
class CaptionWalk {
public:
    CaptionWalk(Layout layout, const CString& destinationRoot)
        : layout_(layout), destinationRoot_(destinationRoot), listener_(*ActiveListener()) {}

    CopyOutcome Run(const CString& sourceRoot) {
        listener_.WalkStarted();
        ForEachEntry(sourceRoot, L"*", [&](const WIN32_FIND_DATAW& entry) {
            if (!IsFolderToWalk(sourceRoot, entry)) return;
            const CString contentPath = sourceRoot + L"\\" + entry.cFileName;
            listener_.ContentFolderEntered(contentPath);
            CopyContentFolder(contentPath, destinationRoot_ + L"\\" + AbbreviateFolderName(entry.cFileName));
        });
        return outcome_;
    }

private:
    using Loss = CopyListener::Loss;

    // Lists `folder` with `wildcard` and hands each entry to `visit`, in the
    // listing's order. A listing that could not be read, or broke off, hides
    // captions that nobody would otherwise miss: it is counted.
    template <typename Visit>
    void ForEachEntry(const CString& folder, const wchar_t* wildcard, Visit visit) {
        FindListing listing(folder + L"\\" + wildcard);
        if (listing.IsOpen()) {
            do {
                visit(listing.Entry());
            } while (listing.Next());
        }
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

    void CopyContentFolder(const CString& contentPath, const CString& contentDestination) {
        // Every content folder gets its destination, even one with no captions.
        CreateDirectoryPath(contentDestination);
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

    // Copies the caption files lying directly in `folder` into their caption
    // folders below `contentDestination`. A directory whose name matches is
    // handled like a file: its copy fails and is counted.
    void CopyCaptionFiles(const CString& folder, const CString& contentDestination) {
        ForEachEntry(folder, L"*.vtt", [&](const WIN32_FIND_DATAW& entry) {
            CopyCaptionFile(folder, entry.cFileName, contentDestination);
        });
    }

    void CopyCaptionFile(const CString& folder, const wchar_t* name, const CString& contentDestination) {
        const CString base = BaseName(name);
        const CString captionFolder = contentDestination + L"\\" + base + L"\\video\\vtt";
        const CString source = folder + L"\\" + name;
        const CString target = captionFolder + L"\\" + name;
        // A name that is no single name would lead out of its caption folder.
        // "...vtt" has the base name "..": its caption folder would be the
        // destination root's own, outside its content destination, where
        // such captions of every content folder would overwrite each other.
        if (!IsSingleName(name)) return CaptionNotCopied(source, target, Loss::NotASingleName);
        if (base == L"..") return CaptionNotCopied(source, target, Loss::BaseNameDotDot);
        CreateDirectoryPath(captionFolder);
        if (!CopyFileW(source, target, FALSE)) return CaptionNotCopied(source, target, Loss::CallFailed);
        listener_.CaptionCopied(source, target);
    }

    void CaptionNotCopied(const CString& source, const CString& target, Loss loss) {
        ++outcome_.captionsNotCopied;
        listener_.CaptionNotCopied(source, target, loss);
    }

    void FolderNotRead(const CString& folder, Loss loss) {
        ++outcome_.foldersNotRead;
        listener_.FolderNotRead(folder, loss);
    }

    const Layout layout_;
    const CString& destinationRoot_;
    CopyListener& listener_;
    CopyOutcome outcome_;
};

}  // namespace

CString AbbreviateFolderName(const CString& name) {
    const int length = name.GetLength();
    if (length < 5) return name + L"_" + name;
    const int headLength = IsPairAt(name, 2) ? 4 : 3;
    const int tailLength = IsPairAt(name, length - 3) ? 3 : 2;
    return name.Left(headLength) + L"_" + name.Right(tailLength);
}

CopyOutcome CopyCaptionTree(const CString& sourceRoot, const CString& destinationRoot) {
    const Layout layout = RecognizeLayout(sourceRoot);
    if (layout == Layout::None) return CopyOutcome{0, 0, false};
    return CaptionWalk(layout, destinationRoot).Run(sourceRoot);
}

ScopedCopyListener::ScopedCopyListener(CopyListener& listener) : previous_(ActiveListener()) {
    ActiveListener() = &listener;
}

ScopedCopyListener::~ScopedCopyListener() { ActiveListener() = previous_; }
