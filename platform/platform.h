// The one header through which every layer above reaches the Win32 surface.
// On Windows it is the system's own API; elsewhere it is our POSIX stand-in,
// which keeps the same names, types, constants and calling contracts.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
#include <windows.h>
#include <shlobj.h>
#include <stdlib.h>
#else
#include "platform/posix/win32.h"
#endif
