// The run sequence in-process: CCuecarryApp::InitInstance against a scripted
// browser, with what each browse was given, what the picker asked of the
// browser when it opened, every message box and the settings key kept.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <tuple>

#include "app/CuecarryApp.h"
#include "platform/posix/ShellTesting.h"
#include "tests/posix/ShellTestKit.h"
#include "tests/support/TempTree.h"

namespace {

using namespace posix::testing;
using Browse = std::pair<std::wstring, std::vector<std::wstring>>;  // instruction, calls on opening
using Box = std::tuple<HWND, std::wstring, std::wstring, UINT>;     // owner, text, caption, style

Browse Opened(const wchar_t* title) {
    return {L"Open", {L"title \"" + std::wstring(title) + L"\"", L"client", L"pos topmost 760 390 425x360 flags 64"}};
}

TEST(RunSequence, BrowsesMessageAndSettingsKey) {
    TempTree tree;
    tree.WriteFile(L"media\\VOD\\Unit\\cue.vtt", "WEBVTT\n");
    tree.MakeDir(L"out");
    const std::wstring vod(tree.Path(L"media\\VOD")), out(tree.Path(L"out")), gone(tree.Path(L"gone"));
    const Browse first = Opened(L"Browse to the starting folder:"), second = Opened(L"Select copy to folder:");
    const struct {
        std::vector<std::wstring> chosen;  // by each browse in turn; then cancelled
        std::vector<Browse> browses;
        const wchar_t* message;
        std::set<std::wstring> published;
    } cases[] = {
        {{gone}, {first}, L"starting path not accessible", {}},
        {{vod, gone}, {first, second}, L"copy to path not accessible", {}},
        {{vod, out}, {first, second}, L"Cuecarry complete", PublishedCaption(L"Unit_Unit", L"cue.vtt")},
    };
    const int quiet = ::open("/dev/null", O_WRONLY);
    ASSERT_GE(quiet, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.message);
        std::vector<Browse> browses;
        std::vector<MessageBoxCall> boxes;
        Overrides overrides;
        overrides.browser = [&](BROWSEINFOW& info) -> PIDLIST_ABSOLUTE {
            RecordingWindow window;
            info.lpfn(&window, BFFM_INITIALIZED, 0, info.lParam);
            browses.emplace_back(info.lpszTitle, window.calls);
            return browses.size() <= c.chosen.size() ? NewFolderItem(c.chosen[browses.size() - 1].c_str()) : nullptr;
        };
        overrides.messageBoxes = &boxes;
        overrides.output = quiet;
        overrides.interactive = false;
        const ScopedOverrides scope(overrides);
        CCuecarryApp app;

        EXPECT_FALSE(app.InitInstance());

        EXPECT_EQ(c.browses, browses);
        std::vector<Box> shown;
        for (const MessageBoxCall& box : boxes) shown.emplace_back(box.owner, box.text, box.caption, box.style);
        EXPECT_EQ((std::vector<Box>{{nullptr, c.message, L"Cuecarry", 0x1010}}), shown);
        EXPECT_EQ(std::wstring(L"Local AppWizard-Generated Applications"), std::wstring(app.RegistryKey()));
        EXPECT_EQ(c.published, tree.List(L"out"));
    }
    ::close(quiet);
}

}  // namespace
