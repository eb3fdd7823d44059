// What the full-screen browser tells about its keys: the line at the
// bottom, which always shows the keys that end a picker, and the full
// table that `?` and F1 show. One list feeds both.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace posix {

// The key line for a screen `columns` wide: Enter and Esc first, then as
// many of the others, whole, as fit.
std::string KeyLine(std::size_t columns);

// The full table for `columns` columns, the keys in a column of their own,
// and what each does wrapped beside them.
std::vector<std::string> KeyTable(std::size_t columns);

}  // namespace posix
