#include "app/CuecarryApp.h"

#include <string>

#include "copy/CaptionCopy.h"
#include "framework/CFileFind.h"
#include "picker/CDirDialog.h"

namespace {

// Every message of the run, the completion included, is one system-modal
// box with the stop icon, so that the user cannot miss how the run ended.
void ShowMessage(const wchar_t* text) { MessageBoxW(nullptr, text, L"Cuecarry", MB_ICONERROR | MB_SYSTEMMODAL); }

// "1 caption file could not be copied." or "N caption files ...", after a
// blank line; nothing for none.
CString CountLine(int count, const wchar_t* one, const wchar_t* many, const wchar_t* rest) {
    if (count <= 0) return CString();
    const std::wstring number = std::to_wstring(count);
    return CString(L"\n\n") + number.c_str() + (count == 1 ? one : many) + rest;
}

// The completion says what the run left behind, so that nobody takes a
// partial copy for a whole one.
CString CompletionText(const CopyOutcome& outcome) {
    return CString(L"Cuecarry complete") +
           CountLine(outcome.captionsNotCopied, L" caption file", L" caption files", L" could not be copied.") +
           CountLine(outcome.foldersNotRead, L" folder", L" folders", L" could not be read.");
}

// Asks for both roots and copies between them. A chosen root that can't be
// found is reported here, and the run then ends without a completion
// message (false). Cancelling a picker is no error: nothing is copied.
bool ChooseAndCopy(CDirDialog& picker, CopyOutcome& outcome) {
    picker.windowCaption = L"Browse to the starting folder:";
    if (!picker.Browse()) return true;

    CFileFind finder;
    if (!finder.FindFile(picker.selectedPath, 0)) {
        ShowMessage(L"starting path not accessible");
        finder.Close();
        return false;
    }
    // A copy: the second picker reuses selectedPath.
    const CString sourceRoot(picker.selectedPath);

    picker.windowCaption = L"Select copy to folder:";
    if (!picker.Browse()) return true;
    if (!finder.FindFile(picker.selectedPath, 0)) {
        ShowMessage(L"copy to path not accessible");
        finder.Close();
        return false;
    }
    const CString destinationRoot(picker.selectedPath);

    outcome = CopyCaptionTree(sourceRoot, destinationRoot);
    return true;
}

}  // namespace

CCuecarryApp::CCuecarryApp() : CWinApp(nullptr) {}

BOOL CCuecarryApp::InitInstance() {
    CWinApp::InitInstance();
    SetRegistryKey(L"Local AppWizard-Generated Applications");

    CDirDialog picker;
    CopyOutcome outcome;
    if (ChooseAndCopy(picker, outcome)) ShowMessage(CompletionText(outcome));
    return FALSE;
}
