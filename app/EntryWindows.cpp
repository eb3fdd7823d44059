#include "app/CuecarryApp.h"
#include "framework/CWinApp.h"

// The entry point of the Windows program (a GUI-subsystem Unicode program,
// linked with -municode): the framework runs the one application object. The
// command line is not read: the tool takes no options. Its one message
// names the first captions and folders a run left behind, with the reasons.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand) {
    static_cast<CCuecarryApp*>(AfxGetApp())->NameWhatIsLeftBehind();
    return AfxWinMain(instance, previous, commandLine, showCommand);
}
