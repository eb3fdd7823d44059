#include <unistd.h>

#include <string>

#include "app/posix/ProgramFaces.h"
#include "platform/posix/Console.h"
#include "platform/posix/gtk/GtkFaces.h"

const char kProgramName[] = "cuecarry-gtk";

// Where no display opens (no DISPLAY or WAYLAND_DISPLAY, or GTK cannot
// reach it), the program behaves as cuecarry does, and says why first:
// started from a menu, the user would otherwise wonder where its windows
// went.
bool SetUpFaces() {
    std::string whyNot;
    if (posix::InstallGtkFaces(whyNot)) return true;
    posix::WriteText(STDERR_FILENO, std::string(kProgramName) + ": " + whyNot +
                                        "; the pickers and the message show at the terminal\n");
    return false;
}
