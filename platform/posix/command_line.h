// What the Linux program's command line asks of the stand-in, beside the
// Win32 surface: folders given instead of picked, and a dry run.
#pragma once

#include <string>
#include <vector>

namespace posix {

// The pickers show nothing: each browse answers with the next of `folders`,
// given as the command line holds them (system paths, relative to the
// working folder).
void AnswerBrowsesWith(const std::vector<std::string>& folders);

// Creations and copies are answered as they would be, and nothing is
// written; the message says so.
void PlanWritesOnly();
bool PlanningWritesOnly();

// The second folder chosen is the destination: where this user cannot make
// a folder in it, the find query says it is not accessible, as it says of
// a missing one (files/destination_access.h).
void RefuseDestinationsThatTakeNoFolder();

}  // namespace posix
