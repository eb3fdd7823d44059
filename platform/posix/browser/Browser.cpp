// The terminal folder browser: the stand-in's SHBrowseForFolderW.
//
// Folders given on the command line answer without a face at all
// (GivenFolders.cpp). Otherwise a person at a terminal (standard input a
// terminal, which the browser draws on) gets a full-screen browser driven
// with the keys of the shell's folder tree (CursesBrowser.cpp), and a
// script gets the line protocol that the README documents as a stable
// interface (LineProtocol.cpp). A desktop program may install a face of
// its own that takes the place of both (DesktopFaces.h). All keep the
// callback's contract (BrowserSession.h).
#include <optional>
#include <string>

#include "platform/posix/browser/BrowserFaces.h"
#include "platform/posix/DesktopFaces.h"
#include "platform/posix/files/DestinationAccess.h"
#include "platform/posix/Names.h"

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
