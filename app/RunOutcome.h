#pragma once

#include "copy/CaptionCopy.h"
#include "framework/CString.h"
#include "platform/LastError.h"
#include "platform/RunRecordFile.h"

// How one run of the tool ended. The Windows program only shows it; the
// Linux program also tells it in its exit status, and why nothing was
// copied on its standard error.
struct RunOutcome {
    enum class End {
        NotRun,
        Cancelled,                 // a picker returned no folder
        SourceNotAccessible,       // the chosen source could not be found
        DestinationNotAccessible,  // the chosen destination could not be found
        Copied,                    // the copy ran; `copy` says what it left behind
    };
    End end = End::NotRun;
    CopyOutcome copy;
    // The folders chosen, as far as the run got.
    CString sourceRoot;
    CString destinationRoot;
    // Why the find query refused the folder that ended the run.
    SavedLastError notAccessible;
    // The run's record, where one was kept and the run walked: its path, or
    // why it could not be written.
    RunRecordFile::Kept record;
};
