// The full-screen browser on curses: a thin view over BrowserScreen, which
// holds everything it does. This file only reads the terminal, which
// KeyDecoder turns into keys, and draws the screen:
//
//   Select copy to folder:                  the title that the callback set
//   Open                                    the caller's instruction text
//   /home/me/media/                  2 of 4 the level, where the highlight is
//     ./  (this folder)                     the level's folder itself
//     alpha/
//   > VOD/                                  the highlight: the selection
//     Zelvora/
//   Status: Flat layout                     when the caller asked for one
//   Browse to the starting folder: /home/me/media/VOD   what the browse before chose
//   Selected: /home/me/media/VOD
//   why the last key did nothing, or why Enter cannot choose
//   the path prompt, or the keys
//
// `?` and F1 show the key table in place of the level and what is below it.
#include <signal.h>
#include <wchar.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#define NCURSES_WIDECHAR 1
// Functions, not macros: curses would otherwise take names such as erase.
#define NCURSES_NOMACROS 1
#include <curses.h>

#include "platform/posix/browser/BrowserFaces.h"
#include "platform/posix/browser/BrowserScreen.h"
#include "platform/posix/browser/CursesTerminal.h"
#include "platform/posix/browser/KeyDecoder.h"
#include "platform/posix/browser/KeyHelp.h"
#include "platform/posix/browser/ScreenText.h"
#include "platform/posix/Console.h"

namespace posix {
namespace {

constexpr int kRowsAbove = 3;  // title, instruction, level
constexpr int kRowsBelow = 3;  // selection, message, prompt or keys
constexpr char kPromptLabel[] = "Go to: ";
constexpr char kItselfRow[] = "./  (this folder)";

// What an earlier browse of this run chose, shown by the next one: a user
// who pressed Enter twice in one folder sees it before copying into it.
struct EarlierChoice {
    std::wstring title;
    std::wstring folder;
};

int Columns(wchar_t codePoint) { return ::wcwidth(codePoint); }

std::size_t WidthOf(const std::wstring& codePoints) {
    std::size_t width = 0;
    for (const wchar_t codePoint : codePoints) width += static_cast<std::size_t>(std::max(Columns(codePoint), 1));
    return width;
}

class View {
public:
    View(BrowserScreen& screen, bool unicode, std::optional<EarlierChoice> earlier)
        : screen_(screen), unicode_(unicode), earlier_(std::move(earlier)) {}

    void Draw() {
        getmaxyx(stdscr, height_, width_);
        const BrowserSession& session = screen_.Session();
        const int below = kRowsBelow + (session.ShowsStatus() ? 1 : 0) + (earlier_ ? 1 : 0);
        FolderTree& tree = screen_.Tree();
        tree.SetRows(static_cast<std::size_t>(std::max(height_ - kRowsAbove - below, 1)));
        ::erase();
        Row(0, DisplayText(session.Title()), A_BOLD);
        Row(1, DisplayText(session.Instruction()));
        if (std::optional<KeyTablePager>& help = screen_.Help()) {
            DrawHelp(*help);
            ::refresh();
            return;
        }
        DrawLevelHeading(tree);
        DrawNames(tree);
        int row = height_ - below;
        if (session.ShowsStatus()) Row(row++, "Status: " + DisplayText(session.Status()));
        if (earlier_) LabelledPath(row++, DisplayText(earlier_->title) + " ", earlier_->folder);
        LabelledPath(row++, "Selected: ", tree.Selected());
        // What the last key did, else why Enter cannot choose, if it cannot.
        const BrowserSession::Refusal refusal = session.ChoiceRefusal();
        const std::string why = refusal ? *refusal + " Enter does nothing here." : std::string();
        Row(row++, screen_.Message().empty() ? why : screen_.Message(), A_BOLD);
        if (screen_.Prompt()) {
            DrawPrompt(row, *screen_.Prompt());
        } else {
            ::curs_set(0);
            Row(row, KeyLine(static_cast<std::size_t>(width_)), A_DIM);
        }
        ::refresh();
    }

private:
    // One row, cut to the screen's width.
    void Row(int row, const std::string& text, attr_t attributes = A_NORMAL) {
        if (row < 0 || row >= height_) return;
        const std::wstring shown = Fit(CodePoints(text, unicode_), static_cast<std::size_t>(width_), false);
        ::attrset(attributes);
        ::mvaddnwstr(row, 0, shown.c_str(), static_cast<int>(shown.size()));
        ::attrset(A_NORMAL);
    }

    // The label stays whole where it can; the path loses its start, which
    // tells least.
    void LabelledPath(int row, const std::string& label, const std::wstring& path) {
        const std::wstring shownLabel = Fit(CodePoints(label, unicode_), static_cast<std::size_t>(width_), false);
        const std::size_t room = static_cast<std::size_t>(std::max(width_ - static_cast<int>(WidthOf(shownLabel)), 0));
        const std::wstring line = shownLabel + Fit(CodePoints(DisplayPath(path), unicode_), room, true);
        ::mvaddnwstr(row, 0, line.c_str(), static_cast<int>(line.size()));
    }

    std::wstring Fit(const std::wstring& codePoints, std::size_t columns, bool keepEnd) const {
        return FitColumns(codePoints, columns, keepEnd, &Columns, unicode_ ? L'\u2026' : L'~');
    }

    void DrawLevelHeading(const FolderTree& tree) {
        const std::size_t count = tree.Names().size();
        const std::string position = std::to_string(tree.Highlight() + 1) + " of " + std::to_string(count);
        std::string level = tree.Level().empty() ? "Top of the tree" : DisplayPath(tree.Level());
        if (!tree.Level().empty() && tree.Level() != L"\\") level += "/";
        if (tree.ListingError() != 0) level += " (cannot be listed: " + std::string(std::strerror(tree.ListingError())) + ")";
        const std::size_t room = static_cast<std::size_t>(std::max(width_ - static_cast<int>(position.size()) - 2, 0));
        const std::wstring left = Fit(CodePoints(level, unicode_), room, true);
        ::attrset(A_UNDERLINE);
        ::mvaddnwstr(2, 0, left.c_str(), static_cast<int>(left.size()));
        ::attrset(A_NORMAL);
        ::mvaddstr(2, std::max(width_ - static_cast<int>(position.size()), 0), position.c_str());
    }

    void DrawNames(const FolderTree& tree) {
        const std::vector<std::wstring>& names = tree.Names();
        const std::size_t last = std::min(names.size(), tree.FirstInView() + tree.Rows());
        for (std::size_t at = tree.FirstInView(); at < last; ++at) {
            const bool highlighted = at == tree.Highlight();
            const int row = kRowsAbove + static_cast<int>(at - tree.FirstInView());
            Row(row, (highlighted ? "> " : "  ") + Shown(tree, at), highlighted ? A_REVERSE : A_NORMAL);
        }
    }

    static std::string Shown(const FolderTree& tree, std::size_t at) {
        if (tree.Level().empty()) return DisplayPath(tree.Names()[at]);
        return at == 0 ? kItselfRow : DisplayText(tree.Names()[at]) + "/";
    }

    // Over the level and what is below it, as much as fits; the last row
    // says how to leave and, where the table does not fit, how to see more.
    void DrawHelp(KeyTablePager& pager) {
        const std::vector<std::string> table = KeyTable(static_cast<std::size_t>(std::max(width_ - 2, 0)));
        pager.Fit(table.size(), static_cast<std::size_t>(std::max(height_ - kRowsAbove - 1, 1)));
        Row(2, "Keys", A_UNDERLINE);
        // Beside the heading where there is room; curses would wrap it.
        const std::string place = pager.Place();
        const int placeAt = width_ - static_cast<int>(place.size());
        if (placeAt > 4) ::mvaddstr(2, placeAt, place.c_str());
        for (std::size_t at = 0; at < pager.Shown() && kRowsAbove + static_cast<int>(at) < height_ - 1; ++at) {
            Row(kRowsAbove + static_cast<int>(at), "  " + table[pager.First() + at]);
        }
        Row(height_ - 1, pager.Footer(static_cast<std::size_t>(width_)), A_DIM);
        ::curs_set(0);
    }

    // The text around the cursor stays in view however long it gets.
    void DrawPrompt(int row, const PathPrompt& prompt) {
        const std::wstring label = CodePoints(kPromptLabel, unicode_);
        const std::size_t room = static_cast<std::size_t>(std::max(width_ - static_cast<int>(label.size()) - 1, 1));
        const std::wstring& text = prompt.Text();
        const std::wstring before =
            Fit(CodePoints(DisplayText(text.substr(0, prompt.Cursor())), unicode_), room, true);
        const std::wstring after =
            Fit(CodePoints(DisplayText(text.substr(prompt.Cursor())), unicode_), room - WidthOf(before), false);
        const std::wstring line = label + before + after;
        ::mvaddnwstr(row, 0, line.c_str(), static_cast<int>(line.size()));
        ::curs_set(1);
        ::move(row, static_cast<int>(label.size() + WidthOf(before)));
    }

    BrowserScreen& screen_;
    bool unicode_;
    std::optional<EarlierChoice> earlier_;
    int height_ = 0;
    int width_ = 0;
};

class Keyboard {
public:
    explicit Keyboard(View& view) : view_(view) {}

    // The next key; nothing when the terminal is gone. A change of the
    // terminal's size is drawn at once and is no key.
    std::optional<KeyPress> Next() {
        for (;;) {
            if (const std::optional<KeyPress> key = decoder_.Take()) {
                if (key->key != Key::Suspend) return key;
                // Raw mode reads Ctrl-Z as a key; it still suspends, and
                // curses puts the screen back when the shell resumes us.
                ::raise(SIGTSTP);
                continue;
            }
            // Waits for ever, or until an unfinished sequence is given up.
            const std::optional<KeyDecoder::Clock::time_point> deadline = decoder_.Deadline();
            ::timeout(deadline ? MillisecondsUntil(*deadline) : -1);
            wint_t code = 0;
            errno = 0;
            const int kind = ::get_wch(&code);
            if (kind == ERR) {
                if (errno == EINTR) continue;
                if (!deadline) return std::nullopt;
                decoder_.Timeout();
            } else if (kind == KEY_CODE_YES) {
                if (code == KEY_RESIZE) view_.Draw();
            } else {
                decoder_.Feed(static_cast<char32_t>(code), KeyDecoder::Clock::now());
            }
        }
    }

private:
    static int MillisecondsUntil(KeyDecoder::Clock::time_point deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - KeyDecoder::Clock::now());
        return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }

    View& view_;
    KeyDecoder decoder_;
};

// Kept for the next browse of this run.
std::optional<EarlierChoice> earlierChoice;

}  // namespace

PIDLIST_ABSOLUTE RunFullScreenBrowser(BROWSEINFOW& info, const Console& console) {
    std::optional<CursesTerminal> terminal;
    try {
        terminal.emplace(console.input, console.output);
    } catch (const std::runtime_error& failure) {
        WriteText(console.error, std::string("The full-screen browser cannot run here (") + failure.what() +
                                     "); reading commands line by line.\n");
        return RunLineProtocol(info, console);
    }
    BrowserScreen screen(info, &ListSubfolders);
    screen.Open();
    View view(screen, terminal->Unicode(), earlierChoice);
    Keyboard keyboard(view);
    for (;;) {
        view.Draw();
        const std::optional<KeyPress> key = keyboard.Next();
        if (!key) return nullptr;
        switch (screen.Press(*key, std::chrono::steady_clock::now())) {
        case BrowserScreen::Outcome::Chosen:
            earlierChoice = EarlierChoice{screen.Session().Title(), screen.Session().Selection()};
            return screen.Choose();
        case BrowserScreen::Outcome::Cancelled: return nullptr;
        case BrowserScreen::Outcome::Browsing: break;
        }
    }
}

}  // namespace posix
