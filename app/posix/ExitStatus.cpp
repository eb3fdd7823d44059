#include "app/posix/ExitStatus.h"

int ExitStatusOf(const RunOutcome& run) {
    if (run.end != RunOutcome::End::Copied || !run.copy.layoutRecognized) return kExitNothingCopied;
    const bool leftBehind =
        run.copy.captionsNotCopied > 0 || run.copy.foldersNotRead > 0 || run.copy.foldersNotMade > 0;
    return leftBehind ? kExitPartly : kExitAllCopied;
}
