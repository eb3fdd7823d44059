// What the copy engine left behind, in test expectations: compared field by
// field and printed readably when an expectation fails. How many captions
// were copied and replaced is not compared here; the tests that count them
// say so.
#pragma once

#include <ostream>

#include "copy/CaptionCopy.h"

inline bool operator==(const CopyOutcome& a, const CopyOutcome& b) {
    return a.captionsNotCopied == b.captionsNotCopied && a.foldersNotRead == b.foldersNotRead &&
           a.foldersNotMade == b.foldersNotMade && a.layoutRecognized == b.layoutRecognized;
}

inline std::ostream& operator<<(std::ostream& out, const CopyOutcome& outcome) {
    if (!outcome.layoutRecognized) out << "{no layout} ";
    return out << "{" << outcome.captionsNotCopied << " captions not copied, " << outcome.foldersNotRead
               << " folders not read, " << outcome.foldersNotMade << " not made; " << outcome.captionsCopied
               << " copied, " << outcome.captionsReplaced << " replacing earlier copies}";
}

// Nothing left behind.
inline const CopyOutcome kAllCopied{};
// A source root of neither layout: nothing listed, nothing copied.
inline const CopyOutcome kNoLayout{0, 0, false};

inline CopyOutcome Outcome(int captionsNotCopied, int foldersNotRead = 0, int foldersNotMade = 0) {
    CopyOutcome outcome;
    outcome.captionsNotCopied = captionsNotCopied;
    outcome.foldersNotRead = foldersNotRead;
    outcome.foldersNotMade = foldersNotMade;
    return outcome;
}
