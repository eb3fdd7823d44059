// What the full-screen browser tells about its keys: the line at the
// bottom, which always shows the keys that end a picker, and the full
// table that `?` and F1 show, paged on a screen too short for it. One list
// feeds both.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/posix/browser/Keys.h"

namespace posix {

// The key line for a screen `columns` wide: Enter and Esc first, then as
// many of the others, whole, as fit.
std::string KeyLine(std::size_t columns);

// The full table for `columns` columns, the keys in a column of their own,
// and what each does wrapped beside them.
std::vector<std::string> KeyTable(std::size_t columns);

// Where the key table stands on the screen. Where it fits, every key
// closes it, as a table that shows everything needs nothing else; where it
// does not, the keys that move through a list move it, and any other key
// closes it.
class KeyTablePager {
public:
    // The table's rows and the screen's rows for it, before each drawing:
    // both change with the terminal's size.
    void Fit(std::size_t tableRows, std::size_t rowsInView);
    // Up and Down by a row, PageUp, PageDown and Space by a page, Home and
    // End to either end: true when `key` is one of them and the table does
    // not fit, false for the keys that close it.
    bool Scroll(const KeyPress& key);

    bool Fits() const { return count_ <= rows_; }
    std::size_t First() const { return first_; }
    // How many rows show, from First() on.
    std::size_t Shown() const;
    // Which rows show ("Lines 1-8 of 19"); nothing where the table fits.
    std::string Place() const;
    // The row below the table: how to close it and, where it does not fit,
    // how to see the rest. The way on (or back, at the end) and Esc always,
    // then what fits in `columns`.
    std::string Footer(std::size_t columns) const;

private:
    std::size_t Last() const { return Fits() ? 0 : count_ - rows_; }

    std::size_t count_ = 0;
    std::size_t rows_ = 1;
    std::size_t first_ = 0;
};

}  // namespace posix
