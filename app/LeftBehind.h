#pragma once

#include <string>

#include "copy/CopyListener.h"
#include "framework/CString.h"

// One thing a run left behind (a caption not copied, a folder not read or
// not made) or a copy that replaced one the run made earlier, with the
// reason in words, taken from the last error as the walk tells it. Both
// builds tell it in the same words: whole, as the terminal's lines and a
// run's record give it, and short, in a desktop message that names the two
// folders at its top.
struct LeftBehind {
    enum class Kind { CaptionNotCopied, CaptionReplaced, FolderNotRead, FolderNotMade };

    static LeftBehind CaptionNotCopied(const CString& source, const CString& target, CopyListener::Loss loss);
    static LeftBehind CaptionReplaced(const CString& source, const CString& target, const CString& earlierSource);
    static LeftBehind FolderNotRead(const CString& folder, CopyListener::Loss loss);
    // A content folder's destination folder.
    static LeftBehind FolderNotMade(const CString& folder);

    Kind kind;
    CString path;          // the caption's source; the folder
    CString target;        // a caption's target
    CString earlier;       // the source of the copy that a caption replaced
    std::wstring reason;   // why, in words; nothing for a replaced copy
};

// Every path whole, as the user's platform writes it:
//   /srv/media/VOD/Lab/demo.vtt -> /srv/www/Lab_Lab/demo/video/vtt/demo.vtt: the file there is read-only
std::wstring WholeEntry(const LeftBehind& item);
// Sources relative to the starting folder, targets and folders made
// relative to the destination:
//   Lab/demo.vtt -> Lab_Lab/demo/video/vtt/demo.vtt: the file there is read-only
std::wstring ShortEntry(const LeftBehind& item, const CString& sourceRoot, const CString& destinationRoot);

// A destination that is the source or lies in it is allowed, but said:
// every later run would walk the folders published there.
std::wstring InsideSourceEntry(const CString& sourceRoot, const CString& destinationRoot);

// A pool smaller than asked: the outcome is the same, the run slower.
std::wstring FewerWorkersEntry(int asked, int working, CopyListener::WorkerLimit limit);

// An entry as a line of the terminal's standard error and of a run's
// record: "cuecarry: ENTRY", with its end.
std::wstring ToldLine(const std::wstring& entry);
