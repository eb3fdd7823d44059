#include "app/CuecarryApp.h"

#include <optional>

#include "app/CompletionText.h"
#include "app/LeftBehindNames.h"
#include "copy/CopyListener.h"
#include "copy/CaptionCopy.h"
#include "framework/CFileFind.h"
#include "picker/CDirDialog.h"

namespace {

// Every message of the run, the completion included, is one system-modal
// box with the stop icon, so that the user cannot miss how the run ended.
void ShowMessage(const wchar_t* text) { MessageBoxW(nullptr, text, L"Cuecarry", MB_ICONERROR | MB_SYSTEMMODAL); }

// Asks for both roots and copies between them. A chosen root that can't be
// found is reported here, and the run then ends without a completion
// message. Cancelling a picker is no error: nothing is copied.
RunOutcome ChooseAndCopy(CDirDialog& picker) {
    using End = RunOutcome::End;
    RunOutcome run;
    run.end = End::Cancelled;
    picker.windowCaption = L"Browse to the starting folder:";
    if (!picker.Browse()) return run;

    CFileFind finder;
    if (!finder.FindFile(picker.selectedPath, 0)) {
        run = {End::SourceNotAccessible, {}, picker.selectedPath, {}, SavedLastError::Take()};
        ShowMessage(L"starting path not accessible");
        finder.Close();
        return run;
    }
    // A copy: the second picker reuses selectedPath.
    const CString sourceRoot(picker.selectedPath);
    run.sourceRoot = sourceRoot;

    picker.windowCaption = L"Select copy to folder:";
    if (!picker.Browse()) return run;
    if (!finder.FindFile(picker.selectedPath, 0)) {
        run = {End::DestinationNotAccessible, {}, sourceRoot, picker.selectedPath, SavedLastError::Take()};
        ShowMessage(L"copy to path not accessible");
        finder.Close();
        return run;
    }
    const CString destinationRoot(picker.selectedPath);

    return {End::Copied, CopyCaptionTree(sourceRoot, destinationRoot), sourceRoot, destinationRoot, {}};
}

}  // namespace

CCuecarryApp::CCuecarryApp() : CWinApp(nullptr) {}

BOOL CCuecarryApp::InitInstance() {
    CWinApp::InitInstance();
    SetRegistryKey(L"Local AppWizard-Generated Applications");

    CDirDialog picker;
    LeftBehindNames names;
    std::optional<ScopedCopyListener> listening;
    if (namesLeftBehind_) listening.emplace(names);
    lastRun_ = ChooseAndCopy(picker);
    const RunOutcome::End end = lastRun_.end;
    if (end == RunOutcome::End::Cancelled || end == RunOutcome::End::Copied) {
        ShowMessage(CompletionText(lastRun_.copy) + names.Text());
    }
    return FALSE;
}
