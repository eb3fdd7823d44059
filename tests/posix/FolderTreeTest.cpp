// The full-screen browser's own logic, without a terminal: the levels of the
// folder tree, the highlight, type-ahead, the rows in view, the path prompt
// and its completion, the cutting of text to the screen's width, the keys
// read from what the terminal sends, the key line, and the folders' order.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "platform/posix/browser/FolderOrder.h"
#include "platform/posix/browser/FolderTree.h"
#include "platform/posix/browser/KeyDecoder.h"
#include "platform/posix/browser/KeyHelp.h"
#include "platform/posix/browser/PathPrompt.h"
#include "platform/posix/browser/ScreenText.h"

namespace {

using posix::FolderTree;

// A folder tree in memory: each folder's subfolders, already in listing
// order, or an errno for one that cannot be listed.
struct FakeFolders {
    std::map<std::wstring, posix::Subfolders> folders;
    FolderTree::Lister Lister() const {
        return [this](const std::wstring& folder) {
            const auto found = folders.find(folder);
            return found != folders.end() ? found->second : posix::Subfolders{{}, ENOENT};
        };
    }
};

const FakeFolders kMedia{{
    {L"\\m", {{L"alpha", L"Beta", L"VOD", L"Zelvora"}, 0}},
    {L"\\m\\VOD", {{L"Lab", L"Lesson01"}, 0}},
    {L"\\m\\alpha", {{}, 0}},
    {L"\\m\\Beta", {{}, EACCES}},
}};

FolderTree::Clock::time_point At(int milliseconds) {
    return FolderTree::Clock::time_point(std::chrono::milliseconds(milliseconds));
}

TEST(FolderTreeTest, RightAndLeftWalkTheLevelsLikeTheShellsTree) {
    FolderTree tree(L"\\m", kMedia.Lister());
    tree.Reveal(L"\\m\\VOD\\Lab");
    EXPECT_EQ(L"\\m\\VOD", tree.Level());
    EXPECT_EQ((std::vector<std::wstring>{L".", L"Lab", L"Lesson01"}), tree.Names());
    EXPECT_EQ(L"\\m\\VOD\\Lab", tree.Selected());
    tree.MoveTo(0);  // the level's own row is the level's folder
    EXPECT_EQ(L"\\m\\VOD", tree.Selected());
    tree.MoveTo(1);

    ASSERT_TRUE(tree.Up());  // the folder we came from is highlighted
    EXPECT_EQ(L"\\m\\VOD", tree.Selected());
    ASSERT_TRUE(tree.Up());  // the top level holds the top alone
    EXPECT_EQ(L"", tree.Level());
    EXPECT_EQ(std::vector<std::wstring>{L"\\m"}, tree.Names());
    EXPECT_EQ(L"\\m", tree.Selected());
    EXPECT_FALSE(tree.Up());

    int error = 0;
    EXPECT_EQ(FolderTree::Opening::Opened, tree.Open(error));
    EXPECT_EQ(L"\\m", tree.Level());
    EXPECT_EQ(0u, tree.Highlight());
    EXPECT_EQ(L"\\m", tree.Selected());  // the folder opened stays the selection
    EXPECT_EQ(FolderTree::Opening::Opened, tree.Open(error));
    EXPECT_EQ(L"\\m\\alpha", tree.Selected());  // then into it, on its first subfolder
    EXPECT_EQ(FolderTree::Opening::NoSubfolders, tree.Open(error));
    tree.MoveBy(1);
    EXPECT_EQ(FolderTree::Opening::Unreadable, tree.Open(error));
    EXPECT_EQ(EACCES, error);
    EXPECT_EQ(L"\\m\\Beta", tree.Selected());  // both stay where they were
    tree.MoveTo(0);
    ASSERT_TRUE(tree.Up());  // from the level's own row as from any other
    EXPECT_EQ(L"\\m", tree.Selected());
    EXPECT_EQ(L"", tree.Level());
}

TEST(FolderTreeTest, ARevealedFolderAlwaysAppearsInItsLevel) {
    FolderTree tree(L"\\m", kMedia.Lister());
    tree.Reveal(L"\\m\\.cache");  // hidden folders are not listed, but typed
    EXPECT_EQ((std::vector<std::wstring>{L".", L".cache", L"alpha", L"Beta", L"VOD", L"Zelvora"}), tree.Names());
    EXPECT_EQ(L"\\m\\.cache", tree.Selected());
    tree.Reveal(L"\\m\\Beta\\inner");  // below a folder that cannot be listed
    EXPECT_EQ((std::vector<std::wstring>{L".", L"inner"}), tree.Names());
    EXPECT_EQ(EACCES, tree.ListingError());
    tree.Reveal(L"\\m");
    EXPECT_EQ(L"", tree.Level());
}

TEST(FolderTreeTest, TypeAheadFindsTheNextNameStartingWithWhatWasTypedInTheLastSecond) {
    const FakeFolders folders{{{L"\\m", {{L"3", L"alpha", L"Beta", L"bingo", L"bravo", L"q", L"Quiz"}, 0}}}};
    FolderTree tree(L"\\m", folders.Lister());
    tree.Reveal(L"\\m\\3");
    const struct {
        wchar_t key;
        int at;  // ms
        const wchar_t* highlighted;
        bool found;
    } steps[] = {
        {L'b', 0, L"Beta", true},     {L'r', 300, L"bravo", true},  // one name: "br"
        {L'b', 2000, L"Beta", true},  // a second later: a new search, past the highlight, round the end
        {L'b', 2200, L"bingo", true}, {L'B', 2400, L"bravo", true},  // one key again and again steps on
        {L'q', 4000, L"q", true},     {L'U', 4500, L"Quiz", true},   // letter case ignored
        {L'3', 6000, L"3", true},     {L'z', 8000, L"3", false},     // nothing fits: the highlight stays
        {L'a', 10000, L"alpha", true}, {L'l', 11001, L"alpha", false},  // "l" alone, not "al"
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.key << " at " << step.at);
        EXPECT_EQ(step.found, tree.Type(step.key, At(step.at)));
        EXPECT_EQ(std::wstring(L"\\m\\") + step.highlighted, tree.Selected());
    }
}

TEST(FolderTreeTest, TheRowsInViewFollowTheHighlight) {
    const struct {
        std::size_t first, highlight, count, rows, expected;
    } cases[] = {
        {0, 5, 20, 10, 0},   {0, 10, 20, 10, 1},  {7, 3, 20, 10, 3}, {15, 19, 20, 10, 10},
        {12, 15, 20, 10, 10},  // a shorter window leaves no empty rows a longer list could fill
        {4, 2, 5, 10, 0},    {3, 3, 20, 0, 3},    // no room: one row all the same
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, posix::FirstRowInView(c.first, c.highlight, c.count, c.rows))
            << c.first << " " << c.highlight << " " << c.count << " " << c.rows;
    }

    FakeFolders many;
    for (int i = 0; i < 300; ++i) many.folders[L"\\m"].names.push_back(L"f" + std::to_wstring(1000 + i));
    FolderTree tree(L"\\m", many.Lister());
    tree.Reveal(L"\\m\\f1000");
    tree.SetRows(10);
    const struct {
        void (FolderTree::*key)();
        std::size_t highlight, first;
    } pages[] = {
        {&FolderTree::PageDown, 9, 0},  // to the last row in view first (f1000 is row 1)
        {&FolderTree::PageDown, 18, 9}, {&FolderTree::PageUp, 9, 9},  // to the first row in view first
        {&FolderTree::PageUp, 0, 0},    {&FolderTree::PageUp, 0, 0},
    };
    for (const auto& page : pages) {
        (tree.*page.key)();
        EXPECT_EQ(page.highlight, tree.Highlight());
        EXPECT_EQ(page.first, tree.FirstInView());
    }
    tree.MoveTo(300);  // the last of 301 rows: the level's own and 300 folders
    EXPECT_EQ(291u, tree.FirstInView());
    tree.PageDown();
    EXPECT_EQ(300u, tree.Highlight());
    tree.SetRows(50);  // a taller terminal
    EXPECT_EQ(251u, tree.FirstInView());
}

// A terminal shrunk and grown back shows what a level just opened at that
// size shows: the top of the list where the highlight allows it.
TEST(FolderTreeTest, AResizeShowsTheHighlightAndTheTopWhereItFits) {
    FakeFolders many;
    for (int i = 0; i < 40; ++i) many.folders[L"\\m"].names.push_back(L"f" + std::to_wstring(100 + i));
    FolderTree tree(L"\\m", many.Lister());
    tree.Reveal(L"\\m\\f107");  // row 8 of 41
    const struct {
        std::size_t highlight, rows, first;
    } sizes[] = {
        {8, 24, 0}, {8, 1, 8}, {8, 24, 0},   // shrunk to one row and back: ./ in view again
        {8, 3, 6},  {8, 3, 6}, {8, 50, 0},   // the same size again changes nothing; all rows fit
        {30, 24, 7}, {30, 5, 26}, {30, 24, 7},  // deep in the list: the highlight on the last row
        {40, 24, 17},
    };
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.highlight << " in " << size.rows << " rows");
        if (tree.Highlight() != size.highlight) tree.MoveTo(size.highlight);
        tree.SetRows(size.rows);
        EXPECT_EQ(size.first, tree.FirstInView());
        EXPECT_LE(tree.FirstInView(), tree.Highlight());
        EXPECT_LT(tree.Highlight(), tree.FirstInView() + tree.Rows());
    }
    tree.MoveTo(0);
    tree.PageDown();
    tree.PageDown();  // scrolled by the keys, not by a resize: the rows stay
    const std::size_t scrolled = tree.FirstInView();
    tree.SetRows(24);
    EXPECT_EQ(scrolled, tree.FirstInView());
}

TEST(PathPromptTest, EditsLikeAShellLine) {
    posix::PathPrompt prompt(L"/ab");
    const auto expect = [&prompt](const wchar_t* text, std::size_t cursor) {
        EXPECT_EQ(text, prompt.Text());
        EXPECT_EQ(cursor, prompt.Cursor());
    };
    prompt.Left();
    prompt.Left();
    prompt.Insert(L'x');
    expect(L"/xab", 2);
    prompt.Backspace();
    prompt.Delete();
    expect(L"/b", 1);
    prompt.End();
    prompt.Insert(0xD83D);  // a character beyond the BMP, as its pair
    prompt.Insert(0xDE00);
    prompt.Left();
    expect(L"/b\xD83D\xDE00", 2);
    prompt.Delete();
    expect(L"/b", 2);
    prompt.Home();
    prompt.Left();
    prompt.Backspace();
    expect(L"/b", 0);
    posix::PathPrompt path(L"/srv/media/VOD/");
    path.DeleteNameBack();
    EXPECT_EQ(L"/srv/media/", path.Text());
    path.Left();
    path.DeleteToEnd();
    EXPECT_EQ(L"/srv/media", path.Text());
    path.Left();
    path.DeleteToStart();
    EXPECT_EQ(L"a", path.Text());
    EXPECT_EQ(0u, path.Cursor());
}

TEST(PathPromptTest, TabCompletesFolderNames) {
    const FakeFolders folders{{
        {L"\\m", {{L"Beta", L"bingo", L"bravo", L"VOD"}, 0}},
        {L"\\m\\VOD", {{L"Lab", L"Lesson01"}, 0}},
        {L"\\home", {{L"me"}, 0}},
    }};
    const posix::PathPrompt::Resolver resolve = [](const std::wstring& typed) {
        if (typed.rfind(L"~", 0) == 0) return posix::NormalFolderPath(L"\\home" + typed.substr(1));
        return posix::NormalFolderPath(posix::IsAbsoluteFolderPath(typed) ? typed : L"\\m\\" + typed);
    };
    const struct {
        const wchar_t* typed;
        const wchar_t* completed;
        std::size_t fitting;
    } cases[] = {
        {L"/m/V", L"/m/VOD/", 1},         {L"/m/VOD/Le", L"/m/VOD/Lesson01/", 1},
        {L"/m/br", L"/m/bravo/", 1},      {L"/m/b", L"/m/b", 2},  // bingo, bravo: nothing to add
        {L"/m/B", L"/m/Beta/", 1},        {L"/m/be", L"/m/Beta/", 1},  // case ignored when nothing else fits
        {L"/m/x", L"/m/x", 0},            {L"/m/VOD/L", L"/m/VOD/L", 2},
        {L"\\m\\V", L"\\m\\VOD\\", 1},    // the separators the text already uses
        {L"VOD/La", L"VOD/Lab/", 1},      // relative to the selection
        {L"~", L"~/", 0},                 {L"~/", L"~/me/", 1},
        {L"/m/missing/x", L"/m/missing/x", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        posix::PathPrompt prompt(c.typed);
        EXPECT_EQ(c.fitting, prompt.Complete(resolve, folders.Lister()).size());
        EXPECT_EQ(c.completed, prompt.Text());
        EXPECT_EQ(prompt.Text().size(), prompt.Cursor());
    }
    // At the cursor: what follows it stays.
    posix::PathPrompt middle(L"/m/V/x");
    middle.Left();
    middle.Left();
    middle.Complete(resolve, folders.Lister());
    EXPECT_EQ(L"/m/VOD//x", middle.Text());
    EXPECT_EQ(7u, middle.Cursor());
}

int TestWidth(wchar_t codePoint) {
    if (codePoint >= 0x4E00 && codePoint <= 0x9FFF) return 2;
    return codePoint == 0x7 ? -1 : 1;
}

TEST(ScreenTextTest, TextIsCutToTheRowWithAnEllipsisAndNeverWraps) {
    const struct {
        std::wstring text;
        std::size_t columns;
        bool keepEnd;
        std::wstring shown;
    } cases[] = {
        {L"folder", 10, false, L"folder"},   {L"folder", 6, false, L"folder"},
        {L"folders", 6, false, L"folde*"},   {L"/srv/media/VOD", 8, true, L"*dia/VOD"},
        {L"\u65e5\u672c\u8a9e", 5, false, L"\u65e5\u672c*"},  // two columns each
        {L"\u65e5\u672c\u8a9e", 4, false, L"\u65e5*"},
        {L"a\x7" L"b", 5, false, L"a?b"},    // what the terminal cannot show
        {L"abc", 0, false, L""},             {L"abc", 1, true, L"*"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shown, posix::FitColumns(c.text, c.columns, c.keepEnd, &TestWidth, L'*')) << c.columns;
    }
    EXPECT_EQ((std::wstring{L'a', static_cast<wchar_t>(0x1F600), L'\u00e9'}),
              posix::CodePoints("a\xf0\x9f\x98\x80\xc3\xa9", true));
    EXPECT_EQ(L"a??", posix::CodePoints("a\xf0\x9f\x98\x80\xc3\xa9", false));
    EXPECT_EQ(L"a\\b", posix::CodePoints("a\\b", true));  // a name's backslash, as shown
}

}  // namespace

namespace posix {
// For the failure messages: the key's number, or the text's code unit.
void PrintTo(const KeyPress& key, std::ostream* out) {
    *out << (key.key == Key::Text ? "U+" : "key ") << std::hex << (key.key == Key::Text ? key.text : int(key.key));
}
}  // namespace posix

namespace {

using posix::Key;
using posix::KeyDecoder;
using posix::KeyPress;

// Each case is read in parts, the next one after a pause longer than Esc
// waits; the end of input is such a pause too.
TEST(KeyDecoderTest, KeysInEveryFormTheTerminalsSend) {
    const KeyPress esc{Key::Escape};
    const auto text = [](wchar_t unit) { return KeyPress{Key::Text, unit}; };
    const struct {
        std::vector<std::u32string> parts;
        std::vector<KeyPress> keys;
    } cases[] = {
        {{U"\x1b[A\x1b[B\x1b[C\x1b[D"}, {{Key::Up}, {Key::Down}, {Key::Right}, {Key::Left}}},
        {{U"\x1bOA\x1bOB\x1bOC\x1bOD"}, {{Key::Up}, {Key::Down}, {Key::Right}, {Key::Left}}},
        {{U"\x1b[H\x1bOH\x1b[1~\x1b[7~"}, {{Key::Home}, {Key::Home}, {Key::Home}, {Key::Home}}},
        {{U"\x1b[F\x1bOF\x1b[4~\x1b[8~"}, {{Key::End}, {Key::End}, {Key::End}, {Key::End}}},
        {{U"\x1b[5~\x1b[6~\x1b[3~\x1bOM"}, {{Key::PageUp}, {Key::PageDown}, {Key::Delete}, {Key::Enter}}},
        {{U"\x1bOP\x1b[11~\x1b[[A"}, {{Key::Help}, {Key::Help}, {Key::Help}}},  // F1: xterm, rxvt, Linux
        {{U"\x1b[C\x1b[C\r"}, {{Key::Right}, {Key::Right}, {Key::Enter}}},  // typed ahead, all in order
        {{U"\x1b"}, {esc}},
        {{U"\x1b\x1b"}, {esc}},                                   // Esc twice, quickly
        {{U"\x1b", U"[C"}, {esc, text(L'['), text(L'C')}},       // a pause: Esc, then text
        {{U"\x1b\x03"}, {esc, {Key::Interrupt}}},               // a control character is a key of its own
        {{U"\x1b[1\x03"}, {{Key::Interrupt}}},                   // ... and cuts a sequence short
        {{U"\x1b[1", U"~"}, {text(L'~')}},                       // so does a pause
        // Sequences of keys the browser has no use for are dropped whole:
        // a function key, Ctrl-Right, a mouse report, Alt-x, Alt-Up.
        {{U"\x1b[15~a\x1b[1;5Cb\x1b[<0;3;4Mc\x1bxd\x1b\x1b[Ae"},
         {text(L'a'), text(L'b'), text(L'c'), text(L'd'), text(L'e')}},
        {{U"\x1b[" + std::u32string(100, U'1') + U"Cz"}, {text(L'z')}},
        {{U"\r\x7f\x08\t\x15\x17\x0b\x04\x1a\x01\x05"},
         {{Key::Enter}, {Key::Backspace}, {Key::Backspace}, {Key::Tab}, {Key::DeleteToStart}, {Key::DeleteNameBack},
          {Key::DeleteToEnd}, {Key::EndOfInput}, {Key::Suspend}, {Key::Home}, {Key::End}}},
        {{U"a\u00e9\U0001F600\x9b\x7f"}, {text(L'a'), text(0xE9), text(0xD83D), text(0xDE00), {Key::Backspace}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        KeyDecoder decoder;
        KeyDecoder::Clock::time_point now;
        for (const std::u32string& part : c.parts) {
            for (const char32_t character : part) decoder.Feed(character, now += std::chrono::milliseconds(1));
            now += KeyDecoder::kEscapeWait + std::chrono::milliseconds(1);
        }
        if (decoder.Deadline()) {
            EXPECT_LE(*decoder.Deadline(), now);
            decoder.Timeout();
        }
        std::vector<KeyPress> keys;
        while (const std::optional<KeyPress> key = decoder.Take()) keys.push_back(*key);
        EXPECT_EQ(c.keys, keys);
        EXPECT_FALSE(decoder.Deadline());
    }
}

// Enter and Esc end a picker, so they are on the key line at any width.
TEST(KeyHelpTest, TheKeyLineShowsEnterAndEscFirstThenWhatFits) {
    EXPECT_EQ("Enter: choose  Esc: cancel", posix::KeyLine(20));  // the view cuts it
    EXPECT_EQ("Enter: choose  Esc: cancel  ?: help", posix::KeyLine(40));
    EXPECT_EQ("Enter: choose  Esc: cancel  ?: help  Right: open  Left: up  /: path", posix::KeyLine(80));
    EXPECT_EQ("Enter: choose  Esc: cancel  ?: help  Right: open  Left: up  /: path  letters: find  "
              "Up/Down PgUp/PgDn Home/End: move",
              posix::KeyLine(120));
    // The key table: one row a key where there is room, else wrapped by
    // words beside the keys.
    EXPECT_EQ(10u, posix::KeyTable(78).size());
    const std::vector<std::string> narrow = posix::KeyTable(38);
    EXPECT_EQ("Right      open the highlighted", narrow.at(5));
    EXPECT_EQ("           folder, where ./ is the", narrow.at(6));
    EXPECT_EQ("           folder itself", narrow.at(7));
    for (const std::string& row : narrow) EXPECT_LE(row.size(), 38u) << row;
    EXPECT_EQ(10u, posix::KeyTable(20).size());  // no room to wrap into
}

// A key table taller than the screen pages with the keys of a list; one
// that fits closes with any key.
TEST(KeyHelpTest, TheKeyTablePagesWhereItDoesNotFit) {
    using posix::Key;
    using posix::KeyPress;
    posix::KeyTablePager pager;
    pager.Fit(19, 8);
    EXPECT_EQ("Lines 1-8 of 19", pager.Place());
    EXPECT_EQ("Space: more  Esc: close", pager.Footer(40));
    EXPECT_EQ("Space: more  Esc: close  Up/Down PgUp/PgDn: scroll  other keys close", pager.Footer(80));
    const struct {
        KeyPress key;
        bool scrolls;
        std::size_t first;
    } steps[] = {
        {{Key::Up}, true, 0},        {{Key::Down}, true, 1},        {{Key::Text, L' '}, true, 8},  // a page keeps a row
        {{Key::PageDown}, true, 11}, {{Key::Text, L' '}, true, 11}, {{Key::PageUp}, true, 4},      // stops at the ends
        {{Key::End}, true, 11},      {{Key::Home}, true, 0},        {{Key::End}, true, 11},
        {{Key::Text, L'q'}, false, 11}, {{Key::Escape}, false, 11}, {{Key::Help}, false, 11},    // these close it
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(step.key.key) << " " << step.first);
        EXPECT_EQ(step.scrolls, pager.Scroll(step.key));
        EXPECT_EQ(step.first, pager.First());
    }
    EXPECT_EQ("Lines 12-19 of 19", pager.Place());
    EXPECT_EQ("PgUp: back  Esc: close", pager.Footer(40));
    pager.Fit(15, 8);  // a wider screen wraps less: the end moves up
    EXPECT_EQ("Lines 8-15 of 15", pager.Place());
    pager.Fit(15, 15);  // everything fits: from the top, and any key closes
    EXPECT_EQ(15u, pager.Shown());
    EXPECT_EQ("", pager.Place());
    EXPECT_EQ("Any key closes this table.", pager.Footer(80));
    EXPECT_FALSE(pager.Scroll(KeyPress{Key::Down}));
    EXPECT_FALSE(pager.Scroll(KeyPress{Key::Text, L' '}));
}

TEST(FolderOrderTest, FoldersAreShownInExplorersOrder) {
    const std::vector<std::wstring> shown = {
        L"(old)", L"_drafts",                               // signs first
        L"1 Intro", L"02 Setup", L"2 Setup", L"10 Wrap-up",  // numbers by value, before letters
        L"\u00c6ther",                                      // Æ as AE
        L"Algebra", L"algebra", L"Algebra Advanced",        // case only breaks a tie
        L"Angle", L"\u00c5ngstr\u00f6m Optics",             // Å with A, ö with o
        L"economie 101", L"\u00c9conomie 101", L"Economy",   // É with E
        L"Lesson 2", L"Lesson 2b", L"Lesson 10", L"Lesson10",
        L"\u0141\u00f3d\u017a", L"Lz",                       // Ł with L, ź with z
        L"Part 99999999999999999999", L"Part 100000000000000000000",  // longer than any integer
        L"Strasbourg", L"Strasse", L"Stra\u00dfe",          // ß as ss
        L"Zoology", L"\u00de", L"\u03a9mega", L"\u03c9mega", // other letters after Z, by their upper case
    };
    for (std::size_t i = 0; i < shown.size(); ++i) {
        for (std::size_t j = 0; j < shown.size(); ++j) {
            EXPECT_EQ(i < j, posix::ShownBefore(shown[i], shown[j]))
                << testing::PrintToString(shown[i]) << " " << testing::PrintToString(shown[j]);
        }
    }
}

}  // namespace
