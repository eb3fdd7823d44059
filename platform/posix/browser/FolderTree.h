// The folder tree of the full-screen browser, one level at a time, as the
// shell's tree view is walked with the keys: the folders of the current
// level, the highlighted one (the selection), the rows in view, and
// type-ahead. Plain logic with no terminal: the view draws what it says.
//
// The top level holds the tree's top alone; every other level is one
// folder: a first row for the folder itself (".", shown as "./"), then its
// subfolders. Right opens a folder with its own row highlighted, so the
// folder opened stays the selection, as an expanded folder of the shell's
// tree stays selected until the highlight moves. A folder with no
// subfolders (or none that can be read) is not opened, and the folder that
// is revealed always appears in its level, even when its parent cannot be
// listed or does not list it (a hidden folder typed as a path).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/Folders.h"

namespace posix {

class FolderTree {
public:
    using Lister = std::function<Subfolders(const std::wstring& folder)>;
    using Clock = std::chrono::steady_clock;

    // The name of a level's own row.
    static constexpr wchar_t kItself[] = L".";

    // `top` in normal form; `list` gives subfolders in the order they are
    // shown. The tree starts at the top level.
    FolderTree(std::wstring top, Lister list);

    // Shows `folder` (in normal form, within the tree) highlighted among its
    // siblings.
    void Reveal(const std::wstring& folder);

    // The folder whose subfolders are shown; empty at the top level.
    const std::wstring& Level() const { return level_; }
    // The rows of the level: kItself, then the subfolders' names; at the
    // top level, the top's full path.
    const std::vector<std::wstring>& Names() const { return names_; }
    // errno of the level's listing; 0 when it was read.
    int ListingError() const { return listingError_; }
    std::size_t Highlight() const { return highlight_; }
    // The highlighted folder's path.
    std::wstring Selected() const;

    // Up and Down (by one), Home and End; the highlight stops at either end.
    void MoveBy(long rows);
    void MoveTo(std::size_t index);
    // To the last (first) row in view, or a page on from there.
    void PageDown();
    void PageUp();

    enum class Opening { Opened, NoSubfolders, Unreadable };
    // Right: the highlighted folder's level, its own row highlighted. When
    // it has no subfolders to show, the level stays; the errno of a failed
    // listing goes to `error`. On the level's own row, Right steps to the
    // first subfolder, as the shell's tree steps into an expanded folder.
    Opening Open(int& error);
    // Left: the parent level, the folder we came from highlighted. False at
    // the top level.
    bool Up();

    // Type-ahead: the highlight goes to the next folder whose name starts
    // with what was typed within the last second, letter case ignored. A
    // key repeated alone steps through the folders with that initial. False
    // when nothing matches (the highlight stays).
    bool Type(wchar_t unit, Clock::time_point now);
    // What type-ahead is looking for.
    const std::wstring& Typed() const { return typed_; }

    // How many rows the view has for the level; the first one in view
    // follows the highlight. A new number of rows (the terminal was resized)
    // lays the level out afresh, as when it was opened: from its top,
    // scrolled only as far as the highlight needs, so that shrinking the
    // terminal and growing it back leaves no rows hidden above.
    void SetRows(std::size_t rows);
    std::size_t Rows() const { return rows_; }
    std::size_t FirstInView() const { return first_; }

private:
    // `subfolders` without the level's own row; `highlight` counts it.
    void Show(std::wstring level, std::vector<std::wstring> subfolders, int error, std::size_t highlight);
    void KeepHighlightInView();
    std::size_t FindFrom(std::size_t start, const std::wstring& prefix) const;

    std::wstring top_;
    Lister list_;
    std::wstring level_;
    std::vector<std::wstring> names_;
    int listingError_ = 0;
    std::size_t highlight_ = 0;
    std::size_t rows_ = 1;
    std::size_t first_ = 0;
    std::wstring typed_;
    Clock::time_point lastTyped_;
};

// The first row in view that keeps `highlight` in a window of `rows` rows,
// moving the window from `first` no more than needed and never leaving rows
// empty at the end that a longer list could fill.
std::size_t FirstRowInView(std::size_t first, std::size_t highlight, std::size_t count, std::size_t rows);

}  // namespace posix
