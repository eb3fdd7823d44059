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

#include "platform/posix/gtk/ChooserBridge.h"
#include "tests/posix/ShellTestKit.h"
#include "tests/support/SystemPath.h"
#include "tests/support/TempTree.h"

namespace {

using posix::ChooserBridge;

void SendText(HWND hwnd, UINT message, WPARAM wParam, const wchar_t* text) {
    SendMessageW(hwnd, message, wParam, reinterpret_cast<LPARAM>(text));
}

class ChooserBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* folder : {L"media\\VOD\\Lesson01", L"media\\Zelvora", L"out"}) tree.MakeDir(folder);
        tree.WriteFile(L"media\\notes.txt", "n");
    }

    // A browse as CDirDialog starts one (flags 9, or 13 with a status line),
    // opened in media whatever the working folder is. The callback keeps
    // the selections it hears and answers each with `onSelection`.
    ChooserBridge& Opened(UINT flags = 9) {
        info = {nullptr, nullptr, displayName, L"Open", flags, &Call, reinterpret_cast<LPARAM>(this), 0};
        bridge.emplace(info, [](const std::string&) {});
        EXPECT_EQ(bridge->Open(), Unix(L"media"));
        return *bridge;
    }
    static int CALLBACK Call(HWND hwnd, UINT message, LPARAM lParam, LPARAM data) {
        ChooserBridgeTest& self = *reinterpret_cast<ChooserBridgeTest*>(data);
        if (message == BFFM_INITIALIZED) SendText(hwnd, BFFM_SETSELECTIONW, TRUE, self.media.c_str());
        if (message == BFFM_INITIALIZED && self.onOpen) self.onOpen(hwnd);
        if (message != BFFM_SELCHANGED) return 0;
        self.heard.push_back(PathOf(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam)));
        if (self.onSelection) self.onSelection(hwnd, self.heard.back());
        return 0;
    }

    std::wstring Path(const std::wstring& relative) const { return std::wstring(tree.Path(relative)); }
    std::string Unix(const std::wstring& relative) const { return SystemPath(tree.Path(relative)); }

    TempTree tree;
    const std::wstring media = Path(L"media");
    std::vector<std::wstring> heard;
    std::function<void(HWND)> onOpen;
    std::function<void(HWND, const std::wstring& selection)> onSelection;
    wchar_t displayName[MAX_PATH] = L"unset";
    BROWSEINFOW info{};
    std::optional<ChooserBridge> bridge;
};

TEST_F(ChooserBridgeTest, TheSessionFollowsTheFoldersTheChooserShowsAndNothingElse) {
    ChooserBridge& chooser = Opened();
    const struct {
        std::string shown;
        const wchar_t* selection;  // below the tree, after the chooser showed it
        bool heard;                // the callback heard of a change
    } steps[] = {
        {Unix(L"media\\VOD"), L"media\\VOD", true},
        {Unix(L"media\\VOD") + "/", L"media\\VOD", false},  // the same folder, spelled otherwise
        {Unix(L"media\\notes.txt"), L"media\\VOD", false},  // no folder
        {Unix(L"media\\Zel"), L"media\\VOD", false},        // a name half typed
        {Unix(L"media\\VOD\\Lesson01\\..\\..\\Zelvora"), L"media\\Zelvora", true},
    };
    std::vector<std::wstring> expected = {media};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.shown);
        EXPECT_EQ(chooser.Follow(step.shown), std::nullopt);
        EXPECT_EQ(chooser.Session().Selection(), Path(step.selection));
        if (step.heard) expected.push_back(Path(step.selection));
        EXPECT_EQ(heard, expected);
    }
}

TEST_F(ChooserBridgeTest, TheChooserShowsWhereTheCallbackMovesTheSelection) {
    const std::wstring vod = Path(L"media\\VOD"), zelvora = Path(L"media\\Zelvora");
    onSelection = [&](HWND hwnd, const std::wstring& selection) {
        if (selection == zelvora) SendText(hwnd, BFFM_SETSELECTIONW, TRUE, vod.c_str());
    };
    ChooserBridge& chooser = Opened();
    EXPECT_EQ(chooser.Follow(Unix(L"media\\Zelvora")), Unix(L"media\\VOD"));
    // The chooser then shows it, which changes nothing more.
    EXPECT_EQ(chooser.Follow(Unix(L"media\\VOD")), std::nullopt);
    EXPECT_EQ(heard, (std::vector<std::wstring>{media, zelvora, vod}));
}

TEST_F(ChooserBridgeTest, OkFollowsTheCallbackAndTheNoteSaysWhy) {
    const std::wstring zelvora = Path(L"media\\Zelvora");
    onSelection = [&](HWND hwnd, const std::wstring& selection) {
        SendText(hwnd, BFFM_SETSTATUSTEXTW, 0, selection == zelvora ? L"Nested\x1b[2J" : L"Flat");
        SendMessageW(hwnd, BFFM_ENABLEOK, 0, selection == zelvora ? 0 : 1);
    };
    for (const UINT flags : {9u, 13u}) {
        SCOPED_TRACE(flags);
        ChooserBridge& chooser = Opened(flags);
        chooser.Follow(Unix(L"media\\Zelvora"));
        EXPECT_FALSE(chooser.MayChoose());
        const std::string refusal = "This folder cannot be chosen: Nested?[2J";
        EXPECT_EQ(chooser.Note(), flags == 13 ? "Nested?[2J\n" + refusal : refusal);
        const ChooserBridge::Answer answer = chooser.Accept(Unix(L"media\\Zelvora"));
        EXPECT_EQ(answer.item, nullptr);
        EXPECT_EQ(answer.refusal, refusal);
        chooser.Follow(Unix(L"media\\VOD"));
        EXPECT_TRUE(chooser.MayChoose());
        EXPECT_EQ(chooser.Note(), flags == 13 ? "Flat" : "");
    }
}

TEST_F(ChooserBridgeTest, OkHandsBackTheFolderResolvedOrSaysWhyNot) {
    ASSERT_EQ(::symlink(Unix(L"media\\VOD").c_str(), Unix(L"link").c_str()), 0);
    ASSERT_EQ(::mkdir((Unix(L"media") + "/back\\slash \xff").c_str(), 0777), 0);
    tree.MakeDir(L"gone");
    const struct {
        std::optional<std::string> shown;   // before OK, if anything
        std::optional<std::string> chosen;  // what the chooser shows at OK
        std::wstring item;                  // handed back; empty when refused
        std::string refusal;
    } cases[] = {
        {std::nullopt, Unix(L"media"), media, ""},
        {Unix(L"media\\VOD"), Unix(L"media\\VOD"), Path(L"media\\VOD"), ""},
        // Under the name it was chosen by, the folders above it resolved: a
        // link named VOD stays VOD.
        {std::nullopt, Unix(L"link"), Path(L"link"), ""},
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
        ChooserBridge& chooser = Opened();
        if (c.shown) chooser.Follow(*c.shown);
        if (c.shown == Unix(L"gone")) tree.Remove(L"gone");
        const ChooserBridge::Answer answer = chooser.Accept(c.chosen);
        const OwnedItem item(answer.item);
        EXPECT_EQ(item.get() != nullptr ? PathOf(item.get()) : L"", c.item);
        EXPECT_EQ(answer.refusal.value_or(""), c.refusal);
        // Refused, the chooser stays open, and its note says why until the
        // selection moves.
        EXPECT_EQ(chooser.Note(), c.refusal);
        chooser.Follow(Unix(L"media\\notes.txt"));
        EXPECT_EQ(chooser.Note(), c.refusal);
        chooser.Follow(Unix(L"out"));
        EXPECT_EQ(chooser.Note(), "");
    }
}

TEST_F(ChooserBridgeTest, TheWindowIsKeptOnTopWhenTheCallbackAsks) {
    for (const HWND band : {HWND_TOPMOST, static_cast<HWND>(nullptr)}) {
        onOpen = [band](HWND hwnd) { SetWindowPos(hwnd, band, 0, 0, 400, 300, SWP_SHOWWINDOW); };
        EXPECT_EQ(Opened().Session().Topmost(), band == HWND_TOPMOST);
    }
}

}  // namespace
