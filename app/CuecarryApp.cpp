#include "app/CuecarryApp.h"

#include <string>

#include "copy/CaptionCopy.h"
#include "framework/CFileFind.h"
#include "picker/CDirDialog.h"

namespace {

// Every message of the run, the completion included, is one system-modal
// box with the stop icon, so that the user cannot miss how the run ended.
void ShowMessage(const wchar_t* text) { MessageBoxW(nullptr, text, L"Cuecarry", MB_ICONERROR | MB_SYSTEMMODAL); }

CString CompletionText(int notCopied) {
    CString text(L"Cuecarry complete");
    if (notCopied == 1) text += L"\n\n1 caption file could not be copied.";
    if (notCopied > 1) text += CString(L"\n\n") + std::to_wstring(notCopied).c_str() + L" caption files could not be copied.";
    return text;
}

// Asks for both roots and copies between them. A chosen root that can't be
// found is reported here, and the run then ends without a completion
// message (false). Cancelling a picker is no error: nothing is copied.
bool ChooseAndCopy(CDirDialog& picker, int& notCopied) {
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

    notCopied = CopyCaptionTree(sourceRoot, destinationRoot);
    return true;
}

}  // namespace

CCuecarryApp::CCuecarryApp() : CWinApp(nullptr) {}

BOOL CCuecarryApp::InitInstance() {
    CWinApp::InitInstance();
    SetRegistryKey(L"Local AppWizard-Generated Applications");

    CDirDialog picker;
    int notCopied = 0;
    if (ChooseAndCopy(picker, notCopied)) ShowMessage(CompletionText(notCopied));
    return FALSE;
}
