// What the Linux program's command line asks of the stand-in, beside the
// Win32 surface: folders given instead of picked, and a dry run.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace posix {

// The pickers show nothing: each browse answers with the next of `folders`,
// given as the command line holds them (system paths, relative to the
// working folder).
void AnswerBrowsesWith(const std::vector<std::string>& folders);

// Why each of the folders given cannot be taken, checked all at once before
// the run asks for any, so that every wrong one is named: "PATH: not a
// folder", "PATH: No such file or directory", the destination's "PATH: no
// folder can be made in it: Permission denied". Nothing for a folder that
// can be taken.
std::vector<std::optional<std::string>> ProblemsWithGivenFolders(const std::vector<std::string>& folders);

// Creations and copies are answered as they would be, and nothing is
// written; the message says so.
void PlanWritesOnly();
bool PlanningWritesOnly();

// The second folder chosen is the destination: where this user cannot make
// a folder in it, the find query says it is not accessible, as it says of
// a missing one (files/destination_access.h).
void RefuseDestinationsThatTakeNoFolder();

}  // namespace posix
