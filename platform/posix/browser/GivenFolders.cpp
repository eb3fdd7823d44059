// The command line's face of the folder browser: each browse answers with
// the next folder that the command line gave, and shows nothing. The folder
// goes through the same session as one chosen on screen, so the callback
// hears of it and the choice is checked and resolved alike. A folder that
// does not exist is handed back as given, so that the caller finds it
// missing and says so in its own words.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <optional>
#include <string>

#include "platform/ReasonWords.h"
#include "platform/posix/browser/BrowserFaces.h"
#include "platform/posix/browser/BrowserSession.h"
#include "platform/posix/CommandLineOptions.h"
#include "platform/posix/Console.h"
#include "platform/posix/Folders.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

struct GivenFolders {
    bool given = false;
    std::deque<std::wstring> left;
};

GivenFolders& Given() {
    static GivenFolders folders;
    return folders;
}

// The folder as the kernel finds it (Folders.h). Where the kernel finds
// nothing, the path stays as given, ".." and all, so that the caller's own
// query finds it missing: read as text, "lnk/../out" could name a folder
// that the kernel would never reach.
std::optional<std::wstring> Absolute(const std::wstring& given) {
    std::wstring absolute = given;
    if (!IsAbsoluteFolderPath(given)) {
        const std::wstring working = WorkingFolder();
        if (working.empty()) return std::nullopt;
        absolute = working + L"\\" + given;
    }
    return KernelFolderPath(absolute).value_or(absolute);
}

// Something other than a folder at `path`: why it cannot be chosen. A path
// where nothing is gets nothing: the caller finds it missing and says so.
std::optional<std::string> NoFolderThere(const std::wstring& path) {
    const std::optional<std::string> native = NativePath(path.c_str());
    struct stat status;
    if (!native) return std::nullopt;
    if (::stat(native->c_str(), &status) == 0) {
        return S_ISDIR(status.st_mode) ? std::nullopt : std::optional<std::string>("not a folder");
    }
    if (::lstat(native->c_str(), &status) == 0) return std::string("a symbolic link that leads nowhere");
    return std::nullopt;
}

// Why the folder given as `typed` cannot be taken before the run has
// begun: anything but a folder there, and nothing at all. The destination,
// the second, must also take new folders: the run would refuse it before
// the walk.
std::optional<std::string> ProblemWith(const std::wstring& typed, bool destination) {
    const std::optional<std::wstring> folder = Absolute(typed);
    if (!folder) return DisplayText(typed) + ": the working folder cannot be read";
    const std::optional<std::string> native = NativePath(folder->c_str());
    if (!native) return std::nullopt;
    const auto because = [&](const std::string& why) { return DisplayPath(*folder) + ": " + why; };
    const auto words = [](int error) {
        const char* text = ::strerrordesc_np(error);
        return text != nullptr ? std::string(text) : "error " + std::to_string(error);
    };
    if (const std::optional<std::string> why = NoFolderThere(*folder)) return because(*why);
    struct stat status;
    if (::stat(native->c_str(), &status) != 0) return because(words(errno));
    if (destination && ::faccessat(AT_FDCWD, native->c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        return because(std::string(reason_words::kNoFolderCanBeMade) + ": " + words(errno));
    }
    return std::nullopt;
}

// Why `folder` cannot be the answer; nothing when it can, or when it is
// missing.
std::optional<std::string> Refusal(const BrowserSession& session, const std::wstring& folder) {
    if (std::optional<std::string> why = NoFolderThere(folder)) return why;
    if (!session.Contains(folder)) return "outside " + DisplayPath(session.Top());
    return std::nullopt;
}

}  // namespace

void AnswerBrowsesWith(const std::vector<std::string>& folders) {
    GivenFolders& given = Given();
    given.given = true;
    given.left.clear();
    for (const std::string& folder : folders) given.left.push_back(WidenName(folder.data(), folder.size()));
}

std::vector<std::optional<std::string>> ProblemsWithGivenFolders(const std::vector<std::string>& folders) {
    std::vector<std::optional<std::string>> problems;
    for (const std::string& folder : folders) {
        problems.push_back(ProblemWith(WidenName(folder.data(), folder.size()), problems.size() == 1));
    }
    return problems;
}

bool AnswersGivenFolders() { return Given().given; }

PIDLIST_ABSOLUTE AnswerWithGivenFolder(BROWSEINFOW& info, const Console& console) {
    auto complain = [&](const std::string& what) { WriteText(console.error, "cuecarry: " + what + "\n"); };
    GivenFolders& given = Given();
    if (given.left.empty()) return nullptr;
    const std::wstring typed = given.left.front();
    given.left.pop_front();

    BrowserSession session(info, complain);
    session.Open();
    const std::optional<std::wstring> folder = Absolute(typed);
    if (!folder) {
        complain(DisplayText(typed) + ": the working folder cannot be read");
        return nullptr;
    }
    if (const std::optional<std::string> refusal = Refusal(session, *folder)) {
        complain(DisplayPath(*folder) + ": " + *refusal);
        return nullptr;
    }
    session.Select(*folder);
    if (const BrowserSession::Refusal refusal = session.ChoiceRefusal()) {
        complain(DisplayPath(*folder) + ": " + *refusal);
        return nullptr;
    }
    return session.Choose();
}

}  // namespace posix
