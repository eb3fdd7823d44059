// The folders of a thread's latest write path, from the top of the file
// system down, each held open (WriteFolders.h says why and how they are
// used). Each was opened by its one name below the folder above it, without
// following a link, and each folder is made by its one name below the
// folder above it: a link put in place of a folder, at whatever moment, is
// met as a link and refused, never followed. Its calls are made in
// WriteFolders.cpp, which is the only user; the type stands here so that a
// thread's files (ThreadFiles.h) can hold one.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/files/Descriptors.h"

namespace posix {

// What this thread knows of a folder it holds, so that the copies into it
// ask the file system no more than they must: on a network share each
// question is a round trip. A folder found there, or held again after the
// stack left it, is taken as it may be.
struct WriteFolderFacts {
    // This thread made it in this run and has written nothing into it since:
    // no target can be there (another thread writes other targets only).
    bool empty = false;
    // Named temporary files that runs killed outright left are gone from it.
    bool swept = false;
};

class FolderStack {
public:
    // Makes `leaf` below `folder` (names from the top): 0, or an errno;
    // EEXIST for a folder held already, answered without a call.
    int Make(const std::vector<std::string>& folder, const std::string& leaf, bool afresh);
    // The descriptor of `folder`, or -1 with errno.
    int Open(const std::vector<std::string>& folder, bool afresh);
    // What is known of the folder Open gave last; a folder below the top of
    // the file system, since nothing is written into "/" itself.
    WriteFolderFacts& TopFacts() { return held_.empty() ? rootFacts_ : held_.back().facts; }

private:
    struct HeldFolder {
        std::string name;
        FileDescriptor fd;
        bool answered;  // a creation attempt on it was answered from the stack
        WriteFolderFacts facts;
    };

    int Top() const { return held_.empty() ? root_.get() : held_.back().fd.get(); }
    std::size_t Shared(const std::vector<std::string>& folder) const;
    bool Holds(const std::vector<std::string>& folder, const std::string& leaf) const;
    int Reach(const std::vector<std::string>& folder, bool afresh);
    int Reopen();
    int MakeAndPush(const std::string& name);
    int Push(const std::string& name);

    FileDescriptor root_;
    std::vector<HeldFolder> held_;
    std::vector<bool> foundAt_;  // by depth: whether the latest folder made there was there already
    WriteFolderFacts rootFacts_;
};

}  // namespace posix
