// What the copy engine must know of the platform's folders beyond the Win32
// calls: whether names that differ only in letter case name one file there,
// and whether one folder lies inside another, links and all.
#pragma once

#include <string>

#include "platform/platform.h"

#ifndef _WIN32
#include "platform/posix/folders.h"
#endif

// A name as the destination's file system compares it: Windows file systems
// take "Intro.vtt" and "intro.vtt" for one name and fold them alike; Linux
// ones do not (a destination on a FAT or SMB file system would, which the
// Linux build does not look into).
inline std::wstring NameAsCompared(const wchar_t* name) {
    std::wstring compared(name);
#ifdef _WIN32
    if (!compared.empty()) {
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name, static_cast<int>(compared.size()), &compared[0],
                      static_cast<int>(compared.size()), nullptr, nullptr, 0);
    }
#endif
    return compared;
}

namespace folder_rules {
#ifdef _WIN32
// The full path as Windows resolves it, without a separator at the end.
inline std::wstring FullPath(const wchar_t* path) {
    wchar_t full[32768];
    const DWORD length = GetFullPathNameW(path, 32768, full, nullptr);
    std::wstring result = length > 0 && length < 32768 ? std::wstring(full, length) : std::wstring(path);
    while (result.size() > 1 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
    return result;
}
#endif
}  // namespace folder_rules

// Whether `folder` is `outer` or lies below it: on Linux with every link
// resolved (a folder reached through a link into the source lies inside
// it), on Windows as the full paths say, letter case ignored.
inline bool FolderLiesWithin(const wchar_t* folder, const wchar_t* outer) {
#ifdef _WIN32
    const std::wstring inner = folder_rules::FullPath(folder);
    const std::wstring around = folder_rules::FullPath(outer);
    if (inner.size() < around.size()) return false;
    if (CompareStringOrdinal(inner.c_str(), static_cast<int>(around.size()), around.c_str(),
                             static_cast<int>(around.size()), TRUE) != CSTR_EQUAL) {
        return false;
    }
    return inner.size() == around.size() || inner[around.size()] == L'\\' || around.back() == L'\\';
#else
    const std::wstring inner = posix::RealFolderPath(folder).value_or(posix::NormalFolderPath(folder));
    const std::wstring around = posix::RealFolderPath(outer).value_or(posix::NormalFolderPath(outer));
    return posix::IsWithinFolder(inner, around);
#endif
}
