#include "platform/posix/command_line.h"

#include "platform/posix/browser/browser_faces.h"
#include "platform/posix/files/destination_access.h"
#include "platform/posix/files/planned_writes.h"

namespace posix {

void UseCommandLineOptions(const CommandLineOptions& options) {
    if (!options.givenFolders.empty()) AnswerBrowsesWith(options.givenFolders);
    if (options.dryRun) PlanWritesOnly();
    if (options.refuseDestinationsThatTakeNoFolder) RefuseDestinationsThatTakeNoFolder();
}

}  // namespace posix
