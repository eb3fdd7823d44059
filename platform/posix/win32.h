// Our POSIX stand-in for the part of the Win32 surface that Cuecarry calls.
// Names, types, constants and contracts are those of Win32; see files/ (the
// kernel file services), shell.cpp and browser/ (the shell), and user.cpp
// for how each call maps onto the operating system.
#pragma once

#include "platform/posix/types.h"
#include "platform/posix/files.h"
#include "platform/posix/shell.h"
#include "platform/posix/user.h"
