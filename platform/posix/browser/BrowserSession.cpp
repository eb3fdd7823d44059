#include "platform/posix/browser/BrowserSession.h"

#include <memory>
#include <utility>

#include "platform/posix/Console.h"
#include "platform/posix/files/WriteFolders.h"
#include "platform/posix/Folders.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

// The closed-folder icon of the system image list, reported for every folder.
constexpr int kFolderIcon = 3;
// A callback that answers each selection with another one would otherwise
// keep the browser busy for ever.
constexpr int kMaxSelectionRequests = 8;
// A nominal client area: the browser has no pixels of its own.
constexpr RECT kClientArea = {0, 0, 320, 380};

std::wstring TextAt(LPARAM lParam) {
    const auto* text = reinterpret_cast<LPCWSTR>(lParam);
    return text != nullptr ? text : L"";
}

struct ItemListFree {
    void operator()(ITEMIDLIST* pidl) const { FreeItemList(pidl); }
};
using OwnedItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

}  // namespace

LRESULT BrowserWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) {
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

BOOL BrowserWindow::SetText(LPCWSTR text) {
    title_ = text != nullptr ? text : L"";
    return TRUE;
}

BOOL BrowserWindow::ClientRect(RECT* rect) {
    if (rect == nullptr) return FALSE;
    *rect = kClientArea;
    return TRUE;
}

BOOL BrowserWindow::SetPos(Window* insertAfter, int, int, int, int, UINT) {
    if (insertAfter == HWND_TOPMOST) topmost_ = true;
    return TRUE;
}

std::optional<std::wstring> BrowserWindow::TakeSelectionRequest() {
    return std::exchange(selectionRequest_, std::nullopt);
}

BrowserSession::BrowserSession(BROWSEINFOW& info, Reporter report) : info_(info), report_(std::move(report)) {
    const ITEMIDLIST* root = LiveItemList(info.pidlRoot);
    if (root != nullptr && root->hasPath && IsAbsoluteFolderPath(root->path)) root_ = NormalFolderPath(root->path);
    top_ = root_.value_or(L"\\");
}

void BrowserSession::Open() {
    Notify(BFFM_INITIALIZED, 0);
    const std::wstring working = WorkingFolder();
    selection_ = !working.empty() && IsFolder(working) && Contains(working) ? working : top_;
    if (const std::optional<std::wstring> request = window_.TakeSelectionRequest()) {
        if (const std::optional<std::wstring> folder = Showable(*request)) selection_ = *folder;
    }
    AnnounceSelection();
}

bool BrowserSession::Contains(const std::wstring& folder) const { return IsWithinFolder(folder, top_); }

std::wstring BrowserSession::Instruction() const { return info_.lpszTitle != nullptr ? info_.lpszTitle : L""; }

bool BrowserSession::ShowsStatus() const { return (info_.ulFlags & BIF_STATUSTEXT) != 0; }

std::wstring BrowserSession::Resolve(const std::wstring& typed) const {
    const bool fromHome = typed == L"~" || typed.rfind(L"~/", 0) == 0 || typed.rfind(L"~\\", 0) == 0;
    std::wstring absolute = selection_ + L"\\" + typed;
    if (fromHome) absolute = HomeFolder() + L"\\" + typed.substr(1);
    if (IsAbsoluteFolderPath(typed)) absolute = typed;
    // A ".." steps up from where the names before it lead, as the kernel
    // reads it; read as text it could name another folder.
    return KernelFolderPath(absolute).value_or(absolute);
}

BrowserSession::Refusal BrowserSession::GoTo(const std::wstring& typed) {
    const std::wstring target = Resolve(typed);
    if (!IsFolder(target)) return "No folder at " + DisplayPath(target);
    if (!Contains(target)) return DisplayPath(target) + " is outside " + DisplayPath(top_);
    Select(target);
    return std::nullopt;
}

BrowserSession::Refusal BrowserSession::GoUp() {
    if (selection_ == top_) return std::string("Already at the top.");
    Select(ParentFolder(selection_));
    return std::nullopt;
}

void BrowserSession::Select(const std::wstring& folder) {
    if (folder == selection_) return;
    selection_ = folder;
    AnnounceSelection();
}

BrowserSession::Refusal BrowserSession::ChoiceRefusal() const {
    if (!window_.OkEnabled()) {
        const std::wstring& status = window_.Status();
        return status.empty() ? std::string("This folder cannot be chosen.")
                              : "This folder cannot be chosen: " + DisplayText(status);
    }
    // The caller asked for a file-system folder, and a path that long cannot
    // be handed back as one.
    if ((info_.ulFlags & BIF_RETURNONLYFSDIRS) != 0 && ChosenPath().size() >= MAX_PATH) {
        return std::string("This folder's path is too long to be chosen (259 characters at most).");
    }
    return std::nullopt;
}

PIDLIST_ABSOLUTE BrowserSession::Choose() {
    const std::wstring name = FolderName(selection_);
    if (info_.pszDisplayName != nullptr) {
        const std::size_t length = name.copy(info_.pszDisplayName, MAX_PATH - 1);
        info_.pszDisplayName[length] = L'\0';
    }
    info_.iImage = kFolderIcon;
    const std::wstring chosen = ChosenPath();
    if (const std::optional<std::string> native = NativePath(chosen.c_str())) WriteThroughChosenLink(*native);
    return NewItemList(chosen, name, true);
}

// What the caller gets: the folders above the chosen one resolved, so that
// no link on the way can later send its writes elsewhere, and the chosen
// folder under the name it was chosen by: a link named VOD is the VOD
// layout, whatever the folder it leads to is called. A folder that is gone
// by now keeps its path, and the caller finds it missing.
std::wstring BrowserSession::ChosenPath() const { return KernelFolderPath(selection_).value_or(selection_); }

std::optional<std::wstring> BrowserSession::Showable(const std::wstring& requested) {
    const std::wstring folder = Resolve(requested);
    if (IsFolder(folder) && Contains(folder)) return folder;
    report_("The start folder " + DisplayPath(folder) + " cannot be shown.");
    return std::nullopt;
}

// Tells the callback, then follows the selection it asks for, if any.
void BrowserSession::AnnounceSelection() {
    for (int round = 0; round < kMaxSelectionRequests; ++round) {
        const OwnedItemList item(NewItemList(selection_, FolderName(selection_), true));
        Notify(BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item.get()));
        const std::optional<std::wstring> request = window_.TakeSelectionRequest();
        if (!request) return;
        const std::optional<std::wstring> folder = Showable(*request);
        if (!folder || *folder == selection_) return;
        selection_ = *folder;
    }
}

void BrowserSession::Notify(UINT message, LPARAM lParam) {
    if (info_.lpfn != nullptr) info_.lpfn(&window_, message, lParam, info_.lParam);
}

}  // namespace posix
