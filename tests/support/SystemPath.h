// POSIX tests only: what a Windows-form test path ("\tmp\x\VOD") is to the
// system ("/tmp/x/VOD"), for the calls that the stand-in does not offer.
#pragma once

#include <string>

std::string SystemPath(const wchar_t* windowsPath);
inline std::string SystemPath(const std::wstring& windowsPath) { return SystemPath(windowsPath.c_str()); }
