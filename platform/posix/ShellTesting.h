// Test hooks of the stand-in's shell and user calls: what the shell allocator
// and the desktop folder still have out, failures on demand, a fixed screen,
// the streams the terminal browser and the message box use, and a scripted
// browser in place of the terminal one. Production code never includes this.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/Shell.h"
#include "platform/posix/Types.h"

namespace posix::testing {

// Handed out and not yet given back, since the process started.
struct ShellCounts {
    long itemLists;            // item lists not freed through the allocator
    long allocatorReferences;  // SHGetMalloc results not released
    long folderReferences;     // SHGetDesktopFolder results not released
    long strayFrees;           // Free calls on a pointer not (or no longer) handed out
};
ShellCounts GetShellCounts();

// Plays the browser: calls info.lpfn as the browser would, may fill iImage
// and pszDisplayName, and returns an item list from the shell allocator, or
// null for a cancel.
using ScriptedBrowser = std::function<PIDLIST_ABSOLUTE(BROWSEINFOW& info)>;

// One MessageBoxW call: its owner and style as given, its text and caption
// as the box shows them.
struct MessageBoxCall {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT style;
};

// The defaults are what the program runs with.
struct Overrides {
    bool failShellMalloc = false;    // SHGetMalloc returns E_FAIL
    bool failDesktopFolder = false;  // SHGetDesktopFolder returns E_FAIL
    int screenWidth = 1920;          // GetSystemMetrics(SM_CXSCREEN)
    int screenHeight = 1080;         // GetSystemMetrics(SM_CYSCREEN)
    ScriptedBrowser browser;         // empty: the terminal browser runs
    std::vector<MessageBoxCall>* messageBoxes = nullptr;  // set: each MessageBoxW call is added
    // Streams of the terminal browser and the message box.
    int input = 0;
    int output = 1;
    int error = 2;
    // Empty: the browser is interactive when `input` is a terminal.
    std::optional<bool> interactive;
};

// Puts `overrides` in force for its lifetime; the earlier ones come back
// after it.
class ScopedOverrides {
public:
    explicit ScopedOverrides(Overrides overrides);
    ~ScopedOverrides();
    ScopedOverrides(const ScopedOverrides&) = delete;
    ScopedOverrides& operator=(const ScopedOverrides&) = delete;

private:
    Overrides previous_;
};

// Item lists from the shell allocator, for scripted browsers and callbacks.
// A folder item answers SHGetPathFromIDListW with `path` as given (nothing is
// checked); a virtual item, such as "Computer", has no file-system path.
PIDLIST_ABSOLUTE NewFolderItem(LPCWSTR path);
PIDLIST_ABSOLUTE NewVirtualItem(LPCWSTR displayName);

}  // namespace posix::testing
