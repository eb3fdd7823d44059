// The GTK chooser's rules, without a display: how the paths that the
// chooser shows reach the browse's session and its callback, when OK may
// choose, what the note says, and what OK hands back.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/gtk/chooser_bridge.h"
#include "platform/posix/names.h"
#include "tests/posix/ShellTestKit.h"
#include "tests/support/SystemPath.h"
#include "tests/support/TempTree.h"

namespace {

using posix::ChooserBridge;

// The callback's side: the selections it heard, and what it does in answer.
struct Callback {
    std::vector<std::wstring> heard;
    std::function<void(HWND)> onOpen;
    std::function<void(HWND, const std::wstring& selection)> onSelection;

    static int CALLBACK Call(HWND hwnd, UINT message, LPARAM lParam, LPARAM data) {
        Callback& self = *reinterpret_cast<Callback*>(data);
        if (message == BFFM_INITIALIZED && self.onOpen) self.onOpen(hwnd);
        if (message == BFFM_SELCHANGED) {
            self.heard.push_back(PathOf(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam)));
            if (self.onSelection) self.onSelection(hwnd, self.heard.back());
        }
        return 0;
    }
};

void SendText(HWND hwnd, UINT message, WPARAM wParam, const wchar_t* text) {
    SendMessageW(hwnd, message, wParam, reinterpret_cast<LPARAM>(text));
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class ChooserBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* folder : {L"media\\VOD\\Lesson01", L"media\\Zelvora", L"out"}) tree.MakeDir(folder);
        tree.WriteFile(L"media\\notes.txt", "n");
        // Every browse opens in media, whatever the working folder is.
        callback.onOpen = [this](HWND hwnd) { SendText(hwnd, BFFM_SETSELECTIONW, TRUE, media.c_str()); };
    }

    // A bridge over a browse as CDirDialog starts one: flags 9, or 13 with
    // a status line.
    ChooserBridge& Bridge(UINT flags = 9, PCIDLIST_ABSOLUTE root = nullptr) {
        info = {nullptr, root, displayName, L"Open", flags, &Callback::Call, reinterpret_cast<LPARAM>(&callback), 0};
        bridge.emplace(info, [this](const std::string& reason) { reports.push_back(reason); });
        return *bridge;
    }

    std::wstring Path(const std::wstring& relative) const { return std::wstring(tree.Path(relative)); }
    std::string Unix(const std::wstring& relative) const { return SystemPath(tree.Path(relative)); }

    TempTree tree;
    const std::wstring media = Path(L"media");
    Callback callback;
    wchar_t displayName[MAX_PATH] = L"unset";
    BROWSEINFOW info{};
    std::optional<ChooserBridge> bridge;
    std::vector<std::string> reports;
};

TEST_F(ChooserBridgeTest, TheSessionFollowsTheFoldersTheChooserShowsAndNothingElse) {
    ChooserBridge& chooser = Bridge();
    EXPECT_EQ(chooser.Open(), Unix(L"media"));
    const struct {
        std::string shown;
        const wchar_t* selection;  // below the tree, after the chooser showed it
        bool heard;                // the callback heard of a change
    } steps[] = {
        {Unix(L"media\\VOD"), L"media\\VOD", true},
        {Unix(L"media\\VOD") + "/", L"media\\VOD", false},         // the same folder, spelled otherwise
        {Unix(L"media\\notes.txt"), L"media\\VOD", false},         // no folder
        {Unix(L"media\\Zel"), L"media\\VOD", false},               // a name half typed
        {Unix(L"media\\VOD\\Lesson01\\..\\..\\Zelvora"), L"media\\Zelvora", true},
    };
    std::vector<std::wstring> expected = {media};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.shown);
        EXPECT_EQ(chooser.Follow(step.shown), std::nullopt);
        EXPECT_EQ(chooser.Session().Selection(), Path(step.selection));
        if (step.heard) expected.push_back(Path(step.selection));
        EXPECT_EQ(callback.heard, expected);
    }
}

TEST_F(ChooserBridgeTest, TheChooserShowsWhereTheCallbackMovesTheSelection) {
    const std::wstring vod = Path(L"media\\VOD");
    callback.onSelection = [&vod](HWND hwnd, const std::wstring& selection) {
        if (EndsWith(selection, L"\\Zelvora")) SendText(hwnd, BFFM_SETSELECTIONW, TRUE, vod.c_str());
    };
    ChooserBridge& chooser = Bridge();
    chooser.Open();
    EXPECT_EQ(chooser.Follow(Unix(L"media\\Zelvora")), Unix(L"media\\VOD"));
    EXPECT_EQ(chooser.Session().Selection(), vod);
    // The chooser then shows it, which changes nothing more.
    EXPECT_EQ(chooser.Follow(Unix(L"media\\VOD")), std::nullopt);
    EXPECT_EQ(callback.heard, (std::vector<std::wstring>{media, Path(L"media\\Zelvora"), vod}));
}

TEST_F(ChooserBridgeTest, OkFollowsTheCallbackAndTheNoteSaysWhy) {
    callback.onSelection = [](HWND hwnd, const std::wstring& selection) {
        const bool nested = EndsWith(selection, L"\\Zelvora");
        SendText(hwnd, BFFM_SETSTATUSTEXTW, 0, nested ? L"Nested layout\x1b[2J" : L"Flat layout");
        SendMessageW(hwnd, BFFM_ENABLEOK, 0, nested ? 0 : 1);
    };
    for (const UINT flags : {9u, 13u}) {
        SCOPED_TRACE(flags);
        ChooserBridge& chooser = Bridge(flags);
        chooser.Open();
        chooser.Follow(Unix(L"media\\Zelvora"));
        EXPECT_FALSE(chooser.MayChoose());
        const std::string refusal = "This folder cannot be chosen: Nested layout?[2J";
        EXPECT_EQ(chooser.Note(), flags == 13 ? "Nested layout?[2J\n" + refusal : refusal);
        const ChooserBridge::Answer answer = chooser.Accept(Unix(L"media\\Zelvora"));
        EXPECT_EQ(answer.item, nullptr);
        EXPECT_EQ(answer.refusal, refusal);
        chooser.Follow(Unix(L"media\\VOD"));
        EXPECT_TRUE(chooser.MayChoose());
        EXPECT_EQ(chooser.Note(), flags == 13 ? "Flat layout" : "");
    }
}

TEST_F(ChooserBridgeTest, OkHandsBackTheFolderResolvedOrSaysWhyNot) {
    ASSERT_EQ(::symlink(Unix(L"media\\VOD").c_str(), Unix(L"link").c_str()), 0);
    ASSERT_EQ(::mkdir((Unix(L"media") + "/back\\slash \xff").c_str(), 0777), 0);
    tree.MakeDir(L"gone");
    const struct {
        std::optional<std::string> shown;  // the selection before OK: nothing, or as the chooser showed it
        std::optional<std::string> chosen;
        std::wstring item;  // handed back, or empty when refused
        std::string refusal;
    } cases[] = {
        {std::nullopt, Unix(L"media"), media, ""},
        {Unix(L"media\\VOD"), Unix(L"media\\VOD"), Path(L"media\\VOD"), ""},
        {std::nullopt, Unix(L"link"), Path(L"media\\VOD"), ""},  // typed: its links resolved
        {std::nullopt, Unix(L"media") + "/back\\slash \xff", media + L"\\back\xDC5C" L"slash \xDCFF", ""},
        {std::nullopt, Unix(L"media\\notes.txt"), L"", "No folder at " + Unix(L"media\\notes.txt")},
        {std::nullopt, Unix(L"missing"), L"", "No folder at " + Unix(L"missing")},
        {std::nullopt, std::nullopt, L"", "No folder is selected."},
        // Gone once selected: handed back as it was, for the caller to find
        // missing, as every face does.
        {Unix(L"gone"), Unix(L"gone"), Path(L"gone"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen.value_or("<nothing>"));
        ChooserBridge& chooser = Bridge();
        chooser.Open();
        if (c.shown) chooser.Follow(*c.shown);
        if (c.shown == Unix(L"gone")) tree.Remove(L"gone");
        const ChooserBridge::Answer answer = chooser.Accept(c.chosen);
        const OwnedItem item(answer.item);
        EXPECT_EQ(item.get() != nullptr ? PathOf(item.get()) : L"", c.item);
        EXPECT_EQ(answer.refusal.value_or(""), c.refusal);
        // Refused, the chooser stays open, and its note says why until the
        // selection moves.
        EXPECT_EQ(chooser.Note(), c.refusal);
        chooser.Follow(Unix(L"out"));
        EXPECT_EQ(chooser.Note(), "");
    }
}

TEST_F(ChooserBridgeTest, NothingOutsideTheRootIsChosen) {
    const OwnedItem root(posix::testing::NewFolderItem(media.c_str()));
    ChooserBridge& chooser = Bridge(9, root.get());
    chooser.Open();
    chooser.Follow(Unix(L"out"));
    EXPECT_EQ(chooser.Session().Selection(), media);
    const ChooserBridge::Answer answer = chooser.Accept(Unix(L"out"));
    EXPECT_EQ(answer.item, nullptr);
    EXPECT_EQ(answer.refusal.value_or(""), Unix(L"out") + " is outside " + Unix(L"media"));
}

TEST_F(ChooserBridgeTest, TheWindowIsKeptOnTopWhenTheCallbackAsks) {
    for (const HWND band : {HWND_TOPMOST, static_cast<HWND>(nullptr)}) {
        callback.onOpen = [band](HWND hwnd) { SetWindowPos(hwnd, band, 0, 0, 400, 300, SWP_SHOWWINDOW); };
        ChooserBridge& chooser = Bridge();
        EXPECT_FALSE(chooser.Session().Topmost());
        chooser.Open();
        EXPECT_EQ(chooser.Session().Topmost(), band == HWND_TOPMOST);
    }
}

TEST_F(ChooserBridgeTest, AStartFolderThatCannotBeShownIsReported) {
    callback.onOpen = [](HWND hwnd) { SendText(hwnd, BFFM_SETSELECTIONW, TRUE, L"\\no\\such\\folder"); };
    Bridge().Open();
    EXPECT_EQ(reports, (std::vector<std::string>{"The start folder /no/such/folder cannot be shown."}));
}

}  // namespace
