#include "platform/posix/browser/PathPrompt.h"

#include <algorithm>
#include <utility>

#include "platform/posix/Names.h"

namespace posix {
namespace {

bool IsSeparator(wchar_t unit) { return unit == L'/' || unit == L'\\'; }

using Equal = bool (*)(wchar_t, wchar_t);
bool SameUnit(wchar_t a, wchar_t b) { return a == b; }
bool SameIgnoringCase(wchar_t a, wchar_t b) { return UpcaseUnit(a) == UpcaseUnit(b); }

std::vector<std::wstring> Fitting(const std::vector<std::wstring>& names, const std::wstring& start, Equal equal) {
    std::vector<std::wstring> fitting;
    for (const std::wstring& name : names) {
        if (name.size() >= start.size() && std::equal(start.begin(), start.end(), name.begin(), equal)) {
            fitting.push_back(name);
        }
    }
    return fitting;
}

// As far as every name agrees, in the first name's letters.
std::wstring SharedStart(const std::vector<std::wstring>& names, Equal equal) {
    std::size_t length = names.front().size();
    for (const std::wstring& name : names) {
        const auto ends = std::mismatch(names.front().begin(), names.front().begin() + length, name.begin(),
                                        name.end(), equal);
        length = static_cast<std::size_t>(ends.first - names.front().begin());
    }
    // Never half a surrogate pair.
    if (length > 0 && length < names.front().size() && IsHighSurrogate(names.front()[length - 1])) --length;
    return names.front().substr(0, length);
}

}  // namespace

PathPrompt::PathPrompt(std::wstring text) : text_(std::move(text)), cursor_(text_.size()) {}

void PathPrompt::Insert(wchar_t unit) { text_.insert(cursor_++, 1, unit); }

void PathPrompt::Backspace() {
    const std::size_t from = Previous();
    text_.erase(from, cursor_ - from);
    cursor_ = from;
}

void PathPrompt::Delete() { text_.erase(cursor_, Next() - cursor_); }

void PathPrompt::Left() { cursor_ = Previous(); }

void PathPrompt::Right() { cursor_ = Next(); }

void PathPrompt::DeleteToStart() {
    text_.erase(0, cursor_);
    cursor_ = 0;
}

void PathPrompt::DeleteToEnd() { text_.erase(cursor_); }

void PathPrompt::DeleteNameBack() {
    std::size_t from = cursor_;
    while (from > 0 && IsSeparator(text_[from - 1])) --from;
    while (from > 0 && !IsSeparator(text_[from - 1])) --from;
    text_.erase(from, cursor_ - from);
    cursor_ = from;
}

std::vector<std::wstring> PathPrompt::Complete(const Resolver& resolve, const FolderTree::Lister& list) {
    const std::wstring before = text_.substr(0, cursor_);
    if (before == L"~") {
        Insert(Separator());
        return {};
    }
    const std::size_t nameStart = before.find_last_of(L"/\\") == std::wstring::npos ? 0
                                                                                     : before.find_last_of(L"/\\") + 1;
    const std::wstring start = before.substr(nameStart);
    const std::vector<std::wstring> names = list(resolve(before.substr(0, nameStart))).names;
    Equal equal = SameUnit;
    std::vector<std::wstring> fitting = Fitting(names, start, equal);
    if (fitting.empty()) {
        equal = SameIgnoringCase;
        fitting = Fitting(names, start, equal);
    }
    if (fitting.empty()) return fitting;
    std::wstring completed = fitting.size() == 1 ? fitting.front() + Separator() : SharedStart(fitting, equal);
    // Case ignored, several names may agree less far than the typed text goes.
    if (completed.size() < start.size()) completed = start;
    text_.replace(nameStart, start.size(), completed);
    cursor_ = nameStart + completed.size();
    return fitting;
}

std::size_t PathPrompt::Previous() const {
    if (cursor_ == 0) return 0;
    const bool pair = cursor_ >= 2 && IsLowSurrogate(text_[cursor_ - 1]) && IsHighSurrogate(text_[cursor_ - 2]);
    return cursor_ - (pair ? 2 : 1);
}

std::size_t PathPrompt::Next() const {
    if (cursor_ == text_.size()) return cursor_;
    const bool pair = cursor_ + 1 < text_.size() && IsHighSurrogate(text_[cursor_]) && IsLowSurrogate(text_[cursor_ + 1]);
    return cursor_ + (pair ? 2 : 1);
}

// The kind the text already uses: "\" for a path typed in Windows form.
wchar_t PathPrompt::Separator() const {
    return text_.find(L'/') == std::wstring::npos && text_.find(L'\\') != std::wstring::npos ? L'\\' : L'/';
}

}  // namespace posix
