#pragma once

#include "copy/CopyListener.h"
#include "framework/CString.h"

// Copies every caption file ("*.vtt") of the content tree at `sourceRoot`
// into the publishing layout under `destinationRoot`:
//     destinationRoot\ShortName\Base\video\vtt\File.vtt
// The source root's own folder name picks the layout, letter case ignored:
// "VOD" holds the caption files directly in each content folder, "Zelvora"
// in the segment folders of each content folder; any other name copies
// nothing. Every content folder gets its destination folder, empty or not,
// and an existing copy is replaced.
//
// The walk never stops for a failure: a folder that can't be listed is
// passed over, a failed copy is left behind. The result counts both, so that
// the caller can tell the user that the run was not complete; a listener,
// where the settings give one (CopyListener.h), hears of each as it happens.
//
// The walk lists on its own thread, as it always did; the work for each
// caption (its folders, its copy) goes to a pool of workers, whose outcome
// is exactly that of one caption at a time in walk order (OrderedExecutor.h,
// RouteSchedule.h).
struct CopyOutcome {
    // Caption entries that were not copied: the copy failed, or the caption's
    // base name is "..", which would place it outside its content folder.
    int captionsNotCopied = 0;
    // Listings that failed for a reason other than "nothing matches" (no
    // access, the folder removed meanwhile): the captions in them are unknown.
    int foldersNotRead = 0;
    // False when the source root's name is neither "VOD" nor "Zelvora": then
    // nothing was listed or copied, which the user must not take for success.
    bool layoutRecognized = true;
    // Content folders whose destination folder could not be made.
    int foldersNotMade = 0;
    // Captions copied, and of those, the ones whose copy replaced a copy that
    // this run made earlier (short names that collide, a later segment).
    int captionsCopied = 0;
    int captionsReplaced = 0;
};
// How a walk goes about its work, as the run chooses.
constexpr int kDefaultCaptionWorkers = 8;
struct CopySettings {
    // How many workers do the caption work: 1 does each caption on the
    // walk's thread, in walk order.
    int workers = kDefaultCaptionWorkers;
    // Hears everything the walk tells (CopyListener.h); nobody by default.
    CopyListener* listener = nullptr;
};
CopyOutcome CopyCaptionTree(const CString& sourceRoot, const CString& destinationRoot,
                            const CopySettings& settings = CopySettings());

// The destination folder name of a content folder: names shorter than 5
// characters doubled around "_" ("Lab" -> "Lab_Lab"), longer ones cut to
// their first 3 and last 2 characters ("Lesson01" -> "Les_01"). Characters
// are UTF-16 code units, but a surrogate pair is never split: where a cut
// would fall between a high surrogate and the low one after it, it moves
// outward to keep the pair whole. A lone surrogate is a unit like any other.
CString AbbreviateFolderName(const CString& name);
