#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "framework/CString.h"

// Which caption copies of a run replace a copy that the same run made
// earlier. That can only come from a short name that an earlier content
// folder already used, from an earlier segment of the same content folder,
// or, where the destination ignores letter case, from a name that differs
// only in case: a caption's target is its short name, its base name and its
// name, so two captions meet exactly when their short names and names do,
// as the destination compares them.
//
// It keeps no list of every caption: for each content folder, its caption
// folders and a fixed-size filter of the names copied from it, so memory
// grows with the content folders, as the walk's listings do. A name the
// filter may hold is looked up in those folders, latest first; a run in
// which no two captions meet makes no such lookup, but for the filter's
// rare false alarm in a content folder whose short name is taken already.
//
// Told in walk order, on the walk's thread.
class ReplacedCopies {
public:
    // The captions that follow come from a new content folder.
    void ContentFolder(const CString& shortName);
    // The caption `name`, copied from `folder`, was copied: the source of the
    // copy it replaced, when this run made that copy, else nothing.
    std::optional<CString> Copied(const CString& folder, const CString& name);

private:
    // A set of names that may err only by holding a name it was not given.
    class NameFilter {
    public:
        void Add(const std::wstring& name);
        bool MayHold(const std::wstring& name) const;

    private:
        static constexpr std::size_t kBits = 512;
        std::array<std::uint64_t, kBits / 64> bits_{};
    };
    // The captions copied from one content folder.
    struct CopiedFrom {
        std::vector<CString> folders;  // the caption folders, in walk order
        NameFilter names;              // as the destination compares names
    };

    // By short name, as the destination compares names, every content folder
    // of that short name so far, the current one last.
    std::map<std::wstring, std::vector<CopiedFrom>> byShortName_;
    std::vector<CopiedFrom>* current_ = nullptr;
};
