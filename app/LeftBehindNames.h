#pragma once

#include <vector>

#include "app/LeftBehind.h"
#include "framework/CString.h"

// The first few things a run left behind or replaced, for a desktop
// message (the Windows box, the GTK dialog), where nobody sees the
// terminal's lines: the two folders once, then each entry short, and how
// many more there were.
class LeftBehindNames {
public:
    static constexpr int kNamed = 5;

    void Add(const LeftBehind& item);
    // How many were added, named or not.
    int Count() const { return static_cast<int>(named_.size()) + more_; }

    // After a blank line, the starting and the copy to folder; then each of
    // the first kNamed after a blank line; then "and N more." where there
    // were more. Empty when nothing was added.
    CString Text(const CString& sourceRoot, const CString& destinationRoot) const;

private:
    std::vector<LeftBehind> named_;
    int more_ = 0;
};
