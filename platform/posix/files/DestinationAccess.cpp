#include "platform/posix/files/DestinationAccess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>


namespace posix {
namespace {

// Set before the run asks for its folders, then read on the walk's thread.
bool refusing = false;
int chosen = 0;
std::optional<std::string> destination;

}  // namespace

void RefuseDestinationsThatTakeNoFolder() { refusing = true; }

void FolderChosen(const std::string& folder) {
    if (refusing && ++chosen == 2) destination = folder;
}

int DestinationRefusal(const std::string& path) {
    if (!destination || path != *destination) return 0;
    // The system decides who may make an entry, root included.
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

}  // namespace posix
