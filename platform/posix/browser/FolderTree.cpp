#include "platform/posix/browser/FolderTree.h"

#include <algorithm>
#include <utility>

#include "platform/posix/browser/FolderOrder.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

// How long type-ahead waits for the next key of the same name.
constexpr auto kTypeAheadWindow = std::chrono::seconds(1);

bool StartsWithIgnoringCase(const std::wstring& name, const std::wstring& prefix) {
    if (prefix.size() > name.size()) return false;
    return std::equal(prefix.begin(), prefix.end(), name.begin(),
                      [](wchar_t a, wchar_t b) { return UpcaseUnit(a) == UpcaseUnit(b); });
}

// "xxx": the same key again and again, which steps through the folders with
// that initial rather than looking for a name that starts "xxx".
bool IsOneKeyRepeated(const std::wstring& typed) {
    return typed.size() > 1 && std::all_of(typed.begin(), typed.end(), [&typed](wchar_t unit) {
               return UpcaseUnit(unit) == UpcaseUnit(typed[0]);
           });
}

}  // namespace

std::size_t FirstRowInView(std::size_t first, std::size_t highlight, std::size_t count, std::size_t rows) {
    rows = std::max<std::size_t>(rows, 1);
    if (count <= rows) return 0;
    if (highlight < first) first = highlight;
    if (highlight >= first + rows) first = highlight + 1 - rows;
    return std::min(first, count - rows);
}

FolderTree::FolderTree(std::wstring top, Lister list) : top_(std::move(top)), list_(std::move(list)) {
    Show(std::wstring(), {top_}, 0, 0);
}

void FolderTree::Reveal(const std::wstring& folder) {
    if (folder == top_) {
        Show(std::wstring(), {top_}, 0, 0);
        return;
    }
    const std::wstring parent = ParentFolder(folder);
    const std::wstring name = FolderName(folder);
    Subfolders listing = list_(parent);
    std::vector<std::wstring>& names = listing.names;
    auto at = std::lower_bound(names.begin(), names.end(), name, ShownBefore);
    if (at == names.end() || *at != name) at = names.insert(at, name);
    const auto highlight = static_cast<std::size_t>(at - names.begin()) + 1;
    Show(parent, std::move(names), listing.error, highlight);
}

std::wstring FolderTree::Selected() const {
    if (level_.empty()) return top_;
    if (highlight_ == 0) return level_;
    return (level_ == L"\\" ? level_ : level_ + L"\\") + names_[highlight_];
}

void FolderTree::MoveBy(long rows) {
    const long last = static_cast<long>(names_.size()) - 1;
    MoveTo(static_cast<std::size_t>(std::clamp(static_cast<long>(highlight_) + rows, 0L, last)));
}

void FolderTree::MoveTo(std::size_t index) {
    highlight_ = std::min(index, names_.size() - 1);
    KeepHighlightInView();
}

void FolderTree::PageDown() {
    const std::size_t lastInView = std::min(first_ + rows_, names_.size()) - 1;
    MoveTo(highlight_ < lastInView ? lastInView : highlight_ + std::max<std::size_t>(rows_ - 1, 1));
}

void FolderTree::PageUp() {
    const std::size_t step = std::max<std::size_t>(rows_ - 1, 1);
    MoveTo(highlight_ > first_ ? first_ : highlight_ - std::min(highlight_, step));
}

FolderTree::Opening FolderTree::Open(int& error) {
    error = 0;
    if (!level_.empty() && highlight_ == 0) {
        MoveTo(1);
        return Opening::Opened;
    }
    const std::wstring folder = Selected();
    Subfolders listing = list_(folder);
    error = listing.error;
    if (listing.error != 0) return Opening::Unreadable;
    if (listing.names.empty()) return Opening::NoSubfolders;
    Show(folder, std::move(listing.names), 0, 0);
    return Opening::Opened;
}

bool FolderTree::Up() {
    if (level_.empty()) return false;
    Reveal(level_);
    return true;
}

bool FolderTree::Type(wchar_t unit, Clock::time_point now) {
    if (now - lastTyped_ > kTypeAheadWindow) typed_.clear();
    lastTyped_ = now;
    typed_.push_back(unit);
    // A first key looks past the highlight; more keys of one name may still
    // fit the folder already highlighted.
    std::size_t found = FindFrom(typed_.size() == 1 ? highlight_ + 1 : highlight_, typed_);
    if (found == names_.size() && IsOneKeyRepeated(typed_)) found = FindFrom(highlight_ + 1, typed_.substr(0, 1));
    if (found == names_.size()) return false;
    MoveTo(found);
    return true;
}

void FolderTree::SetRows(std::size_t rows) {
    rows = std::max<std::size_t>(rows, 1);
    if (rows != rows_) first_ = 0;
    rows_ = rows;
    KeepHighlightInView();
}

void FolderTree::Show(std::wstring level, std::vector<std::wstring> subfolders, int error, std::size_t highlight) {
    level_ = std::move(level);
    names_ = std::move(subfolders);
    if (!level_.empty()) names_.insert(names_.begin(), kItself);
    listingError_ = error;
    highlight_ = highlight;
    first_ = 0;
    typed_.clear();
    KeepHighlightInView();
}

void FolderTree::KeepHighlightInView() { first_ = FirstRowInView(first_, highlight_, names_.size(), rows_); }

// Wraps around the end; names_.size() when no name starts with `prefix`.
std::size_t FolderTree::FindFrom(std::size_t start, const std::wstring& prefix) const {
    for (std::size_t step = 0; step < names_.size(); ++step) {
        const std::size_t at = (start + step) % names_.size();
        if (StartsWithIgnoringCase(names_[at], prefix)) return at;
    }
    return names_.size();
}

}  // namespace posix
