#pragma once

#include "framework/CString.h"

// What a copy walk tells as it goes, for a front end that shows it: the
// roots it walks, each content folder it goes into, each caption copied or
// left behind, each copy that replaced one the same walk made earlier, each
// folder that could not be read or made, and the end. Everything is told in
// walk order, from one thread, whichever worker did the caption's work; the
// platform's last error is the failed call's when a loss is told. The walk
// is the same with or without a listener (CopySettings, CaptionCopy.h).
class CopyListener {
public:
    // Why something was left behind: a platform call failed (its last error
    // says why), or the walk itself would not go on.
    enum class Loss {
        CallFailed,
        BaseNameDotDot,  // the caption's base name is "..": its folder would lie outside
        NotASingleName,  // the name holds a separator: joined, it would lead elsewhere
    };

    // What kept the caption work on fewer workers than asked.
    enum class WorkerLimit {
        OpenFiles,  // the process's limit on open files leaves room for no more
        Threads,    // the system would start no more threads
    };

    virtual void WalkStarted(const CString& sourceRoot, const CString& destinationRoot) = 0;
    // Told right after WalkStarted when fewer workers than asked do the
    // caption work. The outcome is the same; only a front end that shows how
    // the run goes has a use for it.
    virtual void FewerWorkers(int /*asked*/, int /*working*/, WorkerLimit /*limit*/) {}
    virtual void ContentFolderEntered(const CString& folder) = 0;
    virtual void CaptionCopied(const CString& source, const CString& target) = 0;
    // Told right after CaptionCopied: the copy replaced the one made from
    // `earlierSource` earlier in the same walk.
    virtual void CaptionReplacedEarlierCopy(const CString& source, const CString& target,
                                            const CString& earlierSource) = 0;
    virtual void CaptionNotCopied(const CString& source, const CString& target, Loss loss) = 0;
    virtual void FolderNotRead(const CString& folder, Loss loss) = 0;
    // A content folder's destination folder that could not be made.
    virtual void FolderNotMade(const CString& folder) = 0;
    virtual void WalkEnded() = 0;

protected:
    ~CopyListener() = default;
};
