// The thread's last error in words, as the platform says it, for a message
// that names what a run left behind.
#pragma once

#include <string>

#include "platform/platform.h"

#ifndef _WIN32
#include "platform/posix/files/errors.h"
#include "platform/posix/names.h"
#endif

inline std::wstring LastErrorInWords() {
#ifdef _WIN32
    const DWORD error = GetLastError();
    wchar_t text[512] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  512, nullptr);
    // The system's text ends its line; the message goes on after it.
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) --length;
    return length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(error);
#else
    return posix::WidenText(posix::LastErrorReason());
#endif
}
