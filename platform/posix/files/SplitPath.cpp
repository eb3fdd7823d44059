// The C runtime's path splitting, _wsplitpath_s, on the stand-in's paths.
// They never start with a drive: a POSIX file name may hold a colon, so
// "C:x.vtt" is a name with the base name "C:x", never drive C: and "x".
#include <algorithm>
#include <cerrno>
#include <string_view>

#include "platform/posix/Files.h"

namespace {

struct PathPart {
    wchar_t* buffer;
    std::size_t size;
    std::size_t begin;
    std::size_t end;
};

void ClearParts(PathPart* parts, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (parts[i].buffer != nullptr && parts[i].size > 0) parts[i].buffer[0] = L'\0';
    }
}

errno_t SplitFailure(PathPart* parts, std::size_t count, errno_t code) {
    ClearParts(parts, count);
    errno = code;
    return code;
}

}  // namespace

errno_t _wsplitpath_s(const wchar_t* path,
                      wchar_t* drive, std::size_t driveNumberOfElements,
                      wchar_t* dir, std::size_t dirNumberOfElements,
                      wchar_t* fname, std::size_t nameNumberOfElements,
                      wchar_t* ext, std::size_t extNumberOfElements) {
    PathPart parts[] = {{drive, driveNumberOfElements, 0, 0},
                        {dir, dirNumberOfElements, 0, 0},
                        {fname, nameNumberOfElements, 0, 0},
                        {ext, extNumberOfElements, 0, 0}};
    constexpr std::size_t kParts = sizeof(parts) / sizeof(parts[0]);
    // A part is either not wanted (no buffer, no size) or wanted with room.
    for (const PathPart& part : parts) {
        if ((part.buffer == nullptr) != (part.size == 0)) return SplitFailure(parts, kParts, EINVAL);
    }
    if (path == nullptr) return SplitFailure(parts, kParts, EINVAL);

    const std::wstring_view text(path);
    const std::size_t separator = text.find_last_of(L"\\/");
    const std::size_t dirEnd = separator == std::wstring_view::npos ? 0 : separator + 1;
    const std::size_t dot = text.rfind(L'.');
    const std::size_t extBegin = dot == std::wstring_view::npos || dot < dirEnd ? text.size() : dot;
    const std::size_t bounds[] = {0, 0, dirEnd, extBegin, text.size()};
    for (std::size_t i = 0; i < kParts; ++i) {
        parts[i].begin = bounds[i];
        parts[i].end = bounds[i + 1];
        if (parts[i].buffer != nullptr && parts[i].end - parts[i].begin >= parts[i].size) {
            return SplitFailure(parts, kParts, ERANGE);
        }
    }
    for (const PathPart& part : parts) {
        if (part.buffer == nullptr) continue;
        std::copy(text.begin() + part.begin, text.begin() + part.end, part.buffer);
        part.buffer[part.end - part.begin] = L'\0';
    }
    return 0;
}
