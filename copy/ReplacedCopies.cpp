#include "copy/ReplacedCopies.h"

#include "platform/FindListing.h"
#include "platform/FolderRules.h"

namespace {

// FNV-1a over the code units, from two seeds: two independent hashes, from
// which the filter's three positions are made.
std::uint64_t Hash(const std::wstring& name, std::uint64_t seed) {
    std::uint64_t hash = seed;
    for (const wchar_t unit : name) {
        hash ^= static_cast<std::uint64_t>(static_cast<std::uint16_t>(unit));
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

template <typename Visit>
void ForEachPosition(const std::wstring& name, std::size_t bits, Visit visit) {
    const std::uint64_t first = Hash(name, 0xcbf29ce484222325ULL);
    const std::uint64_t second = Hash(name, 0x84222325cbf29ce4ULL) | 1;
    for (std::uint64_t probe = 0; probe < 3; ++probe) visit((first + probe * second) % bits);
}

// The entry of `folder` that the destination takes for `name`, as it is
// spelled there: `name` itself, or where letter case is ignored, a name
// that differs from it only in case. Nothing when there is none.
std::optional<CString> EntryNamedAlike(const CString& folder, const CString& name, const std::wstring& compared,
                                       bool other) {
    // A name whose last unit is a wildcard lists its look-alikes too; the
    // listing ignores letter case, and the comparison below decides.
    const CString pattern = folder + L"\\" + name.Left(name.GetLength() - 1) + L"?";
    FindListing listing(other ? pattern : folder + L"\\" + name);
    if (!listing.IsOpen()) return std::nullopt;
    do {
        const wchar_t* const listed = listing.Entry().cFileName;
        if (NameAsCompared(listed) == compared && (!other || name != listed)) return folder + L"\\" + listed;
    } while (listing.Next());
    return std::nullopt;
}

}  // namespace

void ReplacedCopies::NameFilter::Add(const std::wstring& name) {
    ForEachPosition(name, kBits, [&](std::uint64_t bit) { bits_[bit / 64] |= std::uint64_t{1} << (bit % 64); });
}

bool ReplacedCopies::NameFilter::MayHold(const std::wstring& name) const {
    bool held = true;
    ForEachPosition(name, kBits, [&](std::uint64_t bit) { held = held && (bits_[bit / 64] >> (bit % 64) & 1) != 0; });
    return held;
}

void ReplacedCopies::ContentFolder(const CString& shortName) {
    current_ = &byShortName_[NameAsCompared(shortName)];
    current_->emplace_back();
}

std::optional<CString> ReplacedCopies::Copied(const CString& folder, const CString& name) {
    std::optional<CString> earlier;
    const std::wstring compared = NameAsCompared(name);
    // The content folders of this short name, the current one first, each's
    // caption folders latest first: the copy replaced is the latest made.
    for (auto from = current_->rbegin(); from != current_->rend() && !earlier; ++from) {
        if (!from->names.MayHold(compared)) continue;
        for (auto at = from->folders.rbegin(); at != from->folders.rend() && !earlier; ++at) {
            // In the caption's own folder, only another name can have come
            // first: one that differs in letter case.
            earlier = EntryNamedAlike(*at, name, compared, *at == folder);
        }
    }
    CopiedFrom& current = current_->back();
    if (current.folders.empty() || current.folders.back() != folder) current.folders.push_back(folder);
    current.names.Add(compared);
    return earlier;
}
