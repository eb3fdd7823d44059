// What the Linux program's command line asks of the stand-in, beside the
// Win32 surface: one value, handed over once before the run and only read
// after.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace posix {

struct CommandLineOptions {
    // The pickers show nothing: each browse answers with the next of these,
    // given as the command line holds them (system paths, relative to the
    // working folder). None: the pickers ask.
    std::vector<std::string> givenFolders;
    // Creations and copies are answered as they would be, and nothing is
    // written; the message says so.
    bool dryRun = false;
    // The second folder chosen is the destination: where this user cannot
    // make a folder in it, the find query says it is not accessible, as it
    // says of a missing one (files/DestinationAccess.h).
    bool refuseDestinationsThatTakeNoFolder = false;
};
void UseCommandLineOptions(const CommandLineOptions& options);

// Why each of the folders given cannot be taken, checked all at once before
// the run asks for any, so that every wrong one is named: "PATH: not a
// folder", "PATH: No such file or directory", the destination's "PATH: no
// folder can be made in it: Permission denied". Nothing for a folder that
// can be taken.
std::vector<std::optional<std::string>> ProblemsWithGivenFolders(const std::vector<std::string>& folders);

}  // namespace posix
