// The records of runs on Linux: in $XDG_STATE_HOME/cuecarry, else
// ~/.local/state/cuecarry, made for this user alone (0700, the files 0600:
// they name the user's files). A record is written into an unnamed file
// where the file system has them, which vanishes by itself however the
// process ends and gets its name only when whole; elsewhere into a hidden
// named file that the process removes on every way out it sees, and that
// a later run removes once no run holds it (files/TemporaryFiles.h).
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/RunRecordFile.h"
#include "platform/ShownText.h"
#include "platform/posix/Console.h"
#include "platform/posix/Folders.h"
#include "platform/posix/files/Descriptors.h"
#include "platform/posix/files/TemporaryFiles.h"
#include "platform/posix/Names.h"

namespace {

using posix::FileDescriptor;

// Lines go out in blocks of this size, or when the record is kept.
constexpr std::size_t kBlock = 64 * 1024;

std::wstring Words(int error) {
    const char* text = ::strerrordesc_np(error);
    return text != nullptr ? posix::WidenText(text) : L"error " + std::to_wstring(error);
}

std::wstring FromNative(const std::string& path) {
    std::wstring wide = posix::WidenName(path.data(), path.size());
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return posix::NormalFolderPath(wide);
}

// The folder as the kernel would reach it once made: the nearest folder
// above it that is there, links resolved, and the names below that.
std::wstring ReachedAs(const std::wstring& folder) {
    std::wstring at = posix::NormalFolderPath(folder);
    std::wstring below;
    for (;;) {
        if (const std::optional<std::wstring> real = posix::RealFolderPath(at)) {
            return posix::NormalFolderPath(*real + below);
        }
        if (at == L"\\") return posix::NormalFolderPath(folder);
        below = L"\\" + posix::FolderName(at) + below;
        at = posix::ParentFolder(at);
    }
}

bool LiesWithin(const std::wstring& folder, const std::wstring& destination) {
    const std::wstring outer = posix::RealFolderPath(destination).value_or(posix::NormalFolderPath(destination));
    return posix::IsWithinFolder(ReachedAs(folder), outer);
}

// Makes `path` and every folder above it that is missing, for this user
// alone; 0 or an errno.
int MakeFolders(const std::string& path) {
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
        if (at == std::string::npos) return 0;
    }
}

std::string Stamped(const char* format, const tm& moment) {
    char text[64] = {};
    return ::strftime(text, sizeof text, format, &moment) > 0 ? std::string(text) : std::string();
}

}  // namespace

std::wstring RunRecordFolder(std::wstring& /*whyNot*/) {
    // A relative XDG_STATE_HOME is to be ignored, as the XDG base folders
    // are.
    const char* state = std::getenv("XDG_STATE_HOME");
    std::wstring base;
    if (state != nullptr && state[0] == '/') {
        base = FromNative(state);
    } else {
        // An account without a home (a service's, "nobody") has no place
        // where such things are kept: no record, and nothing to say.
        const std::wstring home = posix::HomeFolder();
        if (home.empty() || !posix::IsFolder(home)) return std::wstring();
        base = home + L"\\.local\\state";
    }
    return posix::NormalFolderPath(base + L"\\cuecarry");
}

RecordTime RecordTimeNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm utc{}, local{};
    ::gmtime_r(&now.tv_sec, &utc);
    ::localtime_r(&now.tv_sec, &local);
    char milliseconds[24] = {};
    ::snprintf(milliseconds, sizeof milliseconds, ".%03ldZ", now.tv_nsec / 1000000);
    return {posix::WidenText(Stamped("%Y-%m-%d %H:%M:%S %z", local)),
            posix::WidenText(Stamped("%Y%m%dT%H%M%S", utc) + milliseconds)};
}

class RunRecordFile::Writer {
public:
    Writer(const std::wstring& folder, const std::wstring& destination, const std::wstring& stamp)
        : folder_(posix::NormalFolderPath(folder)), name_(RunRecordName(stamp, static_cast<unsigned long>(::getpid()))) {
        const std::optional<std::string> native = posix::NativePath(folder_.c_str());
        if (!native) {
            problem_ = ShownPath(folder_) + L": no such folder can be named on this system";
            return;
        }
        if (LiesWithin(folder_, destination)) {
            problem_ = ShownPath(folder_) + L" lies inside the copy to folder";
            return;
        }
        if (const int error = MakeFolders(*native)) {
            Fail(error);
            return;
        }
        folder_fd_.Reset(::open(native->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder_fd_) {
            Fail(errno);
            return;
        }
        Open();
    }

    void Write(const std::wstring& text) {
        if (!problem_.empty()) return;
        buffer_ += posix::NarrowName(text.data(), text.size()).value_or(posix::DisplayText(text, true));
        if (buffer_.size() >= kBlock) Flush();
    }

    Kept Keep(int keep) {
        Flush();
        if (problem_.empty() && ::fdatasync(file_.get()) != 0) Fail(errno);
        if (problem_.empty()) Name();
        if (!problem_.empty()) return {std::wstring(), problem_};
        RemoveOldest(keep);
        posix::RemoveLeftTemporaries(folder_fd_.get());
        return {ShownPath(folder_ + L"\\" + name_), std::wstring()};
    }

private:
    void Fail(int error) {
        if (problem_.empty()) problem_ = ShownPath(folder_) + L": " + Words(error);
    }

    void Open() {
        const int unnamed = posix::OpenUnnamed(folder_fd_.get(), 0600, file_);
        if (unnamed == 0) return;
        if (!posix::NoUnnamedFiles(unnamed)) return Fail(unnamed);
        temporary_ = std::make_unique<posix::NamedTemporary>(folder_fd_.get());
        if (const int error = temporary_->Create(0600, file_); error != 0) return Fail(error);
    }

    void Flush() {
        std::size_t done = 0;
        while (problem_.empty() && done < buffer_.size()) {
            const ssize_t written = ::write(file_.get(), buffer_.data() + done, buffer_.size() - done);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                Fail(written < 0 ? errno : ENOSPC);
                break;
            }
            done += static_cast<std::size_t>(written);
        }
        buffer_.clear();
    }

    // The record's name, given in one step; never another's.
    void Name() {
        const std::optional<std::string> name = posix::NarrowName(name_.data(), name_.size());
        if (!temporary_) {
            if (const int error = posix::NameUnnamed(file_.get(), folder_fd_.get(), name->c_str())) Fail(error);
            file_.Reset();
            return;
        }
        if (const int error = temporary_->RenameOnto(name->c_str()); error != 0) return Fail(error);
        file_.Reset();
    }

    // The newest `keep` records stay: their names sort as their times.
    void RemoveOldest(int keep) {
        const int listed = ::openat(folder_fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (listed < 0) return;
        const posix::DirStream dir(::fdopendir(listed));
        if (!dir) {
            ::close(listed);
            return;
        }
        std::vector<std::string> records;
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string name = entry->d_name;
            struct stat status;
            if (IsRunRecordName(posix::WidenName(name.data(), name.size())) &&
                ::fstatat(listed, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)) {
                records.push_back(name);
            }
        }
        std::sort(records.begin(), records.end());
        const std::size_t kept = static_cast<std::size_t>(std::max(keep, 1));
        for (std::size_t at = 0; at + kept < records.size(); ++at) ::unlinkat(listed, records[at].c_str(), 0);
    }

    std::wstring folder_;
    std::wstring name_;
    FileDescriptor folder_fd_;
    FileDescriptor file_;
    std::unique_ptr<posix::NamedTemporary> temporary_;
    std::string buffer_;
    std::wstring problem_;
};

RunRecordFile::RunRecordFile(const std::wstring& folder, const std::wstring& destination, const std::wstring& stamp)
    : writer_(std::make_unique<Writer>(folder, destination, stamp)) {}

RunRecordFile::~RunRecordFile() = default;

void RunRecordFile::Write(const std::wstring& text) { writer_->Write(text); }

RunRecordFile::Kept RunRecordFile::Keep(int keep) { return writer_->Keep(keep); }
