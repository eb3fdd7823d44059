// The full-screen browser's behaviour, apart from the terminal: each key
// moves the folder tree or edits the path prompt, every change of the
// highlight is a change of selection that the callback hears, and Enter
// chooses only what the session lets it. The curses view draws what this
// holds and feeds it keys; a test feeds it keys directly.
#pragma once

#include <optional>
#include <string>

#include "platform/posix/browser/BrowserSession.h"
#include "platform/posix/browser/FolderTree.h"
#include "platform/posix/browser/KeyHelp.h"
#include "platform/posix/browser/Keys.h"
#include "platform/posix/browser/PathPrompt.h"

namespace posix {

class BrowserScreen {
public:
    enum class Outcome { Browsing, Chosen, Cancelled };

    // `list` in any order: the screen shows folders in Explorer's.
    BrowserScreen(BROWSEINFOW& info, FolderTree::Lister list);

    // Tells the callback the browser is there and shows the start folder.
    void Open();
    Outcome Press(KeyPress key, FolderTree::Clock::time_point now);
    // After Outcome::Chosen: the chosen folder's item list.
    PIDLIST_ABSOLUTE Choose() { return session_.Choose(); }

    const BrowserSession& Session() const { return session_; }
    const FolderTree& Tree() const { return tree_; }
    FolderTree& Tree() { return tree_; }
    // The path prompt, while it is open.
    const std::optional<PathPrompt>& Prompt() const { return prompt_; }
    // What the last key could not do, or what it found; display text.
    const std::string& Message() const { return message_; }
    // The key table is shown over the browser (? or F1), and where it
    // stands; any key but those that page it closes it. The view tells it
    // the table's size and its own.
    bool ShowsHelp() const { return help_.has_value(); }
    std::optional<KeyTablePager>& Help() { return help_; }

private:
    Outcome Browse(KeyPress key, FolderTree::Clock::time_point now);
    Outcome Edit(KeyPress key);
    void OpenHighlighted();
    void Complete();
    void GoToTyped();
    void FollowTree();

    FolderTree::Lister list_;
    BrowserSession session_;
    FolderTree tree_;
    std::optional<PathPrompt> prompt_;
    std::string message_;
    std::optional<KeyTablePager> help_;
};

}  // namespace posix
