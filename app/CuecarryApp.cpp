#include "app/CuecarryApp.h"

#include "app/CompletionText.h"
#include "copy/CopyListener.h"
#include "copy/CaptionCopy.h"
#include "framework/CFileFind.h"
#include "picker/CDirDialog.h"

void ShowRunMessage(const wchar_t* text) { MessageBoxW(nullptr, text, L"Cuecarry", MB_ICONERROR | MB_SYSTEMMODAL); }

namespace {

// Asks for both roots and copies between them. A chosen root that can't be
// found is reported here, and the run then ends without a completion
// message. Cancelling a picker is no error: nothing is copied.
RunOutcome ChooseAndCopy(CDirDialog& picker, const CopySettings& settings) {
    using End = RunOutcome::End;
    RunOutcome run;
    run.end = End::Cancelled;
    picker.windowCaption = L"Browse to the starting folder:";
    if (!picker.Browse()) return run;

    CFileFind finder;
    if (!finder.FindFile(picker.selectedPath, 0)) {
        run = {End::SourceNotAccessible, {}, picker.selectedPath, {}, SavedLastError::Take(), {}};
        ShowRunMessage(L"starting path not accessible");
        finder.Close();
        return run;
    }
    // A copy: the second picker reuses selectedPath.
    const CString sourceRoot(picker.selectedPath);
    run.sourceRoot = sourceRoot;

    picker.windowCaption = L"Select copy to folder:";
    if (!picker.Browse()) return run;
    if (!finder.FindFile(picker.selectedPath, 0)) {
        run = {End::DestinationNotAccessible, {}, sourceRoot, picker.selectedPath, SavedLastError::Take(), {}};
        ShowRunMessage(L"copy to path not accessible");
        finder.Close();
        return run;
    }
    const CString destinationRoot(picker.selectedPath);

    return {End::Copied, CopyCaptionTree(sourceRoot, destinationRoot, settings), sourceRoot, destinationRoot, {}, {}};
}

}  // namespace

CCuecarryApp::CCuecarryApp() : CWinApp(nullptr) {}

BOOL CCuecarryApp::InitInstance() {
    CWinApp::InitInstance();
    SetRegistryKey(L"Local AppWizard-Generated Applications");

    CDirDialog picker;
    RunReport report(options_);
    lastRun_ = ChooseAndCopy(picker, CopySettings{options_.workers, &report});
    const RunOutcome::End end = lastRun_.end;
    if (end == RunOutcome::End::Cancelled || end == RunOutcome::End::Copied) {
        // Kept before the message shows, which says where it is.
        lastRun_.record = report.KeepRecord(lastRun_.copy);
        ShowRunMessage(CompletionText(lastRun_.copy) + report.MessageText(lastRun_.record));
    }
    return FALSE;
}
