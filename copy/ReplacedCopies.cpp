#include "copy/ReplacedCopies.h"

#include <string>

#include "platform/FolderRules.h"

namespace {

// FNV-1a over the code units of a name as the destination may fold it. Two
// names of one hash are told apart by comparing them; short names of one
// hash only share their bookkeeping.
std::uint64_t KeyOf(const CString& name) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const wchar_t unit : FoldedName(name)) {
        hash ^= static_cast<std::uint64_t>(static_cast<std::uint16_t>(unit));
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool FoldAlike(const CString& name, const CString& other) { return FoldedName(name) == FoldedName(other); }

}  // namespace

ReplacedCopies::ReplacedCopies(TargetOf targetOf) : targetOf_(std::move(targetOf)) {}

void ReplacedCopies::Expect(const CString& shortName) { ++ahead_[KeyOf(shortName)]; }

void ReplacedCopies::ContentFolder(const CString& shortName) {
    current_ = KeyOf(shortName);
    currentShortName_ = shortName;
}

void ReplacedCopies::ContentFolderDone(const CString& shortName) {
    const std::uint64_t key = KeyOf(shortName);
    const auto ahead = ahead_.find(key);
    if (ahead == ahead_.end() || --ahead->second != 0) return;
    // No later content folder can meet what these copies made.
    ahead_.erase(ahead);
    copies_.erase(key);
}

ReplacedCopies::Copy* ReplacedCopies::CopyMet(Copies& copies, const CString& shortName, const CString& name,
                                              std::uint64_t key) {
    const auto [first, last] = copies.byName.equal_range(key);
    Copy* alike = nullptr;
    for (auto at = first; at != last; ++at) {
        Copy& copy = at->second;
        const CString& earlierShortName = copies.sources[copy.source].shortName;
        if (!FoldAlike(copy.name, name) || !FoldAlike(earlierShortName, shortName)) continue;
        if (copy.name == name && earlierShortName == shortName) return &copy;
        alike = &copy;
    }
    // Spelled otherwise: one target only where the destination ignores case.
    if (alike != nullptr &&
        SpellingsMeet(targetOf_(copies.sources[alike->source].shortName, alike->name), targetOf_(shortName, name))) {
        return alike;
    }
    return nullptr;
}

std::optional<CString> ReplacedCopies::Copied(const CString& folder, const CString& name) {
    Copies& copies = copies_[current_];
    if (copies.sources.empty() || copies.sources.back().folder != folder ||
        copies.sources.back().shortName != currentShortName_) {
        copies.sources.push_back({folder, currentShortName_});
    }
    const std::uint32_t source = static_cast<std::uint32_t>(copies.sources.size() - 1);
    const std::uint64_t key = KeyOf(name);
    if (Copy* const earlier = CopyMet(copies, currentShortName_, name, key)) {
        const CString replaced = copies.sources[earlier->source].folder + L"\\" + earlier->name;
        *earlier = {source, name};
        return replaced;
    }
    copies.byName.emplace(key, Copy{source, name});
    return std::nullopt;
}
