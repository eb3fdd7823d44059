// Reading a source tree, as both benchmark copiers do it: a listing's
// entries, whether an entry is a folder, whether it is a caption file.
#pragma once

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

// d_type answers on most file systems; only where it cannot (or for a link,
// which counts by what it points to) does this cost a call.
inline bool IsFolder(int dirFd, const dirent* entry) {
    if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
        return entry->d_type == DT_DIR;
    struct stat st;
    return fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

inline bool IsCaption(const char* name) {
    size_t n = strlen(name);
    return n >= 4 && strcasecmp(name + n - 4, ".vtt") == 0;
}

// Lists the folder once and hands every entry but . and .. to visit(dirFd,
// entry); false when the folder cannot be listed.
template <class Visit>
bool ForEachEntry(const std::string& folder, Visit visit) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            visit(dirfd(dir), entry);
    }
    closedir(dir);
    return true;
}
