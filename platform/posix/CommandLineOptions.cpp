#include "platform/posix/CommandLineOptions.h"

#include "platform/posix/browser/BrowserFaces.h"
#include "platform/posix/files/DestinationAccess.h"
#include "platform/posix/files/PlannedWrites.h"

namespace posix {

void UseCommandLineOptions(const CommandLineOptions& options) {
    if (!options.givenFolders.empty()) AnswerBrowsesWith(options.givenFolders);
    if (options.dryRun) PlanWritesOnly();
    if (options.refuseDestinationsThatTakeNoFolder) RefuseDestinationsThatTakeNoFolder();
}

}  // namespace posix
