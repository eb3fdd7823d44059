// The records of runs on Windows: in "Cuecarry" in the user's local
// application data folder. A record is written under a temporary name that
// no other run can remove while it is open, and renamed when whole; a
// later run removes the temporary files that a killed run left. Windows
// programs read plain text as UTF-8 with its mark, lines ended by CR LF.
#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/ErrorText.h"
#include "platform/FolderRules.h"
#include "platform/RunRecordFile.h"
#include "platform/ShownText.h"
#include "platform/Platform.h"

namespace {

constexpr std::size_t kBlock = 64 * 1024;

class OwnedHandle {
public:
    OwnedHandle() = default;
    ~OwnedHandle() { Close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        const bool closed = handle_ == INVALID_HANDLE_VALUE || CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class Listing {
public:
    explicit Listing(const std::wstring& pattern) : handle_(FindFirstFileW(pattern.c_str(), &entry_)) {}
    ~Listing() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    // Each plain file's name in turn.
    template <typename Visit>
    void ForEachFile(Visit visit) {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        do {
            if ((entry_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) visit(std::wstring(entry_.cFileName));
        } while (FindNextFileW(handle_, &entry_));
    }

private:
    WIN32_FIND_DATAW entry_{};
    HANDLE handle_;
};

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Makes `folder` and the folders above it that are missing; the last
// creation's error decides.
bool MakeFolders(const std::wstring& folder) {
    for (std::size_t at = folder.find(L'\\', 3); at != std::wstring::npos; at = folder.find(L'\\', at + 1)) {
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    if (CreateDirectoryW(folder.c_str(), nullptr) || IsFolder(folder)) return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) SetLastError(ERROR_DIRECTORY);
    return false;
}

// UTF-8, each line ended by CR LF.
std::string ForWindows(const std::wstring& text) {
    std::wstring lines;
    lines.reserve(text.size() + text.size() / 32);
    for (const wchar_t unit : text) {
        if (unit == L'\n') lines.push_back(L'\r');
        lines.push_back(unit);
    }
    if (lines.empty()) return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()), &bytes[0], length, nullptr, nullptr);
    return bytes;
}

std::wstring Number(int value, int width) {
    wchar_t text[16] = {};
    std::swprintf(text, 16, L"%0*d", width, value);
    return text;
}

}  // namespace

std::wstring RunRecordFolder(std::wstring& whyNot) {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        whyNot = L"the local application data folder is not known";
        return std::wstring();
    }
    return std::wstring(folder) + L"\\Cuecarry";
}

RecordTime RecordTimeNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    SYSTEMTIME utc{}, local{};
    FileTimeToSystemTime(&now, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    FILETIME localTime{};
    SystemTimeToFileTime(&local, &localTime);
    const auto ticks = [](const FILETIME& time) {
        return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    // 100-nanosecond ticks to minutes, rounded: the zone's offset.
    const long long offsetMinutes = (ticks(localTime) - ticks(now) + 300000000LL) / 600000000LL;
    const long long away = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    RecordTime time;
    time.shown = Number(local.wYear, 4) + L"-" + Number(local.wMonth, 2) + L"-" + Number(local.wDay, 2) + L" " +
                 Number(local.wHour, 2) + L":" + Number(local.wMinute, 2) + L":" + Number(local.wSecond, 2) + L" " +
                 (offsetMinutes < 0 ? L"-" : L"+") + Number(static_cast<int>(away / 60), 2) +
                 Number(static_cast<int>(away % 60), 2);
    time.stamp = Number(utc.wYear, 4) + Number(utc.wMonth, 2) + Number(utc.wDay, 2) + L"T" + Number(utc.wHour, 2) +
                 Number(utc.wMinute, 2) + Number(utc.wSecond, 2) + L"." + Number(utc.wMilliseconds, 3) + L"Z";
    return time;
}

class RunRecordFile::Writer {
public:
    Writer(const std::wstring& folder, const std::wstring& destination, const std::wstring& stamp)
        : folder_(folder), name_(RunRecordName(stamp, GetCurrentProcessId())), temporary_(folder + L"\\~" + name_ + L".tmp") {
        if (FolderLiesWithin(folder_.c_str(), destination.c_str())) {
            problem_ = ShownPath(folder_) + L" lies inside the copy to folder";
            return;
        }
        if (!MakeFolders(folder_)) {
            Fail();
            return;
        }
        // No other run may remove it while it is written: it is not shared
        // for deletion.
        file_.Reset(CreateFileW(temporary_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_) {
            Fail();
            return;
        }
        created_ = true;
        buffer_ = "\xEF\xBB\xBF";
    }

    ~Writer() {
        if (!created_ || kept_) return;
        file_.Close();
        DeleteFileW(temporary_.c_str());
    }

    void Write(const std::wstring& text) {
        if (!problem_.empty()) return;
        buffer_ += ForWindows(text);
        if (buffer_.size() >= kBlock) Flush();
    }

    Kept Keep(int keep) {
        Flush();
        if (problem_.empty() && !FlushFileBuffers(file_.get())) Fail();
        if (problem_.empty() && !file_.Close()) Fail();
        const std::wstring record = folder_ + L"\\" + name_;
        if (problem_.empty() && !MoveFileExW(temporary_.c_str(), record.c_str(), MOVEFILE_WRITE_THROUGH)) Fail();
        if (!problem_.empty()) return {std::wstring(), problem_};
        kept_ = true;
        RemoveOldest(keep);
        RemoveLeftTemporaries();
        return {ShownPath(record), std::wstring()};
    }

private:
    void Fail() {
        if (problem_.empty()) problem_ = ShownPath(folder_) + L": " + LastErrorInWords();
    }

    void Flush() {
        if (problem_.empty() && !buffer_.empty()) {
            DWORD written = 0;
            if (!WriteFile(file_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &written, nullptr) ||
                written != buffer_.size()) {
                Fail();
            }
        }
        buffer_.clear();
    }

    void RemoveOldest(int keep) {
        std::vector<std::wstring> records;
        Listing(folder_ + L"\\run-*.txt").ForEachFile([&](const std::wstring& name) {
            if (IsRunRecordName(name)) records.push_back(name);
        });
        std::sort(records.begin(), records.end());
        const std::size_t kept = static_cast<std::size_t>(std::max(keep, 1));
        for (std::size_t at = 0; at + kept < records.size(); ++at) DeleteFileW((folder_ + L"\\" + records[at]).c_str());
    }

    // A run that is still writing holds its file unshared for deletion, so
    // only the files of runs that ended without renaming theirs go.
    void RemoveLeftTemporaries() {
        Listing(folder_ + L"\\~run-*.tmp").ForEachFile([&](const std::wstring& name) {
            if (name.size() > 5 && IsRunRecordName(name.substr(1, name.size() - 5))) {
                DeleteFileW((folder_ + L"\\" + name).c_str());
            }
        });
    }

    const std::wstring folder_;
    const std::wstring name_;
    const std::wstring temporary_;
    OwnedHandle file_;
    std::string buffer_;
    std::wstring problem_;
    bool created_ = false;
    bool kept_ = false;
};

RunRecordFile::RunRecordFile(const std::wstring& folder, const std::wstring& destination, const std::wstring& stamp)
    : writer_(std::make_unique<Writer>(folder, destination, stamp)) {}

RunRecordFile::~RunRecordFile() = default;

void RunRecordFile::Write(const std::wstring& text) { writer_->Write(text); }

RunRecordFile::Kept RunRecordFile::Keep(int keep) { return writer_->Keep(keep); }
