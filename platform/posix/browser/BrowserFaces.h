// The two faces of the stand-in's folder browser. Each runs one
// SHBrowseForFolderW call to its end: the chosen folder's item list, or null
// for a cancel.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/ShellInternal.h"

namespace posix {

// For scripts, when the input is not a terminal (or there is none to draw
// on): one command per line.
PIDLIST_ABSOLUTE RunLineProtocol(BROWSEINFOW& info, const Console& console);

// For a person at a terminal: the folder tree on the whole screen.
PIDLIST_ABSOLUTE RunFullScreenBrowser(BROWSEINFOW& info, const Console& console);

// For the command line: the next folder it gave, without showing anything;
// null once none is left. Each browse answers with the next of `folders`.
void AnswerBrowsesWith(const std::vector<std::string>& folders);
bool AnswersGivenFolders();
PIDLIST_ABSOLUTE AnswerWithGivenFolder(BROWSEINFOW& info, const Console& console);

}  // namespace posix
