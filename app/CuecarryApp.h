#pragma once

#include "app/RunOptions.h"
#include "app/RunOutcome.h"
#include "app/RunReport.h"
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

    // What the runs that follow are asked (RunOptions.h). By default, eight
    // workers and nothing told beyond the message's specified text.
    void UseOptions(const RunOptions& options) { options_ = options; }

private:
    RunOutcome lastRun_;
    RunOptions options_;
};

// Shows one of the run's messages as every message of the run is shown:
// one system-modal box captioned "Cuecarry" with the stop icon, so that the
// user cannot miss how the run ended.
void ShowRunMessage(const wchar_t* text);
