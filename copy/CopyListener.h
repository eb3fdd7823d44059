#pragma once

#include "framework/CString.h"

// What a copy walk tells as it goes, for a front end that shows it: each
// content folder it goes into, each caption copied or left behind, each
// folder that could not be read. The walk is the same with or without one;
// only the Linux program listens (for its progress line, its reasons and
// its verbose lines), the Windows program stays silent.
class CopyListener {
public:
    // Why something was left behind: a platform call failed (its last error
    // says why), or the walk itself would not go on.
    enum class Loss {
        CallFailed,
        BaseNameDotDot,  // the caption's base name is "..": its folder would lie outside
        NotASingleName,  // the name holds a separator: joined, it would lead elsewhere
    };

    virtual void WalkStarted() = 0;
    virtual void ContentFolderEntered(const CString& folder) = 0;
    virtual void CaptionCopied(const CString& source, const CString& target) = 0;
    virtual void CaptionNotCopied(const CString& source, const CString& target, Loss loss) = 0;
    virtual void FolderNotRead(const CString& folder, Loss loss) = 0;

protected:
    ~CopyListener() = default;
};

// Makes `listener` hear every walk of this process while the object lives,
// and puts back the one that listened before.
class ScopedCopyListener {
public:
    explicit ScopedCopyListener(CopyListener& listener);
    ~ScopedCopyListener();
    ScopedCopyListener(const ScopedCopyListener&) = delete;
    ScopedCopyListener& operator=(const ScopedCopyListener&) = delete;

private:
    CopyListener* previous_;
};
