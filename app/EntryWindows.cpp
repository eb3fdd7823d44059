#include "app/CuecarryApp.h"
#include "framework/CWinApp.h"

// The entry point of the Windows program (a GUI-subsystem Unicode program,
// linked with -municode): the framework runs the one application object. The
// command line is not read: the tool takes no options. Its one message
// names the first captions and folders a run left behind, with the reasons,
// and where the record of the run with all of them is.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand) {
    RunOptions options;
    options.namesLeftBehind = true;
    options.keepsRecord = true;
    static_cast<CCuecarryApp*>(AfxGetApp())->UseOptions(options);
    return AfxWinMain(instance, previous, commandLine, showCommand);
}
