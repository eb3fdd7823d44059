#include "platform/posix/files/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>
#include <string>

#include "platform/posix/files/descriptors.h"
#include "platform/posix/interrupts.h"

namespace posix {
namespace {

// ---------------------------------------------------------------------------
// Unnamed files

enum class Naming { Unknown, ByDescriptor, ThroughProc, Impossible };
// Settled by whichever thread makes the first unnamed file; the answer is
// the same for every thread, so a second thread that settles it at the
// same moment only sets what the first set.
std::atomic<Naming> naming{Naming::Unknown};

// Whether the kernel lets this process name an unnamed file by its
// descriptor (linkat with AT_EMPTY_PATH): newer kernels allow it to the
// process that opened the file, older ones only with CAP_DAC_READ_SEARCH.
// Asked without a trace: the kernel checks the right before it looks at the
// new name, and "." can never be made, so EEXIST means allowed.
bool MayLinkByDescriptor(int file, int folder) {
    return ::linkat(file, "", folder, ".", AT_EMPTY_PATH) != 0 && errno == EEXIST;
}

// Decided with the first unnamed file, for the whole run.
Naming HowToName(int file, int folder) {
    if (naming == Naming::Unknown) {
        if (MayLinkByDescriptor(file, folder)) {
            naming = Naming::ByDescriptor;
        } else if (::access("/proc/self/fd", X_OK) == 0) {
            naming = Naming::ThroughProc;
        } else {
            naming = Naming::Impossible;
        }
    }
    return naming;
}

// ---------------------------------------------------------------------------
// Named files

// The named temporary files in flight, for the signal handler: one slot for
// each thread that makes them, written only by its thread. A slot's fields
// are set, then it is marked valid; the handler reads only valid slots.
struct InFlight {
    std::atomic<int> valid{0};
    int folder = -1;
    char name[NAME_MAX + 1] = {};
};
constexpr int kSlots = 72;  // more than the copies that ever run at once
InFlight inFlight[kSlots];
std::atomic<int> slotsTaken{0};

// This thread's slot; nothing once every slot is taken (the file is then
// only removed by the normal ways out, and by a later run).
InFlight* ThisThreadsSlot() {
    thread_local InFlight* const slot = [] {
        const int index = slotsTaken.fetch_add(1);
        return index < kSlots ? &inFlight[index] : nullptr;
    }();
    return slot;
}

void RemoveNamedInFlight() noexcept {
    for (InFlight& slot : inFlight) {
        if (slot.valid.load(std::memory_order_acquire) != 0) ::unlinkat(slot.folder, slot.name, 0);
    }
}

constexpr char kPrefix[] = ".cuecarry-";
constexpr char kSuffix[] = ".tmp";

// A file of such a name is taken for one that a killed run left behind only
// when it has not changed for this long: a run writes its file and renames
// it within moments, and between its last write and the rename, and between
// making the file and locking it, it holds no lock.
std::atomic<long> leftAfterSeconds{60};

// The machine's name as it may stand in a file name: letters, digits and
// dots; anything else, the "-" that separates the parts included, as "_".
const std::string& MachineName() {
    static const std::string name = [] {
        char host[HOST_NAME_MAX + 1] = {};
        if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return std::string("unknown");
        std::string safe(host);
        for (char& c : safe) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.') c = '_';
        }
        return safe;
    }();
    return name;
}

// ".cuecarry-MACHINE-": what every name this machine gives starts with.
const std::string& MachinePrefix() {
    static const std::string prefix = kPrefix + MachineName() + "-";
    return prefix;
}

// ".cuecarry-MACHINE-PID-N.tmp": hidden; the process id and the counter
// keep names apart, and an exclusive creation passes over a name that a
// process of the same id in another PID namespace holds.
std::string TemporaryName() {
    static std::atomic<unsigned> counter{0};
    return MachinePrefix() + std::to_string(::getpid()) + "-" + std::to_string(counter++) + kSuffix;
}

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() <= 20 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// A name that a run on this machine gives its temporary files.
bool IsOurName(const std::string& name) {
    const std::string& prefix = MachinePrefix();
    const std::size_t suffix = sizeof kSuffix - 1;
    if (name.size() <= prefix.size() + suffix || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0) {
        return false;
    }
    const std::string middle = name.substr(prefix.size(), name.size() - suffix - prefix.size());  // "PID-N"
    const std::size_t dash = middle.find('-');
    return dash != std::string::npos && IsNumber(middle.substr(0, dash)) && IsNumber(middle.substr(dash + 1));
}

bool UnchangedFor(const struct stat& status, long seconds) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return status.st_ctim.tv_sec + seconds < now.tv_sec;
}

// Whether a process holds the file that `fd` opened: a run locks its
// temporary file while it writes it. A file system without locks cannot
// tell; its files are judged by their age alone.
bool HeldByARun(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return false;
    return errno != ENOLCK && errno != EOPNOTSUPP && errno != EINVAL;
}

// Removes `name` from `folder` when it is a regular file that a run of this
// machine left behind: no run holds it, and it has not changed for a while.
// Whatever a process id may say: one in another PID namespace (a container)
// looks gone from here while it writes.
void RemoveIfLeftBehind(int folder, const char* name) {
    if (!IsOurName(name)) return;
    const FileDescriptor file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status;
    if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return;
    if (HeldByARun(file.get()) || !UnchangedFor(status, leftAfterSeconds.load())) return;
    // Still the file that was judged, and still unheld while it goes.
    struct stat named;
    if (::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == status.st_dev &&
        named.st_ino == status.st_ino) {
        ::unlinkat(folder, name, 0);
    }
}

}  // namespace

int OpenUnnamed(int folder, mode_t mode, FileDescriptor& file) {
    if (naming == Naming::Impossible) return EOPNOTSUPP;
    file.Reset(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (!file) return errno;
    if (HowToName(file.get(), folder) != Naming::Impossible) return 0;
    file.Reset();
    return EOPNOTSUPP;
}

// EISDIR and EINVAL are what kernels and file systems that predate
// O_TMPFILE say.
bool NoUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

int NameUnnamed(int file, int folder, const char* name) {
    if (naming == Naming::ByDescriptor) return ::linkat(file, "", folder, name, AT_EMPTY_PATH) == 0 ? 0 : errno;
    const std::string self = "/proc/self/fd/" + std::to_string(file);
    return ::linkat(AT_FDCWD, self.c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

void HoldWhileWriting(int fd) {
    // A lock that cannot be had leaves the file to be judged by its age.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

NamedTemporary::NamedTemporary(int folder) : folder_(folder) {
    static const bool registered = (AddInterruptAction(RemoveNamedInFlight), true);
    (void)registered;
}

NamedTemporary::~NamedTemporary() {
    if (created_ && !renamed_) ::unlinkat(folder_, name_.c_str(), 0);
    if (InFlight* slot = ThisThreadsSlot()) slot->valid.store(0, std::memory_order_release);
}

std::string NamedTemporary::NewName() { return TemporaryName(); }

// Only once the file exists: a name that the exclusive creation found taken
// is another's, and must never be removed.
void NamedTemporary::MarkInFlight() {
    InFlight* slot = ThisThreadsSlot();
    if (slot == nullptr) return;
    slot->valid.store(0, std::memory_order_release);
    std::memcpy(slot->name, name_.c_str(), name_.size() + 1);
    slot->folder = folder_;
    slot->valid.store(1, std::memory_order_release);
}

namespace testing {
void SettleNamingAgain() { naming = Naming::Unknown; }
void TakeTemporariesAsLeftAfter(long seconds) { leftAfterSeconds = seconds; }
}  // namespace testing

void RemoveLeftTemporaries(int folder) {
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0) return;
    const DirStream dir(::fdopendir(listed));
    if (!dir) {
        ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(dir.get())) RemoveIfLeftBehind(listed, entry->d_name);
}

}  // namespace posix
