// The Win32 surface of the Windows build: the system's own headers, with
// what they need said first. CMake puts this folder on the include path of
// the Windows build alone (platform/Platform.h).
#pragma once

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
