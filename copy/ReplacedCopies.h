#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "framework/CString.h"

// Which caption copies of a run replace a copy that the same run made
// earlier, told from the copies made, in walk order: a caption that could
// not be copied made nothing that a later one could replace, and the copy
// replaced is the latest one made at that target.
//
// A caption's target is its short name, its base name and its name, so two
// captions meet exactly when their short names and names do, as the
// destination compares them: a later segment of the same content folder,
// an earlier content folder of the same short name, or, where the
// destination ignores letter case, a name that differs only in case. The
// copies are kept by short name, and only while a content folder of that
// short name is still to come: the walk knows the content folders ahead
// (it reads the source root's listing before it goes into the first), so
// what is kept is one content folder's copies, and those of the short
// names that come again. Memory follows the largest content folder, not
// the tree, and a run makes no request for it but where two names meet
// that differ only in letter case, to learn whether the destination takes
// them for one (once per folder where they differ).
class ReplacedCopies {
public:
    // The target of the caption `name` of a content folder of `shortName`.
    using TargetOf = std::function<CString(const CString& shortName, const CString& name)>;
    explicit ReplacedCopies(TargetOf targetOf);

    // Before the walk: a content folder of `shortName` is to come.
    void Expect(const CString& shortName);
    // The captions that follow come from a content folder of `shortName`.
    void ContentFolder(const CString& shortName);
    // The content folder of `shortName` has been told in full.
    void ContentFolderDone(const CString& shortName);
    // The caption `name`, listed in `folder`, was copied: the source of the
    // copy it replaced, when this run made that copy, else nothing.
    std::optional<CString> Copied(const CString& folder, const CString& name);

private:
    // A folder that captions of a short name were copied from.
    struct Source {
        CString folder;
        CString shortName;
    };
    // A copy made at a target, and which source it came from.
    struct Copy {
        std::uint32_t source;  // in Copies::sources
        CString name;          // as listed
    };
    // The copies made below the content folders of one short name.
    struct Copies {
        std::vector<Source> sources;                         // in walk order
        std::unordered_multimap<std::uint64_t, Copy> byName;  // by the name as compared
    };

    // The copy of `copies` at the target of `name`, if any.
    Copy* CopyMet(Copies& copies, const CString& shortName, const CString& name, std::uint64_t key);

    const TargetOf targetOf_;
    // By short name as compared: how many content folders are still to be
    // told in full, and what they copied so far.
    std::unordered_map<std::uint64_t, std::size_t> ahead_;
    std::unordered_map<std::uint64_t, Copies> copies_;
    std::uint64_t current_ = 0;
    CString currentShortName_;
};
