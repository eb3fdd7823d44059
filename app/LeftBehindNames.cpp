#include "app/LeftBehindNames.h"

#include <string>

#include "platform/ShownText.h"

void LeftBehindNames::Add(const LeftBehind& item) {
    if (static_cast<int>(named_.size()) < kNamed) {
        named_.push_back(item);
    } else {
        ++more_;
    }
}

// Each entry is a paragraph of its own: a message box wraps long lines, and
// entries that run together are hard to tell apart.
CString LeftBehindNames::Text(const CString& sourceRoot, const CString& destinationRoot) const {
    if (named_.empty()) return CString();
    std::wstring text = L"\n\nStarting folder: " + ShownPath(std::wstring(sourceRoot)) +
                        L"\nCopy to folder: " + ShownPath(std::wstring(destinationRoot));
    for (const LeftBehind& item : named_) text += L"\n\n" + ShortEntry(item, sourceRoot, destinationRoot);
    if (more_ > 0) text += L"\n\nand " + std::to_wstring(more_) + L" more.";
    return text.c_str();
}
