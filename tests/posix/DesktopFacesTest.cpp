// The faces a desktop program installs in the stand-in (desktop_faces.h):
// once installed they show the pickers and the message in place of the
// terminal, and without them the terminal shows everything again.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/desktop_faces.h"
#include "platform/posix/shell_testing.h"
#include "tests/posix/ShellTestKit.h"

namespace {

using namespace posix::testing;

// What the installed faces were asked, as lines.
std::vector<std::wstring> asked;

PIDLIST_ABSOLUTE Browse(BROWSEINFOW& info, const posix::Console& console) {
    asked.push_back(L"browse " + std::wstring(info.lpszTitle) + L" " + std::to_wstring(info.ulFlags) + L" " +
                    std::to_wstring(console.error));
    return NewFolderItem(L"\\srv\\media\\VOD");
}

void Message(const std::wstring& caption, const std::wstring& text, UINT style) {
    asked.push_back(L"message " + caption + L": " + text + L" " + std::to_wstring(style));
}

class DesktopFacesTest : public ::testing::Test {
protected:
    void SetUp() override {
        asked.clear();
        output_ = std::tmpfile();
        int input[2];
        ASSERT_EQ(0, ::pipe(input));
        ::close(input[1]);  // a script that says nothing: the line protocol cancels
        input_ = input[0];
        Overrides overrides;
        overrides.input = input_;
        overrides.output = ::fileno(output_);
        overrides.error = ::fileno(output_);
        overrides.interactive = false;
        scope_.emplace(overrides);
    }
    void TearDown() override {
        posix::InstallDesktopFaces({});
        scope_.reset();
        ::close(input_);
        std::fclose(output_);
    }

    std::string Printed() const {
        std::string printed(4096, '\0');
        printed.resize(static_cast<std::size_t>(::pread(::fileno(output_), &printed[0], printed.size(), 0)));
        return printed;
    }

    std::wstring Browsed() {
        BROWSEINFOW info = {nullptr, nullptr, nullptr, L"Open", 9, nullptr, 0, 0};
        const OwnedItem chosen(SHBrowseForFolderW(&info));
        return chosen.get() != nullptr ? PathOf(chosen.get()) : L"<cancelled>";
    }

    FILE* output_ = nullptr;  // the terminal's output and error stream

private:
    int input_ = -1;
    std::optional<ScopedOverrides> scope_;
};

TEST_F(DesktopFacesTest, InstalledTheyShowThePickersAndTheMessageAndTheTerminalNothing) {
    posix::InstallDesktopFaces({&Browse, &Message});
    ASSERT_NE(posix::InstalledDesktopFaces(), nullptr);
    EXPECT_EQ(Browsed(), L"\\srv\\media\\VOD");
    EXPECT_EQ(IDOK, MessageBoxW(nullptr, L"Cuecarry complete\n\n1 folder could not be read.", L"Cuecarry",
                                MB_ICONERROR | MB_SYSTEMMODAL));
    EXPECT_EQ(IDOK, MessageBoxW(nullptr, nullptr, nullptr, MB_OK));
    const std::wstring console = std::to_wstring(::fileno(output_));
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"browse Open 9 " + console,
                                                L"message Cuecarry: Cuecarry complete\n\n1 folder could not be read. 4112",
                                                L"message Error:  0"}));
    EXPECT_EQ(Printed(), "");
}

TEST_F(DesktopFacesTest, WithoutThemOrWithOneMissingTheTerminalShowsEverything) {
    for (const posix::DesktopFaces faces : {posix::DesktopFaces{}, posix::DesktopFaces{&Browse, nullptr},
                                            posix::DesktopFaces{nullptr, &Message}}) {
        posix::InstallDesktopFaces(faces);
        EXPECT_EQ(posix::InstalledDesktopFaces(), nullptr);
    }
    posix::InstallDesktopFaces({&Browse, &Message});
    posix::InstallDesktopFaces({});
    EXPECT_EQ(Browsed(), L"<cancelled>");
    MessageBoxW(nullptr, L"Cuecarry complete", L"Cuecarry", MB_ICONERROR | MB_SYSTEMMODAL);
    EXPECT_EQ(asked, std::vector<std::wstring>{});
    const std::string printed = Printed();
    EXPECT_EQ(printed.rfind("== Browse For Folder ==\nOpen\nSelected: ", 0), 0u) << printed;
    const std::string message = "\nCuecarry: Cuecarry complete\n";
    EXPECT_EQ(printed.substr(printed.size() - std::min(printed.size(), message.size())), message) << printed;
}

}  // namespace
