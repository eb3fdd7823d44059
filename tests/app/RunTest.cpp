// The Linux program end to end, as a script drives it: one command per line
// on standard input for each folder picker, and the one message on standard
// output.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/posix/names.h"
#include "tests/support/TempTree.h"

namespace {

// The program under test, with pipes to its standard streams.
class Program {
public:
    Program() {
        signal(SIGPIPE, SIG_IGN);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            const int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 2);  // the browser's complaints; not what these tests read
            for (int fd : {in[0], in[1], out[0], out[1], devnull}) close(fd);
            execl(CUECARRY_EXE, CUECARRY_EXE, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~Program() {
        if (input_ >= 0) close(input_);
        close(output_);
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // A program that has already ended takes no more input; what it printed
    // is what the tests judge, so a refused line is no failure in itself.
    void Send(const std::string& line) {
        const std::string text = line + "\n";
        if (write(input_, text.data(), text.size()) < 0 && errno != EPIPE) ADD_FAILURE() << "write: " << errno;
    }
    void EndInput() {
        close(input_);
        input_ = -1;
    }

    // Reads until `text` has appeared in the output (true) or the output
    // ends or stalls for 10 s (false).
    bool WaitFor(const std::string& text) {
        while (output.find(text) == std::string::npos) {
            if (!ReadSome()) return false;
        }
        return true;
    }

    // Reads all that is left and the exit status.
    int Finish() {
        if (input_ >= 0) EndInput();
        while (ReadSome()) {
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string output;

private:
    bool ReadSome() {
        pollfd ready{output_, POLLIN, 0};
        if (poll(&ready, 1, 10000) <= 0) return false;
        char buffer[4096];
        const ssize_t got = read(output_, buffer, sizeof buffer);
        if (got <= 0) return false;
        output.append(buffer, static_cast<std::size_t>(got));
        return true;
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int input_ = -1;
    int output_ = -1;
};

std::string Native(const CString& path) { return posix::NativePath(path).value(); }

// The program's message lines: those that start with its caption.
std::vector<std::string> Messages(const std::string& output) {
    std::vector<std::string> found;
    for (std::size_t at = output.find("Cuecarry: "); at != std::string::npos; at = output.find("Cuecarry: ", at + 1)) {
        if (at == 0 || output[at - 1] == '\n' || output[at - 1] == ' ') found.push_back(output.substr(at));
    }
    return found;
}

// The one message of a run, with the rest of the output after it.
std::string OnlyMessage(const std::string& output) {
    const std::vector<std::string> found = Messages(output);
    EXPECT_EQ(found.size(), 1u) << output;
    return found.empty() ? std::string() : found.front();
}

class Run : public ::testing::Test {
protected:
    TempTree tree;
    void SetUp() override {
        tree.WriteFile(L"media\\VOD\\Lesson01\\intro.vtt", "WEBVTT\n\n00:00.000 --> 00:01.000\nHello\n");
        tree.WriteFile(L"media\\VOD\\Lesson01\\slides.pdf", "%PDF");
        tree.MakeDir(L"out");
    }
    std::string Path(const wchar_t* relative) const { return Native(tree.Path(relative)); }
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

TEST_F(Run, CancellingEitherPickerCopiesNothingAndCompletes) {
    const std::vector<std::vector<std::string>> inputs{
        {"q"},                         // first picker cancelled
        {},                            // first picker: input ends
        {Path(L"media\\VOD"), "", "q"},  // second picker cancelled
        {Path(L"media\\VOD"), ""},     // second picker: input ends
    };
    for (const std::vector<std::string>& input : inputs) {
        int status = -1;
        const std::string output = RunWith(input, &status);
        EXPECT_EQ(OnlyMessage(output), kComplete);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(tree.List(L"out"), std::set<std::wstring>());
        // Without a first choice there is no second picker.
        EXPECT_EQ(output.find("Select copy to folder:") != std::string::npos, input.size() >= 2) << output;
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
        EXPECT_EQ(program.Finish(), 0);
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

TEST_F(Run, AFolderWithNeitherLayoutCopiesNothing) {
    const std::string output = RunWith({Path(L"media"), "", Path(L"out"), ""});
    EXPECT_EQ(OnlyMessage(output), kComplete);
    EXPECT_EQ(tree.List(L"out"), std::set<std::wstring>());
}

TEST_F(Run, CaptionFilesLeftBehindAreCounted) {
    tree.WriteFile(L"media\\VOD\\Lab\\demo.vtt", "WEBVTT\n");
    tree.WriteFile(L"media\\VOD\\Lab\\lab.vtt", "WEBVTT\n");
    for (const wchar_t* locked : {L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", L"out\\Lab_Lab\\lab\\video\\vtt\\lab.vtt"}) {
        tree.WriteFile(locked, "published");
        tree.SetReadOnly(locked, true);
    }
    EXPECT_EQ(OnlyMessage(RunWith({Path(L"media\\VOD"), "", Path(L"out"), ""})),
              "Cuecarry: Cuecarry complete\n\n2 caption files could not be copied.\n");

    tree.SetReadOnly(L"out\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", false);
    EXPECT_EQ(OnlyMessage(RunWith({Path(L"media\\VOD"), "", Path(L"out"), ""})),
              "Cuecarry: Cuecarry complete\n\n1 caption file could not be copied.\n");
    EXPECT_EQ(tree.ReadFile(L"out\\Lab_Lab\\lab\\video\\vtt\\lab.vtt"), "published");
}

// What the sample trees shipped with the program turn into.
TEST(RunExamples, BothSampleTreesCopy) {
    struct Case {
        const char* layout;
        std::set<std::wstring> published;
    } const cases[] = {
        {"VOD", Union({{L"Emp_ty\\"}, PublishedCaption(L"Int_ro", L"welcome.vtt"),
                       PublishedCaption(L"Lab_Lab", L"demo.VTT"), PublishedCaption(L"Les_01", L"intro.vtt"),
                       PublishedCaption(L"Les_01", L"intro.en.vtt")})},
        {"Zelvora", Union({PublishedCaption(L"Che_ry", L"atoms.vtt"), PublishedCaption(L"Che_ry", L"bonds.vtt"),
                           PublishedCaption(L"Unit_Unit", L"welcome.vtt"),
                           PublishedCaption(L"Unit_Unit", L"welcome.de.vtt"),
                           PublishedCaption(L"Unit_Unit", L"recap.vtt")})},
    };
    for (const Case& c : cases) {
        TempTree tree;
        Program program;
        program.Send(std::string(CUECARRY_EXAMPLES) + "/" + c.layout);
        program.Send("");
        program.Send(Native(tree.Root()));
        program.Send("");
        EXPECT_EQ(program.Finish(), 0);
        EXPECT_EQ(OnlyMessage(program.output), kComplete);
        EXPECT_EQ(tree.List(), c.published) << c.layout;
    }
}

}  // namespace
