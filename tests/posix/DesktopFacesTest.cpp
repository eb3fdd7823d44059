// The faces a desktop program installs in the stand-in (DesktopFaces.h):
// installed, they show the pickers and the message in place of the
// terminal; without them, or with one missing, the terminal shows all.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/DesktopFaces.h"
#include "platform/posix/ShellTesting.h"
#include "tests/posix/ShellTestKit.h"

namespace {

using namespace posix::testing;

std::vector<std::wstring> asked;  // what the installed faces were asked

PIDLIST_ABSOLUTE Browse(BROWSEINFOW& info, const posix::Console&) {
    asked.push_back(L"browse " + std::wstring(info.lpszTitle) + L" " + std::to_wstring(info.ulFlags));
    return NewFolderItem(L"\\srv\\media\\VOD");
}

void Message(const std::wstring& caption, const std::wstring& text, UINT style) {
    asked.push_back(L"message " + caption + L": " + text + L" " + std::to_wstring(style));
}

// One browse and one message, with a script that says nothing on the
// terminal's input: what the browse chose, and what the terminal printed.
std::pair<std::wstring, std::string> BrowseAndShowMessage() {
    FILE* output = std::tmpfile();
    Overrides overrides;
    overrides.input = ::open("/dev/null", O_RDONLY);
    overrides.output = overrides.error = ::fileno(output);
    overrides.interactive = false;
    std::wstring chosen;
    {
        const ScopedOverrides scope(overrides);
        BROWSEINFOW info = {nullptr, nullptr, nullptr, L"Open", 9, nullptr, 0, 0};
        const OwnedItem item(SHBrowseForFolderW(&info));
        chosen = item.get() != nullptr ? PathOf(item.get()) : L"<cancelled>";
        EXPECT_EQ(IDOK, MessageBoxW(nullptr, L"Cuecarry complete\n\n1 folder could not be read.", L"Cuecarry",
                                    MB_ICONERROR | MB_SYSTEMMODAL));
    }
    ::close(overrides.input);
    std::string printed(4096, '\0');
    printed.resize(static_cast<std::size_t>(::pread(::fileno(output), &printed[0], printed.size(), 0)));
    std::fclose(output);
    return {chosen, printed};
}

TEST(DesktopFaces, InstalledTheyShowThePickersAndTheMessageAndTheTerminalNothing) {
    asked.clear();
    posix::InstallDesktopFaces({&Browse, &Message});
    EXPECT_EQ(BrowseAndShowMessage(), std::make_pair(std::wstring(L"\\srv\\media\\VOD"), std::string()));
    EXPECT_EQ(asked, (std::vector<std::wstring>{
                         L"browse Open 9", L"message Cuecarry: Cuecarry complete\n\n1 folder could not be read. 4112"}));
    posix::InstallDesktopFaces({});
}

TEST(DesktopFaces, WithoutThemOrWithOneMissingTheTerminalShowsAll) {
    asked.clear();
    for (const posix::DesktopFaces faces : {posix::DesktopFaces{}, posix::DesktopFaces{&Browse, nullptr},
                                            posix::DesktopFaces{nullptr, &Message}}) {
        posix::InstallDesktopFaces(faces);
        EXPECT_EQ(posix::InstalledDesktopFaces(), nullptr);
        const auto [chosen, printed] = BrowseAndShowMessage();
        EXPECT_EQ(chosen, L"<cancelled>");
        EXPECT_EQ(printed.rfind("== Browse For Folder ==\nOpen\n", 0), 0u) << printed;
        EXPECT_NE(printed.find("\nCuecarry: Cuecarry complete\n\n1 folder could not be read.\n"), std::string::npos);
    }
    EXPECT_EQ(asked, std::vector<std::wstring>{});
}

}  // namespace
