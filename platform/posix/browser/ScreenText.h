// Text for one row of the full-screen browser. Curses takes whole code
// points in a wchar_t and lays out columns; a row must never wrap, so every
// text is cut to its width here, with an ellipsis where it was cut.
#pragma once

#include <cstddef>
#include <string>

namespace posix {

// Cleaned display text (DisplayText, DisplayPath: valid UTF-8) as code
// points. Without a Unicode terminal, whatever is not ASCII becomes "?".
std::wstring CodePoints(const std::string& shown, bool unicode);

// Columns taken by a code point; below 0 for one the terminal cannot show,
// which then shows as "?".
using ColumnWidth = int (*)(wchar_t codePoint);

// At most `columns` columns of `text`. A longer text loses its end, or its
// start when `keepEnd` (the end of a path tells most), and `ellipsis` (one
// column wide) marks the cut.
std::wstring FitColumns(const std::wstring& text, std::size_t columns, bool keepEnd, ColumnWidth width,
                        wchar_t ellipsis);

}  // namespace posix
