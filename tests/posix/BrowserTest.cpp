// The terminal folder browser (SHBrowseForFolderW on the stand-in): the line
// protocol that scripts use, driven through its streams, and the full-screen
// browser's behaviour, driven key by key.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

#include "platform/posix/browser/BrowserScreen.h"
#include "platform/posix/browser/DrawingTerminal.h"
#include "platform/posix/Console.h"
#include "platform/posix/Folders.h"
#include "platform/posix/Names.h"
#include "platform/posix/ShellTesting.h"
#include "tests/posix/PseudoTerminal.h"
#include "tests/posix/ShellTestKit.h"
#include "tests/support/TempTree.h"

namespace {

using namespace posix::testing;

// The callback's side: every message heard ("init", "sel <path>"), and what
// it does in answer.
struct Listener {
    std::vector<std::wstring> heard;
    std::function<void(HWND)> onOpen;
    std::function<void(HWND, const std::wstring& selection)> onSelection;

    static int CALLBACK Callback(HWND hwnd, UINT message, LPARAM lParam, LPARAM data) {
        Listener& self = *reinterpret_cast<Listener*>(data);
        if (message == BFFM_INITIALIZED) {
            self.heard.push_back(L"init");
            if (self.onOpen) self.onOpen(hwnd);
        } else if (message == BFFM_SELCHANGED) {
            self.heard.push_back(L"sel " + PathOf(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam)));
            if (self.onSelection) self.onSelection(hwnd, self.heard.back().substr(4));
        }
        return 0;
    }
};

void SendText(HWND hwnd, UINT message, WPARAM wParam, const wchar_t* text) {
    SendMessageW(hwnd, message, wParam, reinterpret_cast<LPARAM>(text));
}

std::string Contents(FILE* file) {
    std::string text(1 << 16, '\0');
    text.resize(static_cast<std::size_t>(::pread(::fileno(file), &text[0], text.size(), 0)));
    std::fclose(file);
    return text;
}

struct Outcome {
    std::wstring chosen;  // "<cancelled>" when nothing came back
    std::wstring displayName;
    int image;
    std::string output, errors;
};

class TerminalBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* folder : {L"media\\VOD\\Lesson01", L"media\\Zelvora", L"media\\alpha", L"media\\Beta",
                                      L"media\\.cache"}) {
            tree.MakeDir(folder);
        }
        tree.WriteFile(L"media\\notes.txt", "n");
        before_ = GetShellCounts();
    }
    void TearDown() override { EXPECT_EQ(before_.itemLists, GetShellCounts().itemLists) << "item lists kept"; }

    std::wstring Path(const std::wstring& relative) const { return std::wstring(tree.Path(relative)); }
    std::string Unix(const std::wstring& relative) const { return *posix::NativePath(Path(relative).c_str()); }

    // "{x}" in `script` becomes the Unix path of x below the tree.
    Outcome Browse(std::string script, bool interactive = false, UINT flags = 9, PCIDLIST_ABSOLUTE root = nullptr) {
        for (std::size_t at = script.find('{'); at != std::string::npos; at = script.find('{', at)) {
            const std::size_t end = script.find('}', at);
            script.replace(at, end - at + 1, Unix(posix::WidenName(&script[at + 1], end - at - 1)));
        }
        int input[2];
        EXPECT_EQ(0, ::pipe(input));
        EXPECT_EQ(static_cast<ssize_t>(script.size()), ::write(input[1], script.data(), script.size()));
        ::close(input[1]);
        FILE* output = std::tmpfile();
        FILE* errors = std::tmpfile();
        Overrides overrides;
        overrides.input = input[0];
        overrides.output = ::fileno(output);
        overrides.error = ::fileno(errors);
        overrides.interactive = interactive;
        const ScopedOverrides scope(overrides);
        wchar_t displayName[MAX_PATH] = L"unset";
        BROWSEINFOW info = {nullptr, root, displayName, L"Open", flags, &Listener::Callback,
                            reinterpret_cast<LPARAM>(&listener), 0};
        const OwnedItem chosen(SHBrowseForFolderW(&info));
        ::close(input[0]);
        return {chosen.get() != nullptr ? PathOf(chosen.get()) : L"<cancelled>", displayName, info.iImage,
                Contents(output), Contents(errors)};
    }

    TempTree tree;
    Listener listener;

private:
    ShellCounts before_{};
};

TEST_F(TerminalBrowserTest, LineProtocolSelectsConfirmsAndCancels) {
    const struct {
        std::string typed;
        const wchar_t* chosen;  // below the tree, or "<cancelled>"
        const char* error;      // part of what standard error says, or ""
    } cases[] = {
        {"{media\\VOD}\n\n", L"media\\VOD", ""},
        {"{media}\nVOD/Lesson01\n\n", L"media\\VOD\\Lesson01", ""},
        {"{media}\nVOD\\Lesson01\n..\n\n", L"media\\VOD", ""},
        {"{media\\VOD}/./Lesson01/../../Zelvora/\n\n", L"media\\Zelvora", ""},
        {"{media\\VOD}\r\n\r\n", L"media\\VOD", ""},
        {"~/VOD\n\n", L"media\\VOD", ""},
        {"~\n\n", L"media", ""},
        {"{media}\nq\n", L"<cancelled>", ""},
        {"{media}\n", L"<cancelled>", ""},
        {"", L"<cancelled>", ""},
        // Whatever the browser refuses ends the picker: the empty line after
        // it must not choose the folder selected before.
        {"{media}\nnotes.txt\n\n", L"<cancelled>", "No folder at"},
        {"{media}\nmissing\n\n", L"<cancelled>", "No folder at"},
        // Lines are taken exactly: blanks are part of the name.
        {" {media\\VOD}\n\n", L"<cancelled>", "No folder at"},
        {"{media}\nVOD \n\n", L"<cancelled>", "No folder at"},
        {"{media}\n \n", L"<cancelled>", "No folder at"},
        {"/\n..\n\n", L"<cancelled>", "Already at the top"},
        {std::string("{media}\nVOD\0zzz\n\n", 18), L"<cancelled>", "NUL byte"},
        {std::string("\0{media}\n\n", 10), L"<cancelled>", "NUL byte"},
        {"{media}\n" + std::string(32769, 'a') + "\n\n", L"<cancelled>", "more than 32768 bytes"},
        {"{media}\n" + std::string(40000, '/') + "VOD\n\n", L"<cancelled>", "more than 32768 bytes"},
    };
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "/";
    ::setenv("HOME", Unix(L"media").c_str(), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.substr(0, 80));
        const Outcome outcome = Browse(c.typed);
        EXPECT_EQ(c.chosen[0] == L'<' ? c.chosen : Path(c.chosen), outcome.chosen);
        EXPECT_NE(std::string::npos, outcome.errors.find(c.error)) << outcome.errors;
        EXPECT_EQ(c.error[0] == '\0', outcome.errors.empty()) << outcome.errors;
        EXPECT_EQ(c.error[0] != '\0', outcome.errors.find("The picker is cancelled.") != std::string::npos);
        EXPECT_EQ(std::string::npos, outcome.output.find("Status:"));
        EXPECT_LT(outcome.output.size(), 4096u);  // a refused line is neither kept nor echoed
    }
    ::setenv("HOME", home.c_str(), 1);
    std::string windowsForm = Unix(L"media\\Zelvora");
    std::replace(windowsForm.begin(), windowsForm.end(), '/', '\\');
    EXPECT_EQ(Path(L"media\\Zelvora"), Browse(windowsForm + "\n\n").chosen);
}

TEST_F(TerminalBrowserTest, LineProtocolNamesAFolderWhoseNameEndsInABlank) {
    tree.MakeDir(L"media\\Lab ");
    EXPECT_EQ(Path(L"media\\Lab "), Browse("{media\\Lab }\n\n").chosen);
    EXPECT_EQ(Path(L"media\\Lab "), Browse("{media}\nLab \r\n\r\n").chosen);
}

// Nothing typed reaches the terminal raw: an echoed command could set the
// window title or clear the screen, a bidirectional override reverse a name.
TEST_F(TerminalBrowserTest, LineProtocolEchoesAndReportsCleanedText) {
    const Outcome outcome = Browse("x\x1b]0;pwned\x07y\xe2\x80\xae" "z\n");
    EXPECT_NE(std::string::npos, outcome.output.find("\n> x?]0;pwned?y<U+202E>z\n")) << outcome.output;
    EXPECT_NE(std::string::npos, outcome.errors.find("/x?]0;pwned?y<U+202E>z")) << outcome.errors;
    for (const std::string& text : {outcome.output, outcome.errors}) {
        EXPECT_EQ(std::string::npos, text.find('\x1b'));
        EXPECT_EQ(std::string::npos, text.find("\xe2\x80\xae"));
    }
}

// What is handed back is the folder itself, so that nothing written below
// it later can be sent elsewhere by a link on the way.
// The chosen folder comes back under the name it was chosen by, the folders
// above it resolved: a link named VOD stays VOD. A typed ".." steps up from
// where the names before it lead, as the kernel reads it.
TEST_F(TerminalBrowserTest, ChosenFolderComesBackUnderItsOwnNameWithTheFoldersAboveResolved) {
    ASSERT_EQ(0, ::symlink(Unix(L"media\\VOD").c_str(), Unix(L"link").c_str()));
    ASSERT_EQ(0, ::symlink(Unix(L"link").c_str(), Unix(L"media\\Zelvora\\hop").c_str()));
    const Outcome direct = Browse("{link}\n\n");
    EXPECT_EQ(Path(L"link"), direct.chosen);
    EXPECT_EQ(L"link", direct.displayName);
    EXPECT_EQ(Path(L"media\\VOD\\Lesson01"), Browse("{media\\Zelvora\\hop}\nLesson01\n\n").chosen);
    // As text, "link/../alpha" would be the tree's own alpha.
    tree.MakeDir(L"alpha");
    EXPECT_EQ(Path(L"media\\alpha"), Browse("{link}/../alpha\n\n").chosen);
    // Going up the tree leaves the link the way it came.
    EXPECT_EQ(Path(L"media\\Zelvora"), Browse("{media\\Zelvora\\hop}\n..\n\n").chosen);
}

// A backslash inside a folder's name is carried as U+DC5C, so the folder is
// listed and reached like any other, never read as two names.
TEST_F(TerminalBrowserTest, FoldersWithABackslashInTheirNameAreListed) {
    ASSERT_EQ(0, ::mkdir((Unix(L"media") + "/back\\slash").c_str(), 0777));
    const std::wstring name = L"back\xDC5C" L"slash";
    const posix::Subfolders listed = posix::ListSubfolders(Path(L"media"));
    EXPECT_NE(std::find(listed.names.begin(), listed.names.end(), name), listed.names.end());
    EXPECT_TRUE(posix::IsFolder(Path(L"media\\") + name));
}

TEST_F(TerminalBrowserTest, CallbackHearsOpeningOnceThenEachChangeAndMayPreselect) {
    const std::wstring media = Path(L"media");
    listener.onOpen = [&media](HWND hwnd) { SendText(hwnd, BFFM_SETSELECTIONW, TRUE, media.c_str()); };
    listener.onSelection = [](HWND hwnd, const std::wstring&) {
        SendText(hwnd, BFFM_SETSTATUSTEXTW, 0, L"Flat layout");
    };
    const Outcome outcome = Browse("VOD\n{media\\VOD}\n..\n\n", false, 13);
    EXPECT_EQ(media, outcome.chosen);
    EXPECT_EQ((std::vector<std::wstring>{L"init", L"sel " + media, L"sel " + media + L"\\VOD", L"sel " + media}),
              listener.heard);
    EXPECT_NE(std::string::npos, outcome.output.find("Selected: " + Unix(L"media\\VOD") + "\nStatus: Flat layout\n> "));
}

// A start folder that cannot be shown is the caller's doing, not the
// script's: the browser says so and opens where it would have.
TEST_F(TerminalBrowserTest, StartFolderThatCannotBeShownIsReportedAndIgnored) {
    char* saved = ::getcwd(nullptr, 0);
    ASSERT_EQ(0, ::chdir(Unix(L"media").c_str()));
    listener.onOpen = [](HWND hwnd) { SendText(hwnd, BFFM_SETSELECTIONW, TRUE, L"\\no\\such\\folder"); };
    const Outcome outcome = Browse("\n");
    EXPECT_EQ(0, ::chdir(saved));
    std::free(saved);
    EXPECT_EQ(Path(L"media"), outcome.chosen);
    EXPECT_NE(std::string::npos, outcome.errors.find("The start folder /no/such/folder cannot be shown.")) << outcome.errors;
}

TEST_F(TerminalBrowserTest, OpensAtTheWorkingDirectory) {
    char* saved = ::getcwd(nullptr, 0);
    ASSERT_EQ(0, ::chdir(Unix(L"media\\Zelvora").c_str()));
    const Outcome outcome = Browse("\n");
    EXPECT_EQ(0, ::chdir(saved));
    std::free(saved);
    EXPECT_EQ(Path(L"media\\Zelvora"), outcome.chosen);
    EXPECT_EQ(L"Zelvora", outcome.displayName);
    EXPECT_EQ(3, outcome.image);  // the folder icon
    EXPECT_EQ((std::vector<std::wstring>{L"init", L"sel " + outcome.chosen}), listener.heard);
}

TEST_F(TerminalBrowserTest, ConfirmingWhileOkIsDisabledCancels) {
    listener.onSelection = [](HWND hwnd, const std::wstring& path) {
        const bool nested = path.size() >= 8 && path.substr(path.size() - 8) == L"\\Zelvora";
        SendText(hwnd, BFFM_SETSTATUSTEXTW, 0, nested ? L"Nested layout not wanted" : L"");
        SendMessageW(hwnd, BFFM_ENABLEOK, 0, nested ? 0 : 1);
    };
    const Outcome refused = Browse("{media\\Zelvora}\n\n{media\\VOD}\n\n");
    EXPECT_EQ(L"<cancelled>", refused.chosen);
    EXPECT_NE(std::string::npos, refused.errors.find("cannot be chosen: Nested layout not wanted")) << refused.errors;
    EXPECT_EQ(Path(L"media\\VOD"), Browse("{media\\Zelvora}\n{media\\VOD}\n\n").chosen);
}

TEST_F(TerminalBrowserTest, APathTooLongToHandBackCannotBeChosen) {
    std::wstring deep = L"media";
    while (Path(deep).size() < MAX_PATH) deep += L"\\" + std::wstring(40, L'd');
    tree.MakeDir(deep);
    const Outcome outcome = Browse("{" + std::string(deep.begin(), deep.end()) + "}\n\n");
    EXPECT_EQ(L"<cancelled>", outcome.chosen);
    EXPECT_NE(std::string::npos, outcome.errors.find("too long to be chosen")) << outcome.errors;
}

TEST_F(TerminalBrowserTest, NeverLeavesTheRoot) {
    IShellFolder* desktop = nullptr;
    ASSERT_EQ(S_OK, SHGetDesktopFolder(&desktop));
    std::wstring vod = Path(L"media\\VOD");
    PIDLIST_RELATIVE parsed = nullptr;
    ASSERT_EQ(S_OK, desktop->ParseDisplayName(nullptr, nullptr, &vod[0], nullptr, &parsed, nullptr));
    desktop->Release();
    const OwnedItem root(parsed);
    EXPECT_EQ(vod, Browse("Lesson01\n..\n\n", false, 9, root.get()).chosen);
    EXPECT_EQ((std::vector<std::wstring>{L"init", L"sel " + vod, L"sel " + vod + L"\\Lesson01", L"sel " + vod}),
              listener.heard);
    const Outcome above = Browse("..\n\n", false, 9, root.get());
    EXPECT_EQ(L"<cancelled>", above.chosen);
    EXPECT_NE(std::string::npos, above.errors.find("Already at the top")) << above.errors;
    const Outcome outside = Browse("{media}\n\n", false, 9, root.get());
    EXPECT_EQ(L"<cancelled>", outside.chosen);
    EXPECT_NE(std::string::npos, outside.errors.find("is outside")) << outside.errors;
}

}  // namespace

namespace {

using posix::BrowserScreen;
using posix::Key;
using posix::KeyPress;

// The full-screen browser's behaviour, key by key, on the same tree and
// callback as the line protocol above; the terminal itself is tested end to
// end (browser_terminal_test.py).
class BrowserScreenTest : public TerminalBrowserTest {
protected:
    // Opened with media\VOD selected by the callback.
    BrowserScreen& Open(UINT flags = 9) {
        const std::wstring vod = Path(L"media\\VOD");
        listener.onOpen = [vod](HWND hwnd) { SendText(hwnd, BFFM_SETSELECTIONW, TRUE, vod.c_str()); };
        info_ = {nullptr, nullptr, displayName_, L"Open", flags, &Listener::Callback,
                 reinterpret_cast<LPARAM>(&listener), 0};
        screen_.emplace(info_, &posix::ListSubfolders);
        screen_->Open();
        screen_->Tree().SetRows(10);  // as the view does
        return *screen_;
    }
    BrowserScreen::Outcome Press(Key key, wchar_t text = 0) {
        clock_ += std::chrono::seconds(2);  // no two keys in one type-ahead
        return screen_->Press(KeyPress{key, text}, clock_);
    }
    void Type(const std::wstring& text) {
        for (const wchar_t unit : text) Press(Key::Text, unit);
    }
    std::wstring Chosen() {
        const OwnedItem chosen(screen_->Choose());
        return PathOf(chosen.get());
    }
    std::wstring Selected() const { return screen_->Session().Selection(); }
    std::wstring Sel(const wchar_t* relative) const { return L"sel " + Path(relative); }

private:
    wchar_t displayName_[MAX_PATH] = L"";
    BROWSEINFOW info_{};
    std::optional<BrowserScreen> screen_;
    posix::FolderTree::Clock::time_point clock_;
};

TEST_F(BrowserScreenTest, EveryMoveOfTheHighlightIsASelectionChange) {
    BrowserScreen& screen = Open();
    // The start folder among its siblings, after the level's own row;
    // letter case ignored in the order, hidden folders and files left out.
    EXPECT_EQ((std::vector<std::wstring>{L".", L"alpha", L"Beta", L"VOD", L"Zelvora"}), screen.Tree().Names());
    EXPECT_EQ(Path(L"media\\VOD"), screen.Tree().Selected());
    const struct {
        Key key;
        wchar_t text;
        const wchar_t* selected;
        const char* message;
    } steps[] = {
        {Key::Down, 0, L"media\\Zelvora", ""},  {Key::Down, 0, L"media\\Zelvora", ""},
        {Key::Home, 0, L"media", ""},           {Key::Down, 0, L"media\\alpha", ""},
        {Key::Right, 0, L"media\\alpha", "has no subfolders"},
        {Key::End, 0, L"media\\Zelvora", ""},   {Key::Up, 0, L"media\\VOD", ""},
        {Key::Right, 0, L"media\\VOD", ""},     {Key::Down, 0, L"media\\VOD\\Lesson01", ""},
        {Key::Left, 0, L"media\\VOD", ""},
        {Key::Text, L'b', L"media\\Beta", ""},  {Key::Text, L'x', L"media\\Beta", "No folder here starts with \"x\""},
        {Key::PageDown, 0, L"media\\Zelvora", ""}, {Key::PageUp, 0, L"media", ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.selected);
        EXPECT_EQ(BrowserScreen::Outcome::Browsing, Press(step.key, step.text));
        EXPECT_EQ(Path(step.selected), screen.Tree().Selected());
        EXPECT_EQ(Path(step.selected), Selected());
        EXPECT_NE(std::string::npos, screen.Message().find(step.message)) << screen.Message();
    }
    // Right keeps the selection: nothing to tell the callback.
    EXPECT_EQ((std::vector<std::wstring>{L"init", Sel(L"media\\VOD"), Sel(L"media\\Zelvora"), Sel(L"media"),
                                         Sel(L"media\\alpha"), Sel(L"media\\Zelvora"), Sel(L"media\\VOD"),
                                         Sel(L"media\\VOD\\Lesson01"), Sel(L"media\\VOD"), Sel(L"media\\Beta"),
                                         Sel(L"media\\Zelvora"), Sel(L"media")}),
              listener.heard);
    EXPECT_EQ(BrowserScreen::Outcome::Chosen, Press(Key::Enter));
    EXPECT_EQ(Path(L"media"), Chosen());
}

// Into a folder, then choose it: the habit of every file dialog.
TEST_F(BrowserScreenTest, EnterRightAfterRightChoosesTheFolderOpened) {
    BrowserScreen& screen = Open();
    Press(Key::Right);
    EXPECT_EQ(Path(L"media\\VOD"), screen.Tree().Level());
    EXPECT_EQ((std::vector<std::wstring>{L".", L"Lesson01"}), screen.Tree().Names());
    EXPECT_EQ(0u, screen.Tree().Highlight());
    EXPECT_EQ(BrowserScreen::Outcome::Chosen, Press(Key::Enter));
    EXPECT_EQ(Path(L"media\\VOD"), Chosen());
}

TEST_F(BrowserScreenTest, TheCallbackMayMoveTheHighlight) {
    listener.onSelection = [this](HWND hwnd, const std::wstring& path) {
        if (path == Path(L"media\\alpha")) SendText(hwnd, BFFM_SETSELECTIONW, TRUE, Path(L"media\\VOD\\Lab").c_str());
    };
    tree.MakeDir(L"media\\VOD\\Lab");
    BrowserScreen& screen = Open();
    Press(Key::Text, L'a');
    EXPECT_EQ(Path(L"media\\VOD\\Lab"), screen.Tree().Selected());
    EXPECT_EQ(Path(L"media\\VOD"), screen.Tree().Level());
}

// ? and F1 show the key table; any key closes it and does nothing else.
TEST_F(BrowserScreenTest, TheKeyTableIsOneKeyAway) {
    BrowserScreen& screen = Open();
    for (const KeyPress show : {KeyPress{Key::Text, L'?'}, KeyPress{Key::Help}}) {
        Press(show.key, show.text);
        EXPECT_TRUE(screen.ShowsHelp());
        for (const Key key : {Key::Escape, Key::Enter, Key::Down}) {
            EXPECT_EQ(BrowserScreen::Outcome::Browsing, Press(key));
            EXPECT_FALSE(screen.ShowsHelp());
            EXPECT_EQ(Path(L"media\\VOD"), Selected());
            Press(show.key, show.text);
        }
        Press(Key::Text, L'v');
        EXPECT_EQ(L"", screen.Tree().Typed());  // no type-ahead for the key that closed it
        EXPECT_FALSE(screen.ShowsHelp());
    }
    Press(Key::Text, L'/');
    Press(Key::Text, L'?');  // text, in a path
    EXPECT_EQ(L"/?", screen.Prompt()->Text());
    EXPECT_FALSE(screen.ShowsHelp());
}

// On a screen too short for it, the key table pages; the keys that page it
// do nothing else, and any other key closes it.
TEST_F(BrowserScreenTest, TheKeyTablePagesOnAShortScreen) {
    BrowserScreen& screen = Open();
    Press(Key::Help);
    screen.Help()->Fit(19, 8);  // as the view does at 40 x 12
    for (const Key key : {Key::PageDown, Key::Down, Key::End, Key::Up}) {
        EXPECT_EQ(BrowserScreen::Outcome::Browsing, Press(key));
        EXPECT_TRUE(screen.ShowsHelp());
    }
    EXPECT_EQ(10u, screen.Help()->First());
    EXPECT_EQ((std::vector<std::wstring>{L"init", Sel(L"media\\VOD")}), listener.heard);  // no move heard
    Press(Key::Text, L'q');
    EXPECT_FALSE(screen.ShowsHelp());
    EXPECT_EQ(L"", screen.Tree().Typed());
    Press(Key::Text, L'?');
    EXPECT_EQ(0u, screen.Help()->First());  // shown afresh, from its top
}

TEST_F(BrowserScreenTest, EnterDoesNothingWhileTheSelectionIsRefused) {
    listener.onSelection = [](HWND hwnd, const std::wstring& path) {
        const bool nested = path.size() >= 8 && path.substr(path.size() - 8) == L"\\Zelvora";
        SendText(hwnd, BFFM_SETSTATUSTEXTW, 0, nested ? L"Nested layout not wanted" : L"Flat layout");
        SendMessageW(hwnd, BFFM_ENABLEOK, 0, nested ? 0 : 1);
    };
    BrowserScreen& screen = Open(13);
    Press(Key::Down);
    EXPECT_EQ(L"Nested layout not wanted", screen.Session().Status());
    ASSERT_TRUE(screen.Session().ChoiceRefusal());
    EXPECT_EQ(BrowserScreen::Outcome::Browsing, Press(Key::Enter));
    EXPECT_EQ("This folder cannot be chosen: Nested layout not wanted", screen.Message());
    Press(Key::Up);
    EXPECT_FALSE(screen.Session().ChoiceRefusal());
    EXPECT_EQ(BrowserScreen::Outcome::Chosen, Press(Key::Enter));
    EXPECT_EQ(Path(L"media\\VOD"), Chosen());
}

TEST_F(BrowserScreenTest, ThePathPromptJumpsAndKeepsMistakesInPlace) {
    BrowserScreen& screen = Open();
    Press(Key::Text, L'/');
    ASSERT_TRUE(screen.Prompt());
    Type(posix::WidenText(Unix(L"media\\ZZ")).substr(1));  // after the "/" that opened the prompt
    Press(Key::Enter);  // no such folder: the reason, the prompt still open
    ASSERT_TRUE(screen.Prompt());
    EXPECT_NE(std::string::npos, screen.Message().find("No folder at")) << screen.Message();
    Press(Key::Backspace);
    Press(Key::Backspace);
    Type(L"ze");
    Press(Key::Tab);
    EXPECT_EQ(posix::WidenText(Unix(L"media\\Zelvora")) + L"/", screen.Prompt()->Text());
    Press(Key::Enter);
    EXPECT_FALSE(screen.Prompt());
    EXPECT_EQ(Path(L"media\\Zelvora"), screen.Tree().Selected());
    EXPECT_EQ(Path(L"media"), screen.Tree().Level());
    // Esc and an empty line's Ctrl-D close the prompt, not the browser.
    Press(Key::Text, L'~');
    EXPECT_EQ(BrowserScreen::Outcome::Browsing, Press(Key::Escape));
    EXPECT_FALSE(screen.Prompt());
    Press(Key::Text, L'/');
    Press(Key::Backspace);
    EXPECT_EQ(BrowserScreen::Outcome::Browsing, Press(Key::EndOfInput));
    EXPECT_FALSE(screen.Prompt());
    Press(Key::Text, L'/');
    EXPECT_EQ(BrowserScreen::Outcome::Cancelled, Press(Key::Interrupt));
}

TEST_F(BrowserScreenTest, EscCtrlCAndCtrlDCancel) {
    for (const Key key : {Key::Escape, Key::Interrupt, Key::EndOfInput}) {
        Open();
        EXPECT_EQ(BrowserScreen::Outcome::Cancelled, Press(key));
    }
}

TEST_F(BrowserScreenTest, AFolderThatCannotBeListedCanStillBeChosen) {
    tree.MakeDir(L"media\\gone");
    BrowserScreen& screen = Open();
    Press(Key::Text, L'g');
    tree.Remove(L"media\\gone");
    Press(Key::Right);
    EXPECT_NE(std::string::npos, screen.Message().find("gone cannot be listed: No such file or directory"))
        << screen.Message();
    EXPECT_EQ(BrowserScreen::Outcome::Chosen, Press(Key::Enter));
    EXPECT_EQ(Path(L"media\\gone"), Chosen());
}

}  // namespace

namespace {

// The full-screen browser draws on the terminal its keys come from, even
// when standard output goes elsewhere (`cuecarry | tee log`), and nowhere
// when the keys come from no terminal.
TEST(DrawingTerminalTest, TheTerminalOfTheInputWhateverTheOutput) {
    PseudoTerminal keys(80, 24);
    PseudoTerminal other(80, 24);
    int pipeFds[2];
    ASSERT_EQ(0, ::pipe(pipeFds));
    const int readOnly = keys.Open(O_RDONLY);
    const int otherReadOnly = other.Open(O_RDONLY);
    const struct {
        const char* what;
        int input, output;
        PseudoTerminal* drawnOn;  // nullptr: none
    } cases[] = {
        {"both the terminal", keys.Terminal(), keys.Terminal(), &keys},
        {"output a pipe", keys.Terminal(), pipeFds[1], &keys},
        {"input open for reading only, output a pipe", readOnly, pipeFds[1], &keys},  // opened by its name
        {"input open for reading only, output the terminal", readOnly, keys.Terminal(), &keys},
        {"output another terminal", readOnly, other.Terminal(), &keys},
        {"output a terminal open for reading only", readOnly, otherReadOnly, &keys},
        {"input a pipe", pipeFds[0], keys.Terminal(), nullptr},
        {"input a pipe, output a pipe", pipeFds[0], pipeFds[1], nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const posix::FileDescriptor drawing = posix::OpenDrawingTerminal(c.input, c.output);
        EXPECT_EQ(c.drawnOn != nullptr, static_cast<bool>(drawing));
        if (!drawing) continue;
        EXPECT_NE(c.input, drawing.get());
        EXPECT_NE(c.output, drawing.get());  // its own, which the browser may close
        EXPECT_EQ(4, ::write(drawing.get(), "draw", 4));
        EXPECT_EQ("draw", c.drawnOn->Written());
        EXPECT_EQ("", (c.drawnOn == &keys ? other : keys).Written());
    }
    for (const int fd : {pipeFds[0], pipeFds[1], readOnly, otherReadOnly}) ::close(fd);
}

}  // namespace
