// The terminal folder browser: the stand-in's SHBrowseForFolderW.
//
// At a terminal it is interactive: it shows the title that the callback set,
// the instruction text, the selected folder and its subfolders numbered, and
// takes one command per line (a number opens a subfolder, ".." goes up, a
// path goes there, Enter chooses, "q" cancels). Without a terminal it keeps
// to the line protocol that scripts rely on: it prints the title and the
// instruction text once and "Selected: <folder>" (and "Status: <text>" when
// the caller asked for a status line) before each "> " prompt, echoes each
// command it reads, and takes paths, ".." (up), an empty line (choose), "q"
// or the end of input (cancel); anything it refuses is reported on standard
// error and the selection stays. Paths are typed in either form (/srv/media
// or \srv\media), relative to the selected folder, or from "~" (home).
//
// The callback hears BFFM_INITIALIZED once, then BFFM_SELCHANGED for the
// folder the browser opens at and after every change of selection. A
// BFFM_SETSELECTIONW takes effect once the callback has returned, so the
// callback is never entered twice at once.
#include <sys/ioctl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/console.h"
#include "platform/posix/folders.h"
#include "platform/posix/names.h"
#include "platform/posix/shell_internal.h"

namespace posix {
namespace {

// The closed-folder icon of the system image list, reported for every folder.
constexpr int kFolderIcon = 3;
// A callback that answers each selection with another one would otherwise
// keep the browser busy for ever.
constexpr int kMaxSelectionRequests = 8;
// A nominal client area: the browser has no pixels of its own.
constexpr RECT kClientArea = {0, 0, 320, 380};
// Longer lines are read and dropped, never kept.
constexpr std::size_t kLongestLine = 32768;

std::wstring TextAt(LPARAM lParam) {
    const auto* text = reinterpret_cast<LPCWSTR>(lParam);
    return text != nullptr ? text : L"";
}

// The window that the callback talks to. It keeps what it was told and
// draws it; a terminal has no place or size to change, so placement is
// accepted and has no effect.
class BrowserWindow final : public Window {
public:
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case BFFM_ENABLEOK:
            okEnabled_ = lParam != 0;
            break;
        case BFFM_SETSTATUSTEXTW:
            status_ = TextAt(lParam);
            break;
        case BFFM_SETSELECTIONW:
            // Cuecarry selects by path (wParam 1) only.
            if (wParam != 0) selectionRequest_ = TextAt(lParam);
            break;
        default:
            break;
        }
        return 0;
    }
    BOOL SetText(LPCWSTR text) override {
        title_ = text != nullptr ? text : L"";
        return TRUE;
    }
    BOOL ClientRect(RECT* rect) override {
        if (rect == nullptr) return FALSE;
        *rect = kClientArea;
        return TRUE;
    }
    BOOL SetPos(Window*, int, int, int, int, UINT) override { return TRUE; }

    bool OkEnabled() const { return okEnabled_; }
    const std::wstring& Status() const { return status_; }
    std::optional<std::wstring> TakeSelectionRequest() { return std::exchange(selectionRequest_, std::nullopt); }

    void DrawHeading(std::string& out, LPCWSTR instruction) const {
        out += "== " + DisplayText(title_) + " ==\n";
        out += DisplayText(instruction != nullptr ? instruction : L"") + "\n";
    }
    void DrawStatus(std::string& out) const { out += "Status: " + DisplayText(status_) + "\n"; }

private:
    std::wstring title_ = L"Browse For Folder";
    std::wstring status_;
    bool okEnabled_ = true;
    std::optional<std::wstring> selectionRequest_;
};

struct ItemListFree {
    void operator()(ITEMIDLIST* pidl) const { FreeItemList(pidl); }
};
using OwnedItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

class TerminalBrowser {
public:
    TerminalBrowser(BROWSEINFOW& info, const Console& console) : info_(info), console_(console) {
        const ITEMIDLIST* root = LiveItemList(info.pidlRoot);
        if (root != nullptr && root->hasPath && IsAbsoluteFolderPath(root->path)) root_ = NormalFolderPath(root->path);
    }

    PIDLIST_ABSOLUTE Run() {
        Open();
        if (!console_.interactive) {
            std::string heading;
            window_.DrawHeading(heading, info_.lpszTitle);
            WriteText(console_.output, heading);
        }
        for (;;) {
            Prompt();
            const std::optional<InputLine> line = ReadLine(console_.input, kLongestLine);
            if (!line) {
                WriteText(console_.output, "\n");
                return nullptr;
            }
            if (!console_.interactive) WriteText(console_.output, DisplayText(WidenTyped(line->text)) + "\n");
            message_.clear();
            const Next next = Execute(Trimmed(line->text));
            if (next == Next::Choose) return Chosen();
            if (next == Next::Cancel) return nullptr;
        }
    }

private:
    enum class Next { Prompt, Choose, Cancel };

    void Open() {
        Notify(BFFM_INITIALIZED, 0);
        selection_ = DefaultFolder();
        if (const std::optional<std::wstring> request = window_.TakeSelectionRequest()) {
            if (const std::optional<std::wstring> folder = Acceptable(*request)) selection_ = *folder;
        }
        AnnounceSelection();
    }

    // The working directory when the tree can show it, else the tree's top.
    std::wstring DefaultFolder() const {
        const std::wstring working = WorkingFolder();
        if (!working.empty() && IsFolder(working) && Inside(working)) return working;
        return root_.value_or(L"\\");
    }

    Next Execute(const std::string& command) {
        if (command.empty()) return Confirm();
        if (command == "q") return Next::Cancel;
        if (command == "..") {
            GoUp();
        } else if (console_.interactive && IsNumber(command)) {
            OpenNumbered(std::stoul(command));
        } else {
            GoTo(WidenName(command.data(), command.size()));
        }
        return Next::Prompt;
    }

    Next Confirm() {
        if (!window_.OkEnabled()) {
            const std::wstring& status = window_.Status();
            Report(status.empty() ? std::string("This folder cannot be chosen.")
                                  : "This folder cannot be chosen: " + DisplayText(status));
            return Next::Prompt;
        }
        // The caller asked for a file-system folder, and a path that long
        // cannot be handed back as one.
        if ((info_.ulFlags & BIF_RETURNONLYFSDIRS) != 0 && selection_.size() >= MAX_PATH) {
            Report("This folder's path is too long to be chosen (259 characters at most).");
            return Next::Prompt;
        }
        return Next::Choose;
    }

    void GoUp() {
        if (selection_ == root_.value_or(L"\\")) {
            Report("Already at the top.");
            return;
        }
        Select(ParentFolder(selection_));
    }

    void OpenNumbered(unsigned long number) {
        if (number == 0 || number > shown_.size()) {
            Report("No folder numbered " + std::to_string(number) + ".");
            return;
        }
        Select(selection_ == L"\\" ? L"\\" + shown_[number - 1] : selection_ + L"\\" + shown_[number - 1]);
    }

    void GoTo(const std::wstring& typed) {
        const std::wstring target = Resolve(typed);
        if (!IsFolder(target)) {
            Report("No folder at " + DisplayPath(target));
        } else if (!Inside(target)) {
            Report(DisplayPath(target) + " is outside " + DisplayPath(*root_));
        } else {
            Select(target);
        }
    }

    std::wstring Resolve(const std::wstring& typed) const {
        const bool fromHome = typed == L"~" || typed.rfind(L"~/", 0) == 0 || typed.rfind(L"~\\", 0) == 0;
        if (fromHome) return NormalFolderPath(HomeFolder() + L"\\" + typed.substr(1));
        if (IsAbsoluteFolderPath(typed)) return NormalFolderPath(typed);
        return NormalFolderPath(selection_ + L"\\" + typed);
    }

    bool Inside(const std::wstring& folder) const { return !root_ || IsWithinFolder(folder, *root_); }

    std::optional<std::wstring> Acceptable(const std::wstring& path) {
        const std::wstring folder = Resolve(path);
        if (IsFolder(folder) && Inside(folder)) return folder;
        Report("The start folder " + DisplayPath(folder) + " cannot be shown.");
        return std::nullopt;
    }

    void Select(const std::wstring& folder) {
        if (folder == selection_) return;
        selection_ = folder;
        AnnounceSelection();
    }

    // Tells the callback, then follows the selection it asks for, if any.
    void AnnounceSelection() {
        for (int round = 0; round < kMaxSelectionRequests; ++round) {
            const OwnedItemList item(NewItemList(selection_, FolderName(selection_), true));
            Notify(BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item.get()));
            const std::optional<std::wstring> request = window_.TakeSelectionRequest();
            if (!request) return;
            const std::optional<std::wstring> folder = Acceptable(*request);
            if (!folder || *folder == selection_) return;
            selection_ = *folder;
        }
    }

    void Notify(UINT message, LPARAM lParam) {
        if (info_.lpfn != nullptr) info_.lpfn(&window_, message, lParam, info_.lParam);
    }

    // At a terminal the reason waits for the next screen; a script's error
    // stream gets it at once.
    void Report(const std::string& reason) {
        if (console_.interactive) {
            message_ = reason;
        } else {
            WriteText(console_.error, reason + "\n");
        }
    }

    void Prompt() {
        std::string screen;
        if (console_.interactive) {
            DrawScreen(screen);
        } else {
            screen += "Selected: " + DisplayPath(selection_) + "\n";
            if ((info_.ulFlags & BIF_STATUSTEXT) != 0) window_.DrawStatus(screen);
        }
        screen += "> ";
        WriteText(console_.output, screen);
    }

    void DrawScreen(std::string& screen) {
        if (IsTerminal(console_.output)) screen += "\x1b[H\x1b[2J";
        window_.DrawHeading(screen, info_.lpszTitle);
        screen += "\nSelected: " + DisplayPath(selection_) + "\n";
        DrawSubfolders(screen);
        if ((info_.ulFlags & BIF_STATUSTEXT) != 0) window_.DrawStatus(screen);
        screen += "\n";
        if (!message_.empty()) screen += message_ + "\n";
        screen += "[number] open  [..] up  [path] go to  ";
        screen += window_.OkEnabled() ? "[Enter] choose" : "[Enter] choose (not available here)";
        screen += "  [q] cancel\n";
    }

    void DrawSubfolders(std::string& screen) {
        const Subfolders listing = ListSubfolders(selection_);
        shown_ = listing.names;
        if (listing.error != 0) {
            screen += "  (this folder cannot be listed: " + std::string(std::strerror(listing.error)) + ")\n";
            return;
        }
        if (shown_.empty()) screen += "  (no subfolders)\n";
        const std::size_t width = std::to_string(shown_.size()).size();
        const std::size_t drawn = std::min(shown_.size(), RowsForSubfolders());
        for (std::size_t i = 0; i < drawn; ++i) {
            const std::string number = std::to_string(i + 1);
            screen += std::string(2 + width - number.size(), ' ') + number + "  " + DisplayText(shown_[i]) + "/\n";
        }
        if (drawn < shown_.size()) {
            screen += "  ... and " + std::to_string(shown_.size() - drawn) + " more: type a number or a name\n";
        }
    }

    // A long listing would push the heading and the selection off the
    // screen, so it stops where the terminal does.
    std::size_t RowsForSubfolders() const {
        constexpr std::size_t kOtherRows = 11;
        constexpr std::size_t kFewest = 3;
        winsize size{};
        if (::ioctl(console_.output, TIOCGWINSZ, &size) != 0) return static_cast<std::size_t>(-1);
        return std::max<std::size_t>(size.ws_row > kOtherRows ? size.ws_row - kOtherRows : 0, kFewest);
    }

    PIDLIST_ABSOLUTE Chosen() {
        const std::wstring name = FolderName(selection_);
        if (info_.pszDisplayName != nullptr) {
            const std::size_t length = name.copy(info_.pszDisplayName, MAX_PATH - 1);
            info_.pszDisplayName[length] = L'\0';
        }
        info_.iImage = kFolderIcon;
        return NewItemList(selection_, name, true);
    }

    BROWSEINFOW& info_;
    const Console console_;
    std::optional<std::wstring> root_;
    BrowserWindow window_;
    std::wstring selection_;
    std::vector<std::wstring> shown_;  // the numbered subfolders on the screen
    std::string message_;              // why the last command was refused
};

}  // namespace

PIDLIST_ABSOLUTE RunTerminalBrowser(BROWSEINFOW& info, const Console& console) {
    return TerminalBrowser(info, console).Run();
}

}  // namespace posix
