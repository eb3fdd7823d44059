// One SHBrowseForFolderW call, whichever face it shows (the full-screen
// browser, the line protocol, the folders given, a desktop's chooser): the
// window that the callback talks to, the tree's top, the selection, and the
// rules for moving and choosing it.
//
// The callback hears BFFM_INITIALIZED once, then BFFM_SELCHANGED for the
// folder the browser opens at and after every change of selection. A
// BFFM_SETSELECTIONW takes effect once the callback has returned, so the
// callback is never entered twice at once.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/posix/ShellInternal.h"
#include "platform/posix/User.h"

namespace posix {

// What the callback set. A terminal has no place or size to change, so
// placement is accepted and has no effect; a window on a desktop follows
// the topmost band that it asks for.
class BrowserWindow final : public Window {
public:
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL SetText(LPCWSTR text) override;
    BOOL ClientRect(RECT* rect) override;
    BOOL SetPos(Window* insertAfter, int, int, int, int, UINT) override;

    const std::wstring& Title() const { return title_; }
    const std::wstring& Status() const { return status_; }
    bool OkEnabled() const { return okEnabled_; }
    bool Topmost() const { return topmost_; }
    std::optional<std::wstring> TakeSelectionRequest();

private:
    std::wstring title_ = L"Browse For Folder";
    std::wstring status_;
    bool okEnabled_ = true;
    bool topmost_ = false;
    std::optional<std::wstring> selectionRequest_;
};

class BrowserSession {
public:
    // Hears why a folder that the callback asked for could not be shown.
    using Reporter = std::function<void(const std::string& reason)>;
    // Why a command was refused; nothing when it was carried out.
    using Refusal = std::optional<std::string>;

    BrowserSession(BROWSEINFOW& info, Reporter report);

    // BFFM_INITIALIZED, then the start folder: the one the callback asked
    // for, else the working directory when the tree holds it, else the top.
    void Open();

    const std::wstring& Selection() const { return selection_; }
    // The tree's top: the caller's root folder, or "\".
    const std::wstring& Top() const { return top_; }
    bool Contains(const std::wstring& folder) const;

    const std::wstring& Title() const { return window_.Title(); }
    // The callback put the window in the topmost band.
    bool Topmost() const { return window_.Topmost(); }
    std::wstring Instruction() const;
    bool ShowsStatus() const;
    const std::wstring& Status() const { return window_.Status(); }

    // A typed path, in normal form: absolute in either form, from "~" (home),
    // or relative to the selection.
    std::wstring Resolve(const std::wstring& typed) const;
    Refusal GoTo(const std::wstring& typed);
    Refusal GoUp();
    // Selects `folder` (in normal form, within the tree) and tells the
    // callback, which may move the selection on.
    void Select(const std::wstring& folder);

    // Why the selection cannot be chosen now; nothing when it can.
    Refusal ChoiceRefusal() const;
    // The selection as a new item list, with its links resolved; fills the
    // caller's display name and icon.
    PIDLIST_ABSOLUTE Choose();

private:
    std::optional<std::wstring> Showable(const std::wstring& requested);
    void AnnounceSelection();
    void Notify(UINT message, LPARAM lParam);
    std::wstring ChosenPath() const;

    BROWSEINFOW& info_;
    Reporter report_;
    BrowserWindow window_;
    std::optional<std::wstring> root_;
    std::wstring top_;
    std::wstring selection_;
};

}  // namespace posix
