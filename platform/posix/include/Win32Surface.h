// The Win32 surface of the Linux build: our POSIX stand-in for the part of
// it that Cuecarry calls. Names, types, constants and contracts are those of
// Win32; see files/ (the kernel file services), Shell.cpp and browser/ (the
// shell), and User.cpp for how each call maps onto the operating system.
// CMake puts this folder on the include path of the Linux build alone
// (platform/Platform.h).
#pragma once

#include "platform/posix/Types.h"
#include "platform/posix/Files.h"
#include "platform/posix/Shell.h"
#include "platform/posix/User.h"
