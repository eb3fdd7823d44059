// How the destination compares names, and which folders lie inside it, on
// Linux: asked of the file systems themselves, since one destination may be
// an SMB share or a FAT stick that ignores letter case, and a source folder
// may be a link or a mount that leads into the destination.
#include "platform/FolderRules.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cwchar>
#include <cctype>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/files/Descriptors.h"
#include "platform/posix/Folders.h"
#include "platform/posix/Names.h"

namespace {

using posix::FileDescriptor;

// A folder as the file system knows it, whatever path led there.
struct Identity {
    dev_t device;
    ino_t inode;
    bool operator==(const Identity& other) const { return device == other.device && inode == other.inode; }
};

std::optional<Identity> IdentityOf(int fd, const char* name, int flags) {
    struct stat status;
    if (::fstatat(fd, name, &status, flags) != 0) return std::nullopt;
    return Identity{status.st_dev, status.st_ino};
}

std::vector<std::string> Names(const std::string& path) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        if (end > at) names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

std::string Joined(const std::vector<std::string>& names, std::size_t count) {
    std::string path;
    for (std::size_t at = 0; at < count; ++at) path += "/" + names[at];
    return path.empty() ? "/" : path;
}

// The name with the case of its ASCII letters swapped; nothing when it has
// none, as then it says nothing about letter case.
std::optional<std::string> OtherCase(const std::string& name) {
    std::string other = name;
    bool swapped = false;
    for (char& c : other) {
        const unsigned char unit = static_cast<unsigned char>(c);
        if (std::islower(unit)) c = static_cast<char>(std::toupper(unit));
        else if (std::isupper(unit)) c = static_cast<char>(std::tolower(unit));
        else continue;
        swapped = true;
    }
    return swapped ? std::optional<std::string>(other) : std::nullopt;
}

// The names the folder holds, as its listing gives them; nothing when it
// cannot be read.
std::optional<std::set<std::string>> NamesIn(const std::string& path) {
    const posix::DirStream folder(::opendir(path.c_str()));
    if (!folder) return std::nullopt;
    std::set<std::string> names;
    while (const dirent* entry = ::readdir(folder.get())) names.insert(entry->d_name);
    return names;
}

// Whether the folder `path`, whose listing is `names` and holds `name`,
// takes `other`, the same name in other letter case, for it: a lookup of
// `other` finds an entry that the listing does not hold by that spelling.
// Inode numbers cannot tell: an SMB client gives each spelling its own.
bool TakesForOne(const std::string& path, const std::set<std::string>& names, const std::string& name,
                 const std::string& other) {
    struct stat status;
    return names.count(name) != 0 && names.count(other) == 0 &&
           ::fstatat(AT_FDCWD, (path + "/" + other).c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

// Whether the existing folder `path` ignores letter case, from a name with
// a letter that it holds, or else from its own name as its parent holds it
// where both are one file system. Neither: taken as Linux file systems
// are, case-sensitive.
bool FoldsCase(const std::string& path, const std::set<std::string>& names) {
    for (const std::string& name : names) {
        if (const std::optional<std::string> other = OtherCase(name)) return TakesForOne(path, names, name, *other);
    }
    const std::vector<std::string> above = Names(path);
    if (above.empty()) return false;
    const std::string parent = Joined(above, above.size() - 1);
    struct stat self, up;
    const std::optional<std::string> other = OtherCase(above.back());
    const std::optional<std::set<std::string>> siblings = NamesIn(parent);
    if (!other || !siblings || ::stat(path.c_str(), &self) != 0 || ::stat(parent.c_str(), &up) != 0 ||
        self.st_dev != up.st_dev) {
        return false;
    }
    return TakesForOne(parent, *siblings, above.back(), *other);
}

// Whether `childA` and `childB`, which differ only in case, are one entry of
// the folder that `names` lead to `depth` deep: asked of the folder, by the
// two entries where the run made them, or where it did not (a dry run), of
// the deepest folder on the way that exists.
bool OneEntry(const std::vector<std::string>& names, std::size_t depth, const std::string& childA,
              const std::string& childB) {
    for (std::size_t at = depth + 1; at-- > 0;) {
        const std::string folder = Joined(names, at);
        const std::optional<std::set<std::string>> listed = NamesIn(folder);
        if (!listed) continue;
        if (at == depth && listed->count(childA) != 0) return TakesForOne(folder, *listed, childA, childB);
        if (at == depth && listed->count(childB) != 0) return TakesForOne(folder, *listed, childB, childA);
        return FoldsCase(folder, *listed);
    }
    return false;
}

}  // namespace

std::wstring FoldedName(const wchar_t* name) {
    std::wstring folded(name);
    // Every caption's route folds its whole target: ASCII needs no table.
    for (wchar_t& unit : folded) {
        if (unit < 0x80) {
            if (unit >= L'a' && unit <= L'z') unit = static_cast<wchar_t>(unit - L'a' + L'A');
        } else {
            unit = posix::UpcaseUnit(unit);
        }
    }
    return folded;
}

bool SpellingsMeet(const wchar_t* path, const wchar_t* other) {
    const std::optional<std::string> a = posix::NativePath(path);
    const std::optional<std::string> b = posix::NativePath(other);
    if (!a || !b) return false;
    if (*a == *b) return true;
    const std::vector<std::string> namesA = Names(*a);
    const std::vector<std::string> namesB = Names(*b);
    std::size_t depth = 0;
    while (depth < namesA.size() && depth < namesB.size() && namesA[depth] == namesB[depth]) ++depth;
    if (depth == namesA.size() || depth == namesB.size()) return false;
    // Asked once per folder where two spellings meet: the answer holds for
    // every name in it.
    static std::mutex guard;
    static std::map<std::string, bool> known;
    const std::lock_guard<std::mutex> lock(guard);
    const std::string folder = Joined(namesA, depth);
    const auto found = known.find(folder);
    if (found != known.end()) return found->second;
    const bool meet = OneEntry(namesA, depth, namesA[depth], namesB[depth]);
    return known.emplace(folder, meet).first->second;
}

bool IsSingleName(const wchar_t* name) { return std::wcspbrk(name, L"\\/") == nullptr; }

bool FolderLiesWithin(const wchar_t* folder, const wchar_t* outer) {
    const std::wstring inner = posix::RealFolderPath(folder).value_or(posix::NormalFolderPath(folder));
    const std::wstring around = posix::RealFolderPath(outer).value_or(posix::NormalFolderPath(outer));
    return posix::IsWithinFolder(inner, around);
}

// The destination's identity, taken once, and the last few folders found to
// lie outside it.
struct DestinationTree::Identities {
    std::optional<Identity> destination;
    std::deque<Identity> outside;
};

DestinationTree::DestinationTree(const wchar_t* destinationRoot) : identities_(std::make_unique<Identities>()) {
    if (const std::optional<std::string> native = posix::NativePath(destinationRoot)) {
        identities_->destination = IdentityOf(AT_FDCWD, native->c_str(), 0);
    }
}

DestinationTree::~DestinationTree() = default;

// Up from the folder by "..", which the kernel takes from where the path
// before it leads, links and mounts and all: the folder is inside when the
// destination is among the folders above it, outside when the walk up
// reaches the top, or a folder already found outside. A content or segment
// folder whose parent was asked about last costs two calls.
bool DestinationTree::Contains(const wchar_t* folder) {
    constexpr std::size_t kRemembered = 16;
    constexpr int kDeepest = 4096;
    const std::optional<std::string> native = posix::NativePath(folder);
    if (!identities_->destination || !native) return false;
    std::deque<Identity>& outside = identities_->outside;
    std::vector<Identity> walked;
    std::string path = *native;
    std::optional<Identity> here = IdentityOf(AT_FDCWD, path.c_str(), 0);
    for (int depth = 0; here && depth < kDeepest; ++depth) {
        if (*here == *identities_->destination) return true;
        const bool known = std::find(outside.begin(), outside.end(), *here) != outside.end();
        if (known) break;
        walked.push_back(*here);
        path += "/..";
        const std::optional<Identity> above = IdentityOf(AT_FDCWD, path.c_str(), 0);
        if (above == here) break;  // the top
        here = above;
    }
    // The deepest first: the walk's next questions are about its neighbours.
    for (auto at = walked.rbegin(); at != walked.rend(); ++at) outside.push_front(*at);
    while (outside.size() > kRemembered) outside.pop_back();
    return false;
}
