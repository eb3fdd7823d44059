// The one header through which every layer above reaches the Win32 surface.
// On Windows it is the system's own API; elsewhere it is our POSIX stand-in,
// which keeps the same names, types, constants and calling contracts. Which
// one is the build's to say: CMake puts platform/windows/include or
// platform/posix/include on the include path.
#pragma once

#include "Win32Surface.h"
