#include "app/CompletionText.h"

#include <string>

namespace {

// "1 caption file could not be copied." or "N caption files ...", after a
// blank line; nothing for none.
CString CountLine(int count, const wchar_t* one, const wchar_t* many, const wchar_t* rest) {
    if (count <= 0) return CString();
    const std::wstring number = std::to_wstring(count);
    return CString(L"\n\n") + number.c_str() + (count == 1 ? one : many) + rest;
}

}  // namespace

// The completion says what the run left behind, so that nobody takes a
// partial copy for a whole one, nor a folder of the wrong name for a copy;
// and which copies replaced one the run made itself (short names that
// collide, a later segment), which left a caption of the source unpublished.
CString CompletionText(const CopyOutcome& outcome) {
    if (!outcome.layoutRecognized) {
        return L"Cuecarry complete\n\nNothing was copied: the starting folder is named neither VOD nor Zelvora.";
    }
    return CString(L"Cuecarry complete") +
           CountLine(outcome.captionsNotCopied, L" caption file", L" caption files", L" could not be copied.") +
           CountLine(outcome.foldersNotRead, L" folder", L" folders", L" could not be read.") +
           CountLine(outcome.foldersNotMade, L" folder", L" folders", L" could not be made.") +
           CountLine(outcome.captionsReplaced, L" caption file", L" caption files",
                     L" replaced a copy made earlier in this run.");
}

CString CopiedLine(int count, bool foretold) {
    const std::wstring number = std::to_wstring(count);
    return CString(number.c_str()) + (count == 1 ? L" caption file " : L" caption files ") +
           (foretold ? L"would be copied." : L"copied.");
}
