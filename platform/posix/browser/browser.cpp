// The terminal folder browser: the stand-in's SHBrowseForFolderW.
//
// Folders given on the command line answer without a face at all
// (given_folders.cpp). Otherwise a person at a terminal (standard input a
// terminal, which the browser draws on) gets a full-screen browser driven
// with the keys of the shell's folder tree (curses_browser.cpp), and a
// script gets the line protocol that the README documents as a stable
// interface (line_protocol.cpp). A desktop program may install a face of
// its own that takes the place of both (desktop_faces.h). All keep the
// callback's contract (browser_session.h).
#include <optional>
#include <string>

#include "platform/posix/browser/browser_faces.h"
#include "platform/posix/desktop_faces.h"
#include "platform/posix/files/destination_access.h"
#include "platform/posix/names.h"

namespace posix {

namespace {

PIDLIST_ABSOLUTE RunFace(BROWSEINFOW& info, const Console& console) {
    if (AnswersGivenFolders()) return AnswerWithGivenFolder(info, console);
    if (const DesktopFaces* desktop = InstalledDesktopFaces()) return desktop->browse(info, console);
    return console.interactive ? RunFullScreenBrowser(info, console) : RunLineProtocol(info, console);
}

}  // namespace

PIDLIST_ABSOLUTE RunTerminalBrowser(BROWSEINFOW& info, const Console& console) {
    const PIDLIST_ABSOLUTE chosen = RunFace(info, console);
    const ITEMIDLIST* item = LiveItemList(chosen);
    if (item != nullptr && item->hasPath) {
        if (const std::optional<std::string> native = NativePath(item->path.c_str())) FolderChosen(*native);
    }
    return chosen;
}

}  // namespace posix
