#include "platform/posix/files/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>

#include "platform/posix/interrupts.h"

namespace posix {
namespace {

// ---------------------------------------------------------------------------
// Unnamed files

enum class Naming { Unknown, ByDescriptor, ThroughProc, Impossible };
Naming naming = Naming::Unknown;

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

// The one named temporary file that may exist at a time, for the signal
// handler. Set field by field, then marked valid.
volatile sig_atomic_t namedInFlight = 0;
int namedInFlightFolder = -1;
char namedInFlightName[NAME_MAX + 1];

void RemoveNamedInFlight() noexcept {
    if (namedInFlight != 0) ::unlinkat(namedInFlightFolder, namedInFlightName, 0);
}

constexpr char kPrefix[] = ".cuecarry-";
constexpr char kSuffix[] = ".tmp";

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

// ".cuecarry-MACHINE-PID-N.tmp": hidden, and the counter keeps the names of
// one process apart.
std::string TemporaryName() {
    static unsigned counter = 0;
    return MachinePrefix() + std::to_string(::getpid()) + "-" + std::to_string(counter++) + kSuffix;
}

// Digits only, and not too many for a process id.
bool ParseNumber(const std::string& text, long& value) {
    if (text.empty() || text.size() > 9) return false;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    value = std::stol(text);
    return true;
}

// The process id in a name this machine gave, or 0 for any other name.
pid_t MakerOf(const std::string& name) {
    const std::string& prefix = MachinePrefix();
    const std::size_t suffix = sizeof kSuffix - 1;
    if (name.size() <= prefix.size() + suffix || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0) {
        return 0;
    }
    const std::string middle = name.substr(prefix.size(), name.size() - suffix - prefix.size());  // "PID-N"
    const std::size_t dash = middle.find('-');
    long pid = 0;
    long counter = 0;
    if (dash == std::string::npos || !ParseNumber(middle.substr(0, dash), pid) ||
        !ParseNumber(middle.substr(dash + 1), counter) || pid <= 0) {
        return 0;
    }
    return static_cast<pid_t>(pid);
}

bool IsGone(pid_t pid) { return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH; }

void RemoveIfLeftBehind(int folder, const char* name) {
    const pid_t maker = MakerOf(name);
    if (maker == 0 || !IsGone(maker)) return;
    struct stat status;
    if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)) {
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

NamedTemporary::NamedTemporary(int folder) : folder_(folder) {
    static const bool registered = (AddInterruptAction(RemoveNamedInFlight), true);
    (void)registered;
}

NamedTemporary::~NamedTemporary() {
    if (created_ && !renamed_) ::unlinkat(folder_, name_.c_str(), 0);
    namedInFlight = 0;
}

void NamedTemporary::Announce() {
    name_ = TemporaryName();
    namedInFlight = 0;
    std::memcpy(namedInFlightName, name_.c_str(), name_.size() + 1);
    namedInFlightFolder = folder_;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    namedInFlight = 1;
}

namespace testing {
void SettleNamingAgain() { naming = Naming::Unknown; }
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
