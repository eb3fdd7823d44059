// The framework's wide string: UTF-16 code units in wchar_t with a counted
// length. Every length, index and cut counts code units, on every build.
#pragma once

#include <cstddef>
#include <new>
#include <string>

// Raised when a string cannot get the memory it needs.
class CMemoryException : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "CMemoryException: out of memory"; }
};

namespace framework_detail {
// Routes every string allocation failure to CMemoryException.
template <typename T>
struct StringAllocator {
    using value_type = T;
    StringAllocator() noexcept = default;
    template <typename U>
    StringAllocator(const StringAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw CMemoryException();
        void* p = ::operator new(n * sizeof(T), std::nothrow);
        if (p == nullptr) throw CMemoryException();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { ::operator delete(p); }
    template <typename U>
    bool operator==(const StringAllocator<U>&) const noexcept { return true; }
    template <typename U>
    bool operator!=(const StringAllocator<U>&) const noexcept { return false; }
};
}  // namespace framework_detail

class CString {
public:
    CString() noexcept = default;
    CString(const wchar_t* text);  // null reads as empty
    CString(const wchar_t* text, int length);

    CString& operator=(const wchar_t* text);

    int GetLength() const noexcept { return static_cast<int>(text_.size()); }
    bool IsEmpty() const noexcept { return text_.empty(); }
    wchar_t GetAt(int index) const { return text_.at(static_cast<std::size_t>(index)); }
    wchar_t operator[](int index) const { return GetAt(index); }
    // Always zero-terminated.
    operator const wchar_t*() const noexcept { return text_.c_str(); }

    CString& operator+=(const CString& text);
    CString& operator+=(const wchar_t* text);

    // Removes trailing white space, as the C library's iswspace classifies it.
    CString& TrimRight();
    // Removes every trailing character that occurs in `targets`.
    CString& TrimRight(const wchar_t* targets);

    // Index of the last `ch`, or -1.
    int ReverseFind(wchar_t ch) const noexcept;
    // Index of the first `sub` at or after `start`, or -1.
    int Find(const wchar_t* sub, int start = 0) const noexcept;
    int Find(wchar_t ch, int start = 0) const noexcept;

    // Counts out of range are clamped, as the framework does.
    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;

    // Ordinal comparison of code units: <0, 0 or >0.
    int Compare(const wchar_t* text) const noexcept;
    // As Compare, with the letters A-Z and a-z taken as equal (the C locale's
    // case folding, the same on every build).
    int CompareNoCase(const wchar_t* text) const noexcept;

    // A writable store of at least `minLength` characters plus a terminator;
    // ReleaseBuffer(-1) then takes the zero-terminated text in it as the value.
    wchar_t* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

private:
    using Storage = std::basic_string<wchar_t, std::char_traits<wchar_t>,
                                      framework_detail::StringAllocator<wchar_t>>;
    explicit CString(Storage text) : text_(std::move(text)) {}

    Storage text_;

    friend CString operator+(const CString& left, const CString& right);
    friend CString operator+(const CString& left, const wchar_t* right);
    friend CString operator+(const wchar_t* left, const CString& right);
};

CString operator+(const CString& left, const CString& right);
CString operator+(const CString& left, const wchar_t* right);
CString operator+(const wchar_t* left, const CString& right);

inline bool operator==(const CString& left, const wchar_t* right) { return left.Compare(right) == 0; }
inline bool operator==(const CString& left, const CString& right) { return left.Compare(right) == 0; }
inline bool operator!=(const CString& left, const wchar_t* right) { return !(left == right); }
inline bool operator!=(const CString& left, const CString& right) { return !(left == right); }
