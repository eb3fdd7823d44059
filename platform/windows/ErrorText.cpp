#include "platform/ErrorText.h"

#include <cstring>

#include "platform/ReasonWords.h"
#include "platform/Platform.h"

namespace {

// What the Linux build says for the errno behind each code, as the
// stand-in maps errno values to these codes (posix/files/Errors.h).
const char* LinuxWords(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "No such file or directory";
    case ERROR_TOO_MANY_OPEN_FILES: return "Too many open files";
    case ERROR_ACCESS_DENIED: return "Permission denied";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return "Cannot allocate memory";
    case ERROR_WRITE_PROTECT: return "Read-only file system";
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT: return "Input/output error";
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return "No space left on device";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "File exists";
    case ERROR_INVALID_NAME: return "Invalid argument";
    case ERROR_DIR_NOT_EMPTY: return "Directory not empty";
    case ERROR_FILENAME_EXCED_RANGE: return "File name too long";
    case ERROR_FILE_TOO_LARGE: return "File too large";
    case ERROR_DIRECTORY: return "Not a directory";
    case ERROR_FILE_INVALID: return reason_words::kSourceChanged;
    default: return nullptr;
    }
}

std::wstring Widened(const char* ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); }

// The system's own words, where Linux has none for the error.
std::wstring SystemWords(DWORD error) {
    wchar_t text[512] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  512, nullptr);
    // The system's text ends its line, often with a full stop; the reason
    // is a part of a line.
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ' ||
                          text[length - 1] == L'.')) {
        --length;
    }
    return length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(error);
}

bool Has(const wchar_t* path, DWORD attribute) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute) != 0;
}

// The folder of `path`; empty for a name alone.
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t end = path.find_last_of(L'\\');
    return end == std::wstring::npos ? std::wstring() : path.substr(0, end);
}

// Why CopyFileW failed, where its error leaves it open; nothing where the
// error says it all.
std::wstring CopyCause(DWORD error, const wchar_t* source, const wchar_t* target) {
    if (error == ERROR_ACCESS_DENIED) {
        if (Has(target, FILE_ATTRIBUTE_DIRECTORY)) return L"Is a directory";
        if (Has(target, FILE_ATTRIBUTE_READONLY)) return Widened(reason_words::kTargetReadOnly);
        if (Has(source, FILE_ATTRIBUTE_DIRECTORY)) return Widened(reason_words::kNotRegularFile);
    }
    if (error == ERROR_PATH_NOT_FOUND) {
        // The walk made the caption's folders just before the copy; where
        // they are missing, their creation failed. A file on the way is
        // what Linux names; any other cause is unknown here.
        std::wstring folder = FolderOf(target);
        if (folder.empty() || GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return std::wstring();
        for (folder = FolderOf(folder); !folder.empty(); folder = FolderOf(folder)) {
            const DWORD attributes = GetFileAttributesW(folder.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) continue;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return L"Not a directory";
            break;
        }
        return Widened(reason_words::kFolderNotMade);
    }
    return std::wstring();
}

}  // namespace

std::wstring LastErrorInWords() {
    const DWORD error = GetLastError();
    const char* words = LinuxWords(error);
    return words != nullptr ? Widened(words) : SystemWords(error);
}

std::wstring CopyErrorInWords(const wchar_t* source, const wchar_t* target) {
    const DWORD error = GetLastError();
    const std::wstring cause = CopyCause(error, source, target);
    // Looking at the files sets the last error anew.
    SetLastError(error);
    return !cause.empty() ? cause : LastErrorInWords();
}
