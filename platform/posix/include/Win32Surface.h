// The Win32 surface of the Linux build: our stand-in's declarations. CMake
// puts this folder on the include path of the Linux build alone
// (platform/Platform.h).
#pragma once

#include "platform/posix/Win32.h"
