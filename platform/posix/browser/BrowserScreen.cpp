#include "platform/posix/browser/BrowserScreen.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/posix/browser/FolderOrder.h"
#include "platform/posix/Console.h"

namespace posix {
namespace {

std::string Quoted(const std::wstring& text) { return "\"" + DisplayText(text) + "\""; }

// As many names as one line holds; the view cuts what does not fit.
std::string NameList(const std::vector<std::wstring>& names) {
    std::string list = std::to_string(names.size()) + " folders fit:";
    for (const std::wstring& name : names) list += "  " + DisplayText(name);
    return list;
}

// Every listing in the order shown: the tree's, and completion's.
FolderTree::Lister InShownOrder(FolderTree::Lister list) {
    return [list = std::move(list)](const std::wstring& folder) {
        Subfolders listing = list(folder);
        std::sort(listing.names.begin(), listing.names.end(), ShownBefore);
        return listing;
    };
}

}  // namespace

BrowserScreen::BrowserScreen(BROWSEINFOW& info, FolderTree::Lister list)
    : list_(InShownOrder(std::move(list))),
      session_(info, [this](const std::string& reason) { message_ = reason; }),
      tree_(session_.Top(), list_) {}

void BrowserScreen::Open() {
    session_.Open();
    tree_.Reveal(session_.Selection());
}

BrowserScreen::Outcome BrowserScreen::Press(KeyPress key, FolderTree::Clock::time_point now) {
    message_.clear();
    if (key.key == Key::Interrupt) return Outcome::Cancelled;
    if (help_) {
        if (!help_->Scroll(key)) help_.reset();
        return Outcome::Browsing;
    }
    if (key.key == Key::Help) {
        help_.emplace();
        return Outcome::Browsing;
    }
    return prompt_ ? Edit(key) : Browse(key, now);
}

BrowserScreen::Outcome BrowserScreen::Browse(KeyPress key, FolderTree::Clock::time_point now) {
    switch (key.key) {
    case Key::Up: tree_.MoveBy(-1); break;
    case Key::Down: tree_.MoveBy(1); break;
    case Key::PageUp: tree_.PageUp(); break;
    case Key::PageDown: tree_.PageDown(); break;
    case Key::Home: tree_.MoveTo(0); break;
    case Key::End: tree_.MoveTo(tree_.Names().size() - 1); break;
    case Key::Right: OpenHighlighted(); break;
    case Key::Left:
        if (!tree_.Up()) message_ = "Already at the top.";
        break;
    case Key::Enter:
        if (const BrowserSession::Refusal refusal = session_.ChoiceRefusal()) {
            message_ = *refusal;
            return Outcome::Browsing;
        }
        return Outcome::Chosen;
    case Key::Escape:
    case Key::EndOfInput:
        return Outcome::Cancelled;
    case Key::Text:
        if (key.text == L'/' || key.text == L'~') {
            prompt_.emplace(std::wstring(1, key.text));
        } else if (key.text == L'?') {
            help_.emplace();
        } else if (!tree_.Type(key.text, now)) {
            message_ = "No folder here starts with " + Quoted(tree_.Typed()) + ".";
        }
        break;
    default:
        break;
    }
    FollowTree();
    return Outcome::Browsing;
}

BrowserScreen::Outcome BrowserScreen::Edit(KeyPress key) {
    PathPrompt& prompt = *prompt_;
    switch (key.key) {
    case Key::Text: prompt.Insert(key.text); break;
    case Key::Backspace: prompt.Backspace(); break;
    case Key::Delete: prompt.Delete(); break;
    case Key::Left: prompt.Left(); break;
    case Key::Right: prompt.Right(); break;
    case Key::Home: prompt.Home(); break;
    case Key::End: prompt.End(); break;
    case Key::DeleteToStart: prompt.DeleteToStart(); break;
    case Key::DeleteToEnd: prompt.DeleteToEnd(); break;
    case Key::DeleteNameBack: prompt.DeleteNameBack(); break;
    case Key::Tab: Complete(); break;
    case Key::Enter: GoToTyped(); break;
    case Key::Escape: prompt_.reset(); break;
    // Ctrl-D deletes forward, as in a shell; on an empty line it closes.
    case Key::EndOfInput:
        if (prompt.Text().empty()) {
            prompt_.reset();
        } else {
            prompt.Delete();
        }
        break;
    default:
        break;
    }
    return Outcome::Browsing;
}

void BrowserScreen::OpenHighlighted() {
    const std::wstring folder = tree_.Selected();
    int error = 0;
    switch (tree_.Open(error)) {
    case FolderTree::Opening::Opened:
        break;
    case FolderTree::Opening::NoSubfolders:
        message_ = DisplayPath(folder) + " has no subfolders.";
        break;
    case FolderTree::Opening::Unreadable:
        message_ = DisplayPath(folder) + " cannot be listed: " + std::strerror(error) + ".";
        break;
    }
}

void BrowserScreen::Complete() {
    const std::vector<std::wstring> fitting =
        prompt_->Complete([this](const std::wstring& typed) { return session_.Resolve(typed); }, list_);
    if (fitting.empty()) message_ = "No folder name fits.";
    if (fitting.size() > 1) message_ = NameList(fitting);
}

// A path that names no folder keeps the prompt open with the reason, so
// that it can be corrected.
void BrowserScreen::GoToTyped() {
    if (const BrowserSession::Refusal refusal = session_.GoTo(prompt_->Text())) {
        message_ = *refusal;
        return;
    }
    prompt_.reset();
    tree_.Reveal(session_.Selection());
}

// The highlight is the selection: the callback hears each move, and may
// move the selection on to a folder that the tree then reveals.
void BrowserScreen::FollowTree() {
    session_.Select(tree_.Selected());
    if (session_.Selection() != tree_.Selected()) tree_.Reveal(session_.Selection());
}

}  // namespace posix
