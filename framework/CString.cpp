#include "framework/CString.h"

#include <cwctype>

namespace {

using Traits = std::char_traits<wchar_t>;

std::size_t LengthOf(const wchar_t* text) { return text == nullptr ? 0 : Traits::length(text); }

// Clamps a count or index from the caller into [0, limit].
std::size_t Clamp(int value, std::size_t limit) {
    if (value <= 0) return 0;
    return static_cast<std::size_t>(value) < limit ? static_cast<std::size_t>(value) : limit;
}

// Case folding of the C locale: only the ASCII letters, so that comparisons
// give the same answer on every build, whatever the user's locale.
wchar_t FoldAscii(wchar_t ch) { return (ch >= L'A' && ch <= L'Z') ? static_cast<wchar_t>(ch - L'A' + L'a') : ch; }

// <0, 0 or >0 by code units, as unsigned 16-bit values on every build.
int CompareUnits(wchar_t left, wchar_t right) {
    return static_cast<int>(static_cast<unsigned>(left) & 0xFFFFu) -
           static_cast<int>(static_cast<unsigned>(right) & 0xFFFFu);
}

}  // namespace

CString::CString(const wchar_t* text) : text_(text == nullptr ? Storage() : Storage(text)) {}

CString::CString(const wchar_t* text, int length)
    : text_(text == nullptr || length <= 0 ? Storage() : Storage(text, static_cast<std::size_t>(length))) {}

CString& CString::operator=(const wchar_t* text) {
    if (text == nullptr) {
        text_.clear();
    } else {
        text_.assign(text);  // safe even when `text` points into this string
    }
    return *this;
}

CString& CString::operator+=(const CString& text) {
    text_ += text.text_;
    return *this;
}

CString& CString::operator+=(const wchar_t* text) {
    if (text != nullptr) text_.append(text);
    return *this;
}

CString& CString::TrimRight() {
    std::size_t end = text_.size();
    while (end > 0 && std::iswspace(static_cast<std::wint_t>(text_[end - 1]))) --end;
    text_.erase(end);
    return *this;
}

CString& CString::TrimRight(const wchar_t* targets) {
    const std::size_t targetCount = LengthOf(targets);
    std::size_t end = text_.size();
    while (end > 0 && Traits::find(targets, targetCount, text_[end - 1]) != nullptr) --end;
    text_.erase(end);
    return *this;
}

int CString::ReverseFind(wchar_t ch) const noexcept {
    const std::size_t at = text_.rfind(ch);
    return at == Storage::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const wchar_t* sub, int start) const noexcept {
    if (sub == nullptr || start < 0 || static_cast<std::size_t>(start) > text_.size()) return -1;
    const std::size_t at = text_.find(sub, static_cast<std::size_t>(start));
    return at == Storage::npos ? -1 : static_cast<int>(at);
}

int CString::Find(wchar_t ch, int start) const noexcept {
    if (start < 0) return -1;
    const std::size_t at = text_.find(ch, static_cast<std::size_t>(start));
    return at == Storage::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const { return CString(text_.substr(0, Clamp(count, text_.size()))); }

CString CString::Right(int count) const {
    const std::size_t n = Clamp(count, text_.size());
    return CString(text_.substr(text_.size() - n));
}

CString CString::Mid(int first) const { return CString(text_.substr(Clamp(first, text_.size()))); }

int CString::Compare(const wchar_t* text) const noexcept {
    const wchar_t* other = text == nullptr ? L"" : text;
    const wchar_t* mine = text_.c_str();
    for (;; ++mine, ++other) {
        if (const int order = CompareUnits(*mine, *other); order != 0 || *mine == L'\0') return order;
    }
}

int CString::CompareNoCase(const wchar_t* text) const noexcept {
    const wchar_t* other = text == nullptr ? L"" : text;
    const wchar_t* mine = text_.c_str();
    for (;; ++mine, ++other) {
        const int order = CompareUnits(FoldAscii(*mine), FoldAscii(*other));
        if (order != 0 || *mine == L'\0') return order;
    }
}

wchar_t* CString::GetBuffer(int minLength) {
    if (minLength > 0 && static_cast<std::size_t>(minLength) > text_.size()) {
        text_.resize(static_cast<std::size_t>(minLength), L'\0');
    }
    return &text_[0];
}

void CString::ReleaseBuffer(int newLength) {
    const std::size_t length = newLength < 0 ? Traits::length(text_.c_str()) : Clamp(newLength, text_.size());
    text_.resize(length < text_.size() ? length : text_.size());
}

CString operator+(const CString& left, const CString& right) { return CString(left.text_ + right.text_); }

CString operator+(const CString& left, const wchar_t* right) {
    CString result(left);
    result += right;
    return result;
}

CString operator+(const wchar_t* left, const CString& right) {
    CString result(left);
    result += right;
    return result;
}
