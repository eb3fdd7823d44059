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
// The walk is silent and never stops for a failure: a folder that can't be
// listed is passed over, a failed copy is left behind. The result counts
// the caption entries whose copy failed, so that the caller can tell the
// user that the run was not complete.
int CopyCaptionTree(const CString& sourceRoot, const CString& destinationRoot);

// The destination folder name of a content folder: names shorter than 5
// characters doubled around "_" ("Lab" -> "Lab_Lab"), longer ones cut to
// their first 3 and last 2 characters ("Lesson01" -> "Les_01"). Characters
// are UTF-16 code units, but a surrogate pair is never split: the cut moves
// outward to keep it whole.
CString AbbreviateFolderName(const CString& name);
