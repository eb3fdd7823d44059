// A destination in which this user cannot make a folder is as good as a
// missing one: every caption would fail, each with its own line. The Linux
// program has its find query refuse it, so that the run ends before the
// walk with the message a missing destination gets.
#pragma once

#include <string>

namespace posix {

// Set once, before the run: the destination is refused as said above.
void RefuseDestinationsThatTakeNoFolder();

// A folder that a browse handed back, in the order the run asks for them:
// the source first, the destination second.
void FolderChosen(const std::string& folder);

// 0, or why `path` (looked up by the find query) is the chosen destination
// and this user cannot make a folder in it (an errno).
int DestinationRefusal(const std::string& path);

}  // namespace posix
