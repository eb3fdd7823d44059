#include "platform/posix/browser/ScreenText.h"

#include <algorithm>

#include "platform/posix/Names.h"

namespace posix {
namespace {

// Characters, left to right, with their widths; taken until the budget ends.
std::wstring TakeColumns(const std::wstring& text, std::size_t columns, ColumnWidth width, bool& cut) {
    std::wstring taken;
    std::size_t used = 0;
    cut = false;
    for (const wchar_t codePoint : text) {
        const int w = width(codePoint);
        const std::size_t needed = w < 0 ? 1 : static_cast<std::size_t>(w);
        if (used + needed > columns) {
            cut = true;
            break;
        }
        taken.push_back(w < 0 ? L'?' : codePoint);
        used += needed;
    }
    return taken;
}

}  // namespace

std::wstring CodePoints(const std::string& shown, bool unicode) {
    const std::wstring units = WidenText(shown);
    std::wstring codePoints;
    for (std::size_t i = 0; i < units.size(); ++i) {
        wchar_t codePoint = units[i];
        if (IsHighSurrogate(codePoint) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            codePoint = static_cast<wchar_t>(0x10000 + ((codePoint - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        }
        codePoints.push_back(!unicode && codePoint > 0x7E ? L'?' : codePoint);
    }
    return codePoints;
}

std::wstring FitColumns(const std::wstring& text, std::size_t columns, bool keepEnd, ColumnWidth width,
                        wchar_t ellipsis) {
    bool cut = false;
    std::wstring whole = TakeColumns(text, columns, width, cut);
    if (!cut) return whole;
    if (columns == 0) return std::wstring();
    if (!keepEnd) return TakeColumns(text, columns - 1, width, cut) + ellipsis;
    const std::wstring reversed(text.rbegin(), text.rend());
    std::wstring end = TakeColumns(reversed, columns - 1, width, cut);
    std::reverse(end.begin(), end.end());
    return ellipsis + end;
}

}  // namespace posix
