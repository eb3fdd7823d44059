#pragma once

#include <string>

#include "copy/CaptionCopy.h"
#include "copy/CopyListener.h"

// What a program asks of its runs, handed to the application once, before
// the run: how many workers copy, and what it tells beyond the message's
// specified text. The run sequence stays the same whatever is asked here.
struct RunOptions {
    int workers = kDefaultCaptionWorkers;
    // The message names the first things left behind and where the whole
    // list is: a desktop message (the Windows box, the GTK dialog), where
    // nobody sees the terminal's lines.
    bool namesLeftBehind = false;
    // Each run that walks keeps its record (RunRecord.h): in
    // `recordFolder`, or where the platform keeps such things when that is
    // empty.
    bool keepsRecord = false;
    std::wstring recordFolder;
    // A dry run: the record says that nothing was written.
    bool foretold = false;
    // Hears every walk as well, before anything else is done with what it
    // tells (the Linux program's reporter).
    CopyListener* alsoListening = nullptr;
};
