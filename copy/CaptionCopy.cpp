#include "copy/CaptionCopy.h"

#include "copy/DirectoryPath.h"
#include "platform/FindListing.h"

namespace {

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

// Copies the caption files lying directly in `folder` into their caption
// folders below `contentDestination`; returns how many could not be copied.
int CopyCaptionFiles(const CString& folder, const CString& contentDestination) {
    FindListing listing(folder + L"\\*.vtt");
    if (!listing.IsOpen()) return 0;
    int failed = 0;
    do {
        // A directory whose name matches is handled like a file: its copy
        // fails and is counted.
        const wchar_t* name = listing.Entry().cFileName;
        const CString captionFolder = contentDestination + L"\\" + BaseName(name) + L"\\video\\vtt";
        CreateDirectoryPath(captionFolder);
        if (!CopyFileW(folder + L"\\" + name, captionFolder + L"\\" + name, FALSE)) ++failed;
    } while (listing.Next());
    return failed;
}

int CopySegments(const CString& contentPath, const CString& contentDestination) {
    FindListing listing(contentPath + L"\\*");
    if (!listing.IsOpen()) return 0;
    int failed = 0;
    do {
        if (IsSubfolder(listing.Entry())) {
            failed += CopyCaptionFiles(contentPath + L"\\" + listing.Entry().cFileName, contentDestination);
        }
    } while (listing.Next());
    return failed;
}

int CopyContentFolder(Layout layout, const CString& contentPath, const CString& contentDestination) {
    // Every content folder gets its destination, even one with no captions.
    CreateDirectoryPath(contentDestination);
    return layout == Layout::Flat ? CopyCaptionFiles(contentPath, contentDestination)
                                  : CopySegments(contentPath, contentDestination);
}

}  // namespace

CString AbbreviateFolderName(const CString& name) {
    const int length = name.GetLength();
    if (length < 5) return name + L"_" + name;
    const int headLength = IsHighSurrogate(name[2]) ? 4 : 3;
    const int tailLength = IsLowSurrogate(name[length - 2]) ? 3 : 2;
    return name.Left(headLength) + L"_" + name.Right(tailLength);
}

int CopyCaptionTree(const CString& sourceRoot, const CString& destinationRoot) {
    const Layout layout = RecognizeLayout(sourceRoot);
    if (layout == Layout::None) return 0;

    FindListing listing(sourceRoot + L"\\*");
    if (!listing.IsOpen()) return 0;
    int failed = 0;
    do {
        const WIN32_FIND_DATAW& entry = listing.Entry();
        if (!IsSubfolder(entry)) continue;
        const CString contentDestination = destinationRoot + L"\\" + AbbreviateFolderName(entry.cFileName);
        failed += CopyContentFolder(layout, sourceRoot + L"\\" + entry.cFileName, contentDestination);
    } while (listing.Next());
    return failed;
}
