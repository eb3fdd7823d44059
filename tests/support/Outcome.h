// The copy engine's outcome in test expectations: compared field by field
// and printed readably when an expectation fails.
#pragma once

#include <ostream>

#include "copy/CaptionCopy.h"

inline bool operator==(const CopyOutcome& a, const CopyOutcome& b) {
    return a.captionsNotCopied == b.captionsNotCopied && a.foldersNotRead == b.foldersNotRead &&
           a.layoutRecognized == b.layoutRecognized;
}

inline std::ostream& operator<<(std::ostream& out, const CopyOutcome& outcome) {
    if (!outcome.layoutRecognized) out << "{no layout} ";
    return out << "{" << outcome.captionsNotCopied << " captions not copied, " << outcome.foldersNotRead
               << " folders not read}";
}

// Nothing left behind.
inline const CopyOutcome kAllCopied{};
// A source root of neither layout: nothing listed, nothing copied.
inline const CopyOutcome kNoLayout{0, 0, false};

inline CopyOutcome Outcome(int captionsNotCopied, int foldersNotRead = 0) {
    return CopyOutcome{captionsNotCopied, foldersNotRead};
}
