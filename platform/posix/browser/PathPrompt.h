// The path prompt of the full-screen browser: one line of typed text with
// the usual editing keys, and Tab completion of folder names. Plain logic
// with no terminal. Positions count UTF-16 code units; a surrogate pair is
// stepped over and deleted whole.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/browser/FolderTree.h"

namespace posix {

class PathPrompt {
public:
    // Resolves typed text to a folder path in normal form.
    using Resolver = std::function<std::wstring(const std::wstring& typed)>;

    // The cursor at the end of `text`.
    explicit PathPrompt(std::wstring text);

    const std::wstring& Text() const { return text_; }
    std::size_t Cursor() const { return cursor_; }

    void Insert(wchar_t unit);
    void Backspace();
    void Delete();
    void Left();
    void Right();
    void Home() { cursor_ = 0; }
    void End() { cursor_ = text_.size(); }
    void DeleteToStart();
    void DeleteToEnd();
    // Back to the start of the name before the cursor, separators after it
    // included.
    void DeleteNameBack();

    // Tab: completes the name before the cursor among the subfolders of the
    // folder that the text before it leads to: the whole name and a
    // separator when one folder fits, else as far as all that fit agree.
    // Exact letter case first; when no name fits that way, case ignored.
    // Returns the names that fit.
    std::vector<std::wstring> Complete(const Resolver& resolve, const FolderTree::Lister& list);

private:
    std::size_t Previous() const;
    std::size_t Next() const;
    wchar_t Separator() const;

    std::wstring text_;
    std::size_t cursor_;
};

}  // namespace posix
