// A browse as a desktop's file chooser meets it: system paths in and out
// (the bytes that the toolkit hands over), whether OK may be pressed, and
// the note below the chooser. Everything is decided by the browse's
// session, so that the chooser follows the same rules as the terminal's
// faces; no toolkit type appears here, so the rules are tested without a
// display.
#pragma once

#include <optional>
#include <string>

#include "platform/posix/browser/BrowserSession.h"

namespace posix {

class ChooserBridge {
public:
    ChooserBridge(BROWSEINFOW& info, BrowserSession::Reporter report);

    // The callback hears BFFM_INITIALIZED and the start folder; the chooser
    // opens at the folder returned (nothing when no system path names it).
    std::optional<std::string> Open();

    const BrowserSession& Session() const { return session_; }

    // The chooser now shows `shown` as its selection. When that is a folder
    // within the tree, the session selects it and the callback hears of it;
    // anything else leaves the selection where it was. The folder that the
    // chooser is to show instead, when the callback moved the selection on.
    std::optional<std::string> Follow(const std::string& shown);

    // OK chooses the selection now: the callback left it enabled and the
    // session would hand it back.
    bool MayChoose() const { return !session_.ChoiceRefusal(); }

    // What the chooser says below its folders, as lines fit to be shown: the
    // callback's status text (when the caller asked for a status line), and
    // why OK cannot choose or did not.
    std::string Note() const;

    // OK was pressed while the chooser showed `chosen` (nothing when it
    // showed no folder). Either the chosen folder's item list, handed back
    // as the session resolves it, or a refusal: the chooser then stays open
    // and the note says why.
    struct Answer {
        PIDLIST_ABSOLUTE item;
        BrowserSession::Refusal refusal;
    };
    Answer Accept(const std::optional<std::string>& chosen);

private:
    BrowserSession session_;
    BrowserSession::Refusal refused_;  // the latest OK's refusal, until the selection moves
};

}  // namespace posix
