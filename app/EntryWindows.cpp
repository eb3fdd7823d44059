#include "framework/CWinApp.h"

// The entry point of the Windows program (a GUI-subsystem Unicode program,
// linked with -municode): the framework runs the one application object. The
// command line is not read: the tool takes no options.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand) {
    return AfxWinMain(instance, previous, commandLine, showCommand);
}
