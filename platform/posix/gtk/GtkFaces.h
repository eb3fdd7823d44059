// The GTK faces of the stand-in: the folder browser as a GTK 3 file chooser
// in select-folder mode, and the message as a GTK modal dialog. Only
// cuecarry-gtk links them; cuecarry never links GTK.
#pragma once

#include <string>

namespace posix {

// The environment names a display: DISPLAY or WAYLAND_DISPLAY, set and not
// empty. Without one GTK would still look for a Wayland server under its
// default name, where the terminal's faces are wanted.
bool NamesADisplay(const char* x11, const char* wayland);

// Opens the display that the environment names and installs the GTK faces
// (DesktopFaces.h): true when they are in place; false when no display
// opens, and the terminal's faces stay, with `whyNot` saying why.
bool InstallGtkFaces(std::string& whyNot);

}  // namespace posix
