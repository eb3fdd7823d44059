#include "platform/posix/browser/FolderOrder.h"

#include <cstddef>

#include "platform/posix/Names.h"

namespace posix {
namespace {

// The base letter, in upper case, of each code point from U+00C0 to
// U+017F (Latin-1 Supplement letters, Latin Extended-A); '-' for the two
// signs (U+00D7, U+00F7) and thorn, which stay as they are, and '2' for the
// letters that stand for two (Æ, ß, Ĳ, Œ: see TwoLetters).
constexpr wchar_t kFirstAccented = 0x00C0;
constexpr char kBaseLetters[] =
    "AAAAAA2CEEEEIIII" "DNOOOOO-OUUUUY-2" "AAAAAA2CEEEEIIII" "DNOOOOO-OUUUUY-Y"   // U+00C0
    "AAAAAACCCCCCCCDD" "DDEEEEEEEEEEGGGG" "GGGGHHHHIIIIIIII" "II22JJKKKLLLLLLL"   // U+0100
    "LLLNNNNNNNNNOOOO" "OO22RRRRRRSSSSSS" "SSTTTTTTUUUUUUUU" "UUUUWWYYYZZZZZZS";  // U+0140
constexpr wchar_t kLastAccented = 0x017F;

const wchar_t* TwoLetters(wchar_t unit) {
    switch (unit) {
    case 0x00C6: case 0x00E6: return L"AE";
    case 0x00DF: return L"SS";
    case 0x0132: case 0x0133: return L"IJ";
    case 0x0152: case 0x0153: return L"OE";
    default: return nullptr;
    }
}

bool IsDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

// Punctuation, spaces and the other signs of ASCII and Latin-1; every
// other code unit counts as a letter.
bool IsSign(wchar_t unit) {
    if (unit >= kFirstAccented) return unit == 0xD7 || unit == 0xF7;
    const bool letter = (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z') || unit == 0xAA ||
                        unit == 0xB5 || unit == 0xBA;
    return !letter && !IsDigit(unit);
}

// What the order compares, one after the other: signs (punctuation,
// spaces) by their code unit, numbers by their value, letters folded.
struct Element {
    enum Kind { Sign, Number, Letter } kind;
    wchar_t unit;                 // Sign, Letter
    std::size_t digits, length;   // Number: where its digits start past leading zeros, how many
};

class Elements {
public:
    explicit Elements(const std::wstring& text) : text_(text) {}

    bool Next(Element& element) {
        if (second_ != 0) {
            element = {Element::Letter, second_, 0, 0};
            second_ = 0;
            return true;
        }
        if (at_ == text_.size()) return false;
        const wchar_t unit = text_[at_];
        if (IsDigit(unit)) {
            while (at_ < text_.size() && text_[at_] == L'0') ++at_;
            const std::size_t digits = at_;
            while (at_ < text_.size() && IsDigit(text_[at_])) ++at_;
            element = {Element::Number, 0, digits, at_ - digits};
            return true;
        }
        ++at_;
        if (IsSign(unit)) {
            element = {Element::Sign, unit, 0, 0};
        } else if (const wchar_t* two = TwoLetters(unit)) {
            element = {Element::Letter, two[0], 0, 0};
            second_ = two[1];
        } else {
            element = {Element::Letter, Folded(unit), 0, 0};
        }
        return true;
    }

private:
    static wchar_t Folded(wchar_t unit) {
        if (unit >= kFirstAccented && unit <= kLastAccented) {
            const char base = kBaseLetters[unit - kFirstAccented];
            if (base != '-') return static_cast<wchar_t>(base);
        }
        return UpcaseUnit(unit);
    }

    const std::wstring& text_;
    std::size_t at_ = 0;
    wchar_t second_ = 0;
};

int Compare(const Element& left, const std::wstring& leftText, const Element& right, const std::wstring& rightText) {
    if (left.kind != right.kind) return left.kind < right.kind ? -1 : 1;
    if (left.kind != Element::Number) return left.unit == right.unit ? 0 : (left.unit < right.unit ? -1 : 1);
    // Without leading zeros, a longer number is larger; of two as long, the
    // first digit that differs decides. No number is too long for this.
    if (left.length != right.length) return left.length < right.length ? -1 : 1;
    return leftText.compare(left.digits, left.length, rightText, right.digits, right.length);
}

// Case, accents and leading zeros ignored; negative, 0 or positive.
int CompareFolded(const std::wstring& left, const std::wstring& right) {
    Elements lefts(left);
    Elements rights(right);
    for (;;) {
        Element l{};
        Element r{};
        const bool hasLeft = lefts.Next(l);
        const bool hasRight = rights.Next(r);
        if (!hasLeft || !hasRight) return hasLeft == hasRight ? 0 : (hasLeft ? 1 : -1);
        if (const int order = Compare(l, left, r, right)) return order;
    }
}

}  // namespace

bool ShownBefore(const std::wstring& left, const std::wstring& right) {
    const int folded = CompareFolded(left, right);
    return folded != 0 ? folded < 0 : left < right;
}

}  // namespace posix
