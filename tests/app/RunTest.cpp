// The Linux program end to end, as a script drives it: one command per line
// on standard input for each folder picker, and the one message on standard
// output.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/Program.h"
#include "tests/support/SystemPath.h"
#include "tests/support/TempTree.h"

namespace {

class Run : public ::testing::Test {
protected:
    TempTree tree;
    void SetUp() override {
        tree.WriteFile(L"media\\VOD\\Lesson01\\intro.vtt", "WEBVTT\n\n00:00.000 --> 00:01.000\nHello\n");
        tree.WriteFile(L"media\\VOD\\Lesson01\\slides.pdf", "%PDF");
        tree.MakeDir(L"out");
    }
    std::string Path(const wchar_t* relative) const { return SystemPath(tree.Path(relative)); }
    // Runs the program with whole lines of input at once.
    std::string RunWith(const std::vector<std::string>& lines, int* status = nullptr) {
        Program program;
        for (const std::string& line : lines) program.Send(line);
        const int exit = program.Finish();
        if (status != nullptr) *status = exit;
        return program.output;
    }
};

const char kComplete[] = "Cuecarry: Cuecarry complete\n";
const std::set<std::wstring> kIntroCopied = PublishedCaption(L"Les_01", L"intro.vtt");

TEST_F(Run, BothFoldersChosenCopiesAndCompletes) {
    int status = -1;
    const std::string output = RunWith({Path(L"media\\VOD"), "", Path(L"out"), ""}, &status);
    EXPECT_EQ(OnlyMessage(output), kComplete);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tree.List(L"out"), kIntroCopied);
    EXPECT_NE(output.find("Browse to the starting folder:"), std::string::npos);
    EXPECT_NE(output.find("Select copy to folder:"), std::string::npos);
}

TEST_F(Run, FoldersChosenThroughLinksAreTheFoldersTheyLeadTo) {
    // Only inside the destination is a link refused for writing; the chosen
    // folders themselves may be reached through links.
    ASSERT_EQ(symlink(Path(L"media").c_str(), Path(L"media-link").c_str()), 0);
    ASSERT_EQ(symlink(Path(L"out").c_str(), Path(L"out-link").c_str()), 0);
    const std::string output = RunWith({Path(L"media-link\\VOD"), "", Path(L"out-link"), ""});
    EXPECT_EQ(OnlyMessage(output), kComplete);
    EXPECT_EQ(tree.List(L"out"), kIntroCopied);
}

TEST_F(Run, CancellingEitherPickerCopiesNothingAndCompletes) {
    const std::vector<std::vector<std::string>> inputs{
        {"q"},                         // first picker cancelled
        {},                            // first picker: input ends
        {Path(L"media\\VOD"), "", "q"},  // second picker cancelled
        {Path(L"media\\VOD"), ""},     // second picker: input ends
        // A path that names no folder ends its picker: the empty line after
        // it must not choose the folder the picker opened at.
        {Path(L"missing"), "", Path(L"out"), ""},
        {Path(L"media\\VOD"), "", Path(L"missing"), ""},
    };
    for (const std::vector<std::string>& input : inputs) {
        int status = -1;
        const std::string output = RunWith(input, &status);
        EXPECT_EQ(OnlyMessage(output), kComplete);
        EXPECT_EQ(status, 2) << "nothing was copied";
        EXPECT_EQ(tree.List(L"out"), std::set<std::wstring>());
        // Without a first choice there is no second picker.
        const bool firstChosen = input.size() >= 2 && input[0] != Path(L"missing");
        EXPECT_EQ(output.find("Select copy to folder:") != std::string::npos, firstChosen) << output;
        // The picker opens at the working directory.
        EXPECT_NE(access("Les_01", F_OK), 0) << "published into the working directory";
    }
}

// A chosen folder that is gone by the time it is confirmed.
TEST_F(Run, AChosenFolderThatCannotBeFoundEndsTheRun) {
    struct Case {
        bool first;
        const char* message;
    } const cases[] = {{true, "Cuecarry: starting path not accessible\n"},
                       {false, "Cuecarry: copy to path not accessible\n"}};
    for (const Case& c : cases) {
        tree.MakeDir(L"doomed");
        Program program;
        if (!c.first) {
            program.Send(Path(L"media\\VOD"));
            program.Send("");
            ASSERT_TRUE(program.WaitFor("Select copy to folder:")) << program.output;
        }
        program.Send(Path(L"doomed"));
        ASSERT_TRUE(program.WaitFor("Selected: " + Path(L"doomed"))) << program.output;
        tree.Remove(L"doomed");
        program.Send("");
        program.Send(Path(L"out"));  // would be the second choice, if one were asked for
        program.Send("");
        EXPECT_EQ(program.Finish(), 2) << "nothing was copied";
        EXPECT_EQ(OnlyMessage(program.output), c.message);
        EXPECT_EQ(program.output.find("Select copy to folder:") != std::string::npos, !c.first);
        EXPECT_EQ(tree.List(L"out"), std::set<std::wstring>());
    }
}

TEST_F(Run, SameFolderTwiceIsAllowed) {
    const std::string output = RunWith({Path(L"media\\VOD"), "", Path(L"media\\VOD"), ""});
    EXPECT_EQ(OnlyMessage(output), kComplete);
    EXPECT_TRUE(tree.Exists(L"media\\VOD\\Les_01\\intro\\video\\vtt\\intro.vtt"));
}

TEST_F(Run, AFolderWithNeitherLayoutCopiesNothingAndSaysSo) {
    int status = -1;
    const std::string output = RunWith({Path(L"media"), "", Path(L"out"), ""}, &status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(OnlyMessage(output), "Cuecarry: Cuecarry complete\n\n"
                                   "Nothing was copied: the starting folder is named neither VOD nor Zelvora.\n");
    EXPECT_EQ(tree.List(L"out"), std::set<std::wstring>());
}

TEST_F(Run, CaptionFilesLeftBehindAreCounted) {
    tree.WriteFile(L"media\\VOD\\Lab\\demo.vtt", "WEBVTT\n");
    tree.WriteFile(L"media\\VOD\\Lab\\lab.vtt", "WEBVTT\n");
    for (const wchar_t* locked : {L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", L"out\\Lab_Lab\\lab\\video\\vtt\\lab.vtt"}) {
        tree.WriteFile(locked, "published");
        tree.SetReadOnly(locked, true);
    }
    int status = -1;
    EXPECT_EQ(OnlyMessage(RunWith({Path(L"media\\VOD"), "", Path(L"out"), ""}, &status)),
              "Cuecarry: Cuecarry complete\n\n2 caption files could not be copied.\n");
    EXPECT_EQ(status, 1) << "the run went through and left captions behind";

    tree.SetReadOnly(L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", false);
    EXPECT_EQ(OnlyMessage(RunWith({Path(L"media\\VOD"), "", Path(L"out"), ""})),
              "Cuecarry: Cuecarry complete\n\n1 caption file could not be copied.\n");
    EXPECT_EQ(tree.ReadFile(L"out\\Lab_Lab\\lab\\video\\vtt\\lab.vtt"), "published");
}

TEST_F(Run, FoldersThatCannotBeReadAreCountedAfterTheCaptionFiles) {
    if (!native::PermissionsEnforced()) GTEST_SKIP() << "root lists every folder whatever its mode bits";
    const auto lock = [this](const wchar_t* folder) {
        tree.WriteFile(std::wstring(folder) + L"\\hidden.vtt", "WEBVTT\n");
        ASSERT_EQ(chmod(Path(folder).c_str(), 0), 0);
    };
    lock(L"media\\VOD\\Locked");
    EXPECT_EQ(OnlyMessage(RunWith({Path(L"media\\VOD"), "", Path(L"out"), ""})),
              "Cuecarry: Cuecarry complete\n\n1 folder could not be read.\n");

    lock(L"media\\VOD\\Shut");
    tree.SetReadOnly(L"out\\Les_01\\intro\\video\\vtt\\intro.vtt", true);
    EXPECT_EQ(OnlyMessage(RunWith({Path(L"media\\VOD"), "", Path(L"out"), ""})),
              "Cuecarry: Cuecarry complete\n\n1 caption file could not be copied.\n\n2 folders could not be read.\n");
}

// Started with its standard streams closed (`<&- >&- 2>&-`), the program
// opens /dev/null in their place before anything else, so that no file it
// opens takes their numbers: its reason lines never land in a copy, and
// every published copy holds exactly its source's bytes. Which numbers its
// own files would take depends on how deep the destination lies, so the
// streams are also looked at while the program waits at its first picker.
TEST_F(Run, ClosedStandardStreamsLeaveTheCopiesWhole) {
    if (!native::PermissionsEnforced()) GTEST_SKIP() << "root reads files whatever their mode bits";
    // Each source and its published copy, from the one in SetUp on.
    std::map<std::wstring, std::wstring> copies{
        {L"out\\Les_01\\intro\\video\\vtt\\intro.vtt", L"media\\VOD\\Lesson01\\intro.vtt"}};
    for (int folder = 0; folder < 6; ++folder) {
        const std::wstring content = L"Course" + std::to_wstring(folder) + L"x";
        for (int caption = 0; caption < 8; ++caption) {
            const std::wstring name = L"c" + std::to_wstring(caption);
            const std::wstring source = L"media\\VOD\\" + content + L"\\" + name + L".vtt";
            tree.WriteFile(source, "WEBVTT\n\n00:00.000 --> 00:01.000\n" + SystemPath(source) + "\n");
            if (caption % 3 == 1) {
                ASSERT_EQ(chmod(Path(source.c_str()).c_str(), 0), 0);
            } else {
                copies[L"out\\Cou_" + std::to_wstring(folder) + L"x\\" + name + L"\\video\\vtt\\" + name + L".vtt"] =
                    source;
            }
        }
    }
    tree.MakeDir(L"media\\VOD\\Locked");
    ASSERT_EQ(chmod(Path(L"media\\VOD\\Locked").c_str(), 0), 0);

#if !defined(__SANITIZE_THREAD__)  // whose runtime takes descriptors before the program starts
    {
        Program program(Program::Options{0, {}, {}, {STDOUT_FILENO, STDERR_FILENO}});
        const auto onDevNull = [&program](int fd) {
            char target[64] = {};
            const std::string link = "/proc/" + std::to_string(program.pid()) + "/fd/" + std::to_string(fd);
            return readlink(link.c_str(), target, sizeof target - 1) > 0 && std::string(target) == "/dev/null";
        };
        // Until the program has started; it then waits for its first folder.
        for (int wait = 0; wait < 1000 && !(onDevNull(STDOUT_FILENO) && onDevNull(STDERR_FILENO)); ++wait) {
            usleep(10 * 1000);
        }
        EXPECT_TRUE(onDevNull(STDOUT_FILENO));
        EXPECT_TRUE(onDevNull(STDERR_FILENO));
        program.Send("q");
        EXPECT_EQ(program.Finish(), 2);
    }
#endif

    Program program(Program::Options{0, {"-j", "8", Path(L"media\\VOD"), Path(L"out")}, {}, {0, 1, 2}});
    EXPECT_EQ(program.Finish(), 1) << "captions and a folder were left behind";
    std::set<std::wstring> published;
    for (const std::wstring& entry : tree.List(L"out")) {
        if (entry.back() != L'\\') published.insert(L"out\\" + entry);
    }
    std::set<std::wstring> expected;
    for (const auto& [copy, source] : copies) {
        expected.insert(copy);
        EXPECT_EQ(tree.ReadFile(copy), tree.ReadFile(source)) << SystemPath(copy);
    }
    EXPECT_EQ(published, expected);
}

// What the sample trees shipped with the program turn into.
TEST(RunExamples, BothSampleTreesCopy) {
    struct Case {
        const char* layout;
        std::string message;
        std::set<std::wstring> published;
    } const cases[] = {
        {"VOD", kComplete, Union({{L"Emp_ty\\"}, PublishedCaption(L"Int_ro", L"welcome.vtt"),
                       PublishedCaption(L"Lab_Lab", L"demo.VTT"), PublishedCaption(L"Les_01", L"intro.vtt"),
                       PublishedCaption(L"Les_01", L"intro.en.vtt")})},
        // Lecture2's atoms.vtt replaces Lecture1's, as the layout has it.
        {"Zelvora", "Cuecarry: Cuecarry complete\n\n1 caption file replaced a copy made earlier in this run.\n",
         Union({PublishedCaption(L"Che_ry", L"atoms.vtt"), PublishedCaption(L"Che_ry", L"bonds.vtt"),
                           PublishedCaption(L"Unit_Unit", L"welcome.vtt"),
                           PublishedCaption(L"Unit_Unit", L"welcome.de.vtt"),
                           PublishedCaption(L"Unit_Unit", L"recap.vtt")})},
    };
    for (const Case& c : cases) {
        TempTree tree;
        Program program;
        program.Send(std::string(CUECARRY_EXAMPLES) + "/" + c.layout);
        program.Send("");
        program.Send(SystemPath(tree.Root()));
        program.Send("");
        EXPECT_EQ(program.Finish(), 0);
        EXPECT_EQ(OnlyMessage(program.output), c.message);
        EXPECT_EQ(tree.List(), c.published) << c.layout;
    }
}

}  // namespace
