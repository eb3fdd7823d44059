#include "app/posix/NothingCopied.h"

#include <algorithm>

#include "platform/ErrorText.h"
#include "platform/FindListing.h"
#include "platform/posix/Console.h"

namespace {

std::string Shown(const CString& path) { return posix::DisplayPath(std::wstring(path)); }

// A path as a shell takes it back: in single quotes unless it is plain.
std::string ForTheShell(const std::string& path) {
    const bool plain = std::all_of(path.begin(), path.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string("/._-+,:@%").find(c) != std::string::npos;
    });
    if (plain && !path.empty()) return path;
    std::string quoted = "'";
    for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A subfolder of `folder` whose name selects a layout, as it is spelled
// there; empty when there is none.
CString LayoutSubfolder(const CString& folder) {
    FindListing listing(folder + L"\\*");
    if (!listing.IsOpen()) return CString();
    do {
        const WIN32_FIND_DATAW& entry = listing.Entry();
        const CString name(entry.cFileName);
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder && (name.CompareNoCase(L"VOD") == 0 || name.CompareNoCase(L"Zelvora") == 0)) return name;
    } while (listing.Next());
    return CString();
}

std::string NoLayout(const RunOutcome& run) {
    std::string line = "cuecarry: " + Shown(run.sourceRoot) + ": the starting folder is named neither VOD nor Zelvora";
    const CString subfolder = LayoutSubfolder(run.sourceRoot);
    if (!subfolder.IsEmpty()) {
        line += "; its subfolder " + posix::DisplayText(std::wstring(subfolder)) + " is one: cuecarry " +
                ForTheShell(Shown(run.sourceRoot + L"\\" + subfolder)) + " " + ForTheShell(Shown(run.destinationRoot));
    }
    return line + "\n";
}

std::string NotAccessible(const RunOutcome& run, const CString& folder) {
    run.notAccessible.Restore();
    return "cuecarry: " + Shown(folder) + ": " + posix::DisplayText(LastErrorInWords()) + "\n";
}

}  // namespace

std::string NothingCopiedReason(const RunOutcome& run) {
    using End = RunOutcome::End;
    switch (run.end) {
    case End::NotRun: return std::string();
    case End::Cancelled: return "cuecarry: no folder was chosen; nothing was copied\n";
    case End::SourceNotAccessible: return NotAccessible(run, run.sourceRoot);
    case End::DestinationNotAccessible: return NotAccessible(run, run.destinationRoot);
    case End::Copied: return run.copy.layoutRecognized ? std::string() : NoLayout(run);
    }
    return std::string();
}
