// Faces that a desktop program puts in place of the terminal's: a folder
// browser and a message box drawn on a display. The stand-in links no
// toolkit; a program that has one (cuecarry-gtk) installs its faces here
// once its display has opened, and the stand-in then shows the pickers and
// the message through them. Folders given on the command line still answer
// the pickers first.
#pragma once

#include <string>

#include "platform/posix/ShellInternal.h"

namespace posix {

struct DesktopFaces {
    // Runs one SHBrowseForFolderW call to its end, as the terminal's faces
    // do (BrowserFaces.h): the chosen folder's item list, or null for a
    // cancel. `console` is where reports go that have no place on screen.
    PIDLIST_ABSOLUTE (*browse)(BROWSEINFOW& info, const Console& console);
    // Shows the message until it is dismissed: its caption and text as the
    // box shows them, and the style that the caller asked for.
    void (*message)(const std::wstring& caption, const std::wstring& text, UINT style);
};

// In force until the next call; faces with a member left null (as
// `DesktopFaces{}`) give everything back to the terminal.
void InstallDesktopFaces(const DesktopFaces& faces);
// The faces installed, or null: then the terminal shows everything.
const DesktopFaces* InstalledDesktopFaces();

}  // namespace posix
