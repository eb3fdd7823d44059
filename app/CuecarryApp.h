#pragma once

#include "app/RunOutcome.h"
#include "framework/CWinApp.h"

// The application: its InitInstance is the whole run of the tool. It asks
// for a source and a destination folder, checks that each can be found,
// copies the caption files, shows one message and ends the program.
class CCuecarryApp : public CWinApp {
public:
    CCuecarryApp();
    BOOL InitInstance() override;

    // How the latest run ended, for the Linux program's exit status; the
    // Windows program sets none.
    const RunOutcome& LastRun() const { return lastRun_; }

    // The message names the first captions and folders left behind, with
    // the reasons: for the Windows program, whose one message box is all the
    // user sees of a run.
    void NameWhatIsLeftBehind() { namesLeftBehind_ = true; }

private:
    RunOutcome lastRun_;
    bool namesLeftBehind_ = false;
};
