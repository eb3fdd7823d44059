// What the stand-in's shell, user and browser sources share: the item list's
// content, the overrides in force and the streams of the terminal. Not part
// of the Win32 surface.
#pragma once

#include <string>

#include "platform/posix/ShellTesting.h"

// An item list of the stand-in: one folder, or a virtual item that has no
// file-system path. `path` is in Windows form ("\srv\media").
struct ITEMIDLIST {
    std::wstring path;
    std::wstring displayName;
    bool hasPath;
};

namespace posix {

const testing::Overrides& ActiveOverrides();

// Where the browser and the message box talk to the user.
struct Console {
    int input;
    int output;
    int error;
    bool interactive;  // a person at a terminal, not a script
};
Console ActiveConsole();

// Item lists come from the shell allocator and go back through its Free.
PIDLIST_ABSOLUTE NewItemList(const std::wstring& path, const std::wstring& displayName, bool hasPath);
void FreeItemList(PIDLIST_ABSOLUTE pidl);
// The item list behind `pidl` while the allocator has it out, else null, so
// that a freed or foreign pointer is never read.
const ITEMIDLIST* LiveItemList(PCIDLIST_ABSOLUTE pidl);

// The interactive browser on a terminal, the line protocol otherwise.
PIDLIST_ABSOLUTE RunTerminalBrowser(BROWSEINFOW& info, const Console& console);

}  // namespace posix
