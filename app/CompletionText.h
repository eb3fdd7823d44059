#pragma once

#include "copy/CaptionCopy.h"
#include "framework/CString.h"

// The message that ends a run that was not stopped by a folder that could
// not be found: "Cuecarry complete", then, each after a blank line, what
// the copy left behind and how many copies replaced one it made earlier, or
// that it copied nothing because the source's name selects no layout.
CString CompletionText(const CopyOutcome& outcome);

// How many captions the walk copied: "1 caption file copied." or "N
// caption files copied."; in a dry run, "... would be copied.".
CString CopiedLine(int count, bool foretold);
