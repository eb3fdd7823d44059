#include "platform/posix/files/TemporaryFiles.h"

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
#include <optional>
#include <string>

#include "platform/posix/files/Descriptors.h"
#include "platform/posix/Interrupts.h"

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

// More than the copies that ever run at once: 64 workers and the walk.
constexpr int kSlots = 72;

}  // namespace

// A named temporary file in flight, for the signal handler: a slot is taken
// for each file from its creation until it is renamed or removed. Its fields
// are set, then it is marked; the handler reads only marked slots, and only
// once no other thread is filling one (UncutStep). Filled: the file has
// that name. Naming: an unnamed file open at `file` is being linked under
// that name, which is the file's only if it leads to that very file (the
// name may be another's, found taken).
struct InFlightTemporary {
    enum : int { kFree, kTaken, kNaming, kFilled };
    std::atomic<int> state{kFree};
    int folder = -1;
    int file = -1;
    char name[NAME_MAX + 1] = {};
};

namespace {

InFlightTemporary inFlight[kSlots];

InFlightTemporary* TakeSlot() {
    for (InFlightTemporary& slot : inFlight) {
        int expected = InFlightTemporary::kFree;
        if (slot.state.compare_exchange_strong(expected, InFlightTemporary::kTaken)) return &slot;
    }
    return nullptr;
}

// Whether `name` in `folder` is the file open at `fd`.
bool NamesFile(int folder, const char* name, int fd) {
    struct stat named;
    struct stat open;
    return ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

void RemoveNamedInFlight() noexcept {
    for (const InFlightTemporary& slot : inFlight) {
        const int state = slot.state.load();
        if (state == InFlightTemporary::kFilled ||
            (state == InFlightTemporary::kNaming && NamesFile(slot.folder, slot.name, slot.file))) {
            ::unlinkat(slot.folder, slot.name, 0);
        }
    }
}

constexpr char kPrefix[] = ".cuecarry-";
constexpr char kSuffix[] = ".tmp";

// An unheld file of such a name whose process id says nothing (another
// process has that id now, or the file system has no locks to tell a live
// run by) is taken for one that a killed run left behind once it has not
// changed for this long: a run writes its file and renames it within
// moments.
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

// The digits of `text` as a number; nothing unless it is all digits, and
// nothing beyond any process id.
std::optional<long> NumberIn(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The process id in a name that a run on this machine gives its temporary
// files, ".cuecarry-MACHINE-PID-N.tmp"; nothing for any other name.
std::optional<long> OwnerOf(const std::string& name) {
    const std::string& prefix = MachinePrefix();
    const std::size_t suffix = sizeof kSuffix - 1;
    if (name.size() <= prefix.size() + suffix || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0) {
        return std::nullopt;
    }
    const std::string middle = name.substr(prefix.size(), name.size() - suffix - prefix.size());  // "PID-N"
    const std::size_t dash = middle.find('-');
    if (dash == std::string::npos || !NumberIn(middle.substr(dash + 1))) return std::nullopt;
    return NumberIn(middle.substr(0, dash));
}

// Whether the process `pid` is gone, as this PID namespace sees it. A run in
// another namespace (a container) looks gone from here while it writes; the
// lock tells of it.
bool ProcessIsGone(long pid) {
    return pid > 0 && pid <= INT_MAX && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

bool UnchangedFor(const struct stat& status, long seconds) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return status.st_ctim.tv_sec + seconds < now.tv_sec;
}

// Whether a run holds the file that `fd` opened: a run locks a temporary
// file that it writes under its name from its first moment under that name
// until it closes it. A file system without locks cannot tell.
enum class Holder { None, ARun, Unknown };
Holder HolderOf(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return Holder::None;
    return errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL ? Holder::Unknown : Holder::ARun;
}

// Removes `name` from `folder` when it is a regular file that a run of this
// machine left behind: no run holds it, and its process is gone or it has
// not changed for a while. It is removed under the lock, which the run that
// made a file takes before it goes on with it (NamesFile).
void RemoveIfLeftBehind(int folder, const char* name) {
    const std::optional<long> owner = OwnerOf(name);
    if (!owner) return;
    const FileDescriptor file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status;
    if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return;
    const Holder holder = HolderOf(file.get());
    if (holder == Holder::ARun) return;
    const bool ownerGone = holder == Holder::None && ProcessIsGone(*owner);
    if (!ownerGone && !UnchangedFor(status, leftAfterSeconds.load())) return;
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
    if (slot_ != nullptr) slot_->state.store(InFlightTemporary::kFree);
}

// `make(name)` makes the file under `name` and gives its descriptor, or -1
// with errno: EEXIST for a name that is taken, which is another's and must
// never be removed. A new file (`known` < 0) is entered for the handler once
// it exists, and no signal cuts in between. An unnamed file open at `known`
// is entered before each call that names it, and a signal may then come at
// any moment: the handler removes the name if it leads to that file. So a
// re-run into a filled destination pays no call a caption for the signal
// mask.
template <typename Make>
int NamedTemporary::MakeNamed(Make make, int known) {
    const UncutStep step(known < 0 ? UncutStep::Signals::Deferred : UncutStep::Signals::Taken);
    if (!step.Began()) return EINTR;
    slot_ = TakeSlot();
    if (slot_ == nullptr) return EAGAIN;
    slot_->folder = folder_;
    slot_->file = known;
    constexpr int kAttempts = 16;
    int fd = -1;
    for (int attempt = 0; attempt < kAttempts && fd < 0; ++attempt) {
        name_ = TemporaryName();
        if (known >= 0) Enter(InFlightTemporary::kNaming);
        fd = make(name_.c_str());
        if (fd < 0 && errno != EEXIST) return errno;
    }
    if (fd < 0) return EEXIST;
    created_ = true;
    // A file named from `known` is entered already, and must stay so.
    if (known >= 0) {
        slot_->state.store(InFlightTemporary::kFilled);
    } else {
        Enter(InFlightTemporary::kFilled);
    }
    return 0;
}

// The slot is taken back while its name changes, so that the handler never
// reads half a name.
void NamedTemporary::Enter(int state) {
    slot_->state.store(InFlightTemporary::kTaken);
    std::memcpy(slot_->name, name_.c_str(), name_.size() + 1);
    slot_->state.store(state);
}

int NamedTemporary::Create(mode_t mode, FileDescriptor& file) {
    return MakeNamed([&](const char* name) {
        file.Reset(::openat(folder_, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!file) return -1;
        HoldWhileWriting(file.get());
        // A sweep that took it for one left behind in the moment before the
        // lock (a run of another PID namespace looks gone) has removed it.
        if (!NamesFile(folder_, name, file.get())) {
            file.Reset();
            errno = EEXIST;
            return -1;
        }
        return file.get();
    }, -1);
}

int NamedTemporary::Name(int file) {
    return MakeNamed([&](const char* name) {
        const int error = NameUnnamed(file, folder_, name);
        errno = error;
        return error == 0 ? file : -1;
    }, file);
}

int NamedTemporary::RenameOnto(const char* target, unsigned flags) {
    const auto rename = [&] {
        return flags == 0 ? ::renameat(folder_, name_.c_str(), folder_, target)
                          : ::renameat2(folder_, name_.c_str(), folder_, target, flags);
    };
    if (rename() != 0) return errno;
    renamed_ = true;
    return 0;
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
