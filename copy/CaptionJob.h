#pragma once

#include <utility>

#include "framework/CString.h"
#include "platform/LastError.h"

// The work for one caption, as the walk hands it to a worker: make its
// caption folder with every folder above it, then copy it there. Run on
// whichever thread the pool gives it; its result goes back to the walk's
// thread, the failed call's last error with it.
struct CaptionJob {
    CaptionJob(CString folder, CString name, CString captionFolder, CString source, CString target)
        : folder(std::move(folder)),
          name(std::move(name)),
          captionFolder(std::move(captionFolder)),
          source(std::move(source)),
          target(std::move(target)) {}

    CString folder;         // where the walk listed it
    CString name;           // as listed
    CString captionFolder;  // made first, with every folder above it
    CString source;
    CString target;

    bool copied = false;
    SavedLastError error;  // the failed call's, when not copied

    void Run();
};
