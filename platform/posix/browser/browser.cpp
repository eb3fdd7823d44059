// The terminal folder browser: the stand-in's SHBrowseForFolderW.
//
// Folders given on the command line answer without a face at all
// (given_folders.cpp). Otherwise a person at a terminal (standard input
// and output both terminals) gets a full-screen browser driven with the
// keys of the shell's folder tree (curses_browser.cpp), and a script gets
// the line protocol that the README documents as a stable interface
// (line_protocol.cpp). A desktop program may install a face of its own
// that takes the place of both (desktop_faces.h). All keep the callback's
// contract (browser_session.h).
#include "platform/posix/browser/browser_faces.h"
#include "platform/posix/desktop_faces.h"

namespace posix {

PIDLIST_ABSOLUTE RunTerminalBrowser(BROWSEINFOW& info, const Console& console) {
    if (AnswersGivenFolders()) return AnswerWithGivenFolder(info, console);
    if (const DesktopFaces* desktop = InstalledDesktopFaces()) return desktop->browse(info, console);
    return console.interactive ? RunFullScreenBrowser(info, console) : RunLineProtocol(info, console);
}

}  // namespace posix
