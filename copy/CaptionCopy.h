#pragma once

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
// where one listens (CopyListener.h), hears of each as it happens.
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
};
CopyOutcome CopyCaptionTree(const CString& sourceRoot, const CString& destinationRoot);

// The destination folder name of a content folder: names shorter than 5
// characters doubled around "_" ("Lab" -> "Lab_Lab"), longer ones cut to
// their first 3 and last 2 characters ("Lesson01" -> "Les_01"). Characters
// are UTF-16 code units, but a surrogate pair is never split: where a cut
// would fall between a high surrogate and the low one after it, it moves
// outward to keep the pair whole. A lone surrogate is a unit like any other.
CString AbbreviateFolderName(const CString& name);
