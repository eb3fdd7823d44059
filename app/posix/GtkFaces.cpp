#include "app/posix/ProgramFaces.h"
#include "platform/posix/gtk/gtk_faces.h"

const char kProgramName[] = "cuecarry-gtk";

// Where no display opens (no DISPLAY or WAYLAND_DISPLAY, or GTK cannot
// reach it), the program behaves exactly as cuecarry does.
void SetUpFaces() { posix::InstallGtkFaces(); }
