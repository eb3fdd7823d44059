// The terminal folder browser (SHBrowseForFolderW on the stand-in), driven
// through its streams: the line protocol that scripts use, and the
// interactive screen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "platform/posix/names.h"
#include "platform/posix/shell_testing.h"
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
        const char* typed;
        const wchar_t* chosen;  // below the tree, or "<cancelled>"
        const char* error;      // part of what standard error says, or ""
    } cases[] = {
        {"{media\\VOD}\n\n", L"media\\VOD", ""},
        {"{media}\nVOD/Lesson01\n\n", L"media\\VOD\\Lesson01", ""},
        {"{media}\nVOD\\Lesson01\n..\n\n", L"media\\VOD", ""},
        {"{media\\VOD}/./Lesson01/../../Zelvora/\n\n", L"media\\Zelvora", ""},
        {"  {media\\VOD}  \n\n", L"media\\VOD", ""},
        {"~/VOD\n\n", L"media\\VOD", ""},
        {"~\n\n", L"media", ""},
        {"{media}\nnotes.txt\n\n", L"media", "No folder at"},
        {"{media}\nmissing\n\n", L"media", "No folder at"},
        {"{media}\nq\n", L"<cancelled>", ""},
        {"{media}\n", L"<cancelled>", ""},
        {"", L"<cancelled>", ""},
    };
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "/";
    ::setenv("HOME", Unix(L"media").c_str(), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const Outcome outcome = Browse(c.typed);
        EXPECT_EQ(c.chosen[0] == L'<' ? c.chosen : Path(c.chosen), outcome.chosen);
        EXPECT_NE(std::string::npos, outcome.errors.find(c.error)) << outcome.errors;
        EXPECT_EQ(c.error[0] == '\0', outcome.errors.empty()) << outcome.errors;
        EXPECT_EQ(std::string::npos, outcome.output.find("Status:"));
    }
    ::setenv("HOME", home.c_str(), 1);
    std::string windowsForm = Unix(L"media\\Zelvora");
    std::replace(windowsForm.begin(), windowsForm.end(), '/', '\\');
    EXPECT_EQ(Path(L"media\\Zelvora"), Browse(windowsForm + "\n\n").chosen);
}

TEST_F(TerminalBrowserTest, CallbackHearsOpeningOnceThenEachChangeAndMayPreselect) {
    const std::wstring media = Path(L"media");
    listener.onOpen = [&media](HWND hwnd) { SendText(hwnd, BFFM_SETSELECTIONW, TRUE, media.c_str()); };
    listener.onSelection = [](HWND hwnd, const std::wstring&) {
        SendText(hwnd, BFFM_SETSTATUSTEXTW, 0, L"Flat layout");
    };
    const Outcome outcome = Browse("VOD\n{media\\VOD}\nmissing\n..\n\n", false, 13);
    EXPECT_EQ(media, outcome.chosen);
    EXPECT_EQ((std::vector<std::wstring>{L"init", L"sel " + media, L"sel " + media + L"\\VOD", L"sel " + media}),
              listener.heard);
    EXPECT_NE(std::string::npos, outcome.output.find("Selected: " + Unix(L"media\\VOD") + "\nStatus: Flat layout\n> "));
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

TEST_F(TerminalBrowserTest, ConfirmIsRefusedWhileOkIsDisabled) {
    listener.onSelection = [](HWND hwnd, const std::wstring& path) {
        const bool nested = path.size() >= 8 && path.substr(path.size() - 8) == L"\\Zelvora";
        SendText(hwnd, BFFM_SETSTATUSTEXTW, 0, nested ? L"Nested layout not wanted" : L"");
        SendMessageW(hwnd, BFFM_ENABLEOK, 0, nested ? 0 : 1);
    };
    const Outcome outcome = Browse("{media\\Zelvora}\n\n{media\\VOD}\n\n");
    EXPECT_EQ(Path(L"media\\VOD"), outcome.chosen);
    EXPECT_NE(std::string::npos, outcome.errors.find("cannot be chosen: Nested layout not wanted")) << outcome.errors;
}

TEST_F(TerminalBrowserTest, NeverLeavesTheRoot) {
    IShellFolder* desktop = nullptr;
    ASSERT_EQ(S_OK, SHGetDesktopFolder(&desktop));
    std::wstring vod = Path(L"media\\VOD");
    PIDLIST_RELATIVE parsed = nullptr;
    ASSERT_EQ(S_OK, desktop->ParseDisplayName(nullptr, nullptr, &vod[0], nullptr, &parsed, nullptr));
    desktop->Release();
    const OwnedItem root(parsed);
    const Outcome outcome = Browse("..\n{media}\nLesson01\n..\n..\n\n", false, 9, root.get());
    EXPECT_EQ(vod, outcome.chosen);
    EXPECT_EQ((std::vector<std::wstring>{L"init", L"sel " + vod, L"sel " + vod + L"\\Lesson01", L"sel " + vod}),
              listener.heard);
    EXPECT_NE(std::string::npos, outcome.errors.find("is outside")) << outcome.errors;
    EXPECT_NE(std::string::npos, outcome.errors.find("Already at the top")) << outcome.errors;
}

TEST_F(TerminalBrowserTest, InteractiveScreenNumbersSubfoldersAndOpensThem) {
    listener.onOpen = [](HWND hwnd) { SetWindowTextW(hwnd, L"Browse to the starting folder:"); };
    const Outcome outcome = Browse("{media}\n9\n2\n\n", true);
    EXPECT_EQ(Path(L"media\\Beta"), outcome.chosen);
    EXPECT_NE(std::string::npos, outcome.output.find("== Browse to the starting folder: ==\nOpen\n"));
    // Letter case ignored in the order; hidden folders and files left out.
    EXPECT_NE(std::string::npos, outcome.output.find("Selected: " + Unix(L"media") +
                                                     "\n  1  alpha/\n  2  Beta/\n  3  VOD/\n  4  Zelvora/\n"))
        << outcome.output;
    EXPECT_NE(std::string::npos, outcome.output.find("No folder numbered 9."));
    EXPECT_EQ("", outcome.errors);
}

TEST_F(TerminalBrowserTest, FolderThatCannotBeListedCanStillBeChosen) {
    tree.MakeDir(L"media\\gone");
    listener.onSelection = [this](HWND, const std::wstring& path) {
        if (path == Path(L"media\\gone")) tree.Remove(L"media\\gone");
    };
    const Outcome outcome = Browse("{media\\gone}\n\n", true);
    EXPECT_NE(std::string::npos, outcome.output.find("(this folder cannot be listed:")) << outcome.output;
    EXPECT_EQ(Path(L"media\\gone"), outcome.chosen);
}

}  // namespace
