// The Linux program's command line end to end: what each command line
// prints on which stream, what it copies and its exit status; and a dry run,
// which must foretell a run exactly and change nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/Program.h"
#include "tests/support/SystemPath.h"
#include "tests/support/TempTree.h"

// The program under test; cuecarry-gtk without a display must answer as
// cuecarry does, under its own name.
#ifndef CUECARRY_PROGRAM
#define CUECARRY_PROGRAM "cuecarry"
#endif

namespace {

struct Ran {
    int status;
    std::string output, errors;
};

Ran RunWithArguments(const std::vector<std::string>& arguments) {
    Program program(Program::Options{0, arguments});
    const int status = program.Finish();
    return {status, program.output, program.errors};
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        tree.WriteFile(L"media\\VOD\\Lesson01\\intro.vtt", "WEBVTT\n\nintro\n");
        tree.MakeDir(L"out");
    }
    std::string Path(const wchar_t* relative) const { return SystemPath(tree.Path(relative)); }
    TempTree tree;
};

TEST_F(CommandLine, EachCommandLineSaysWhatHappenedOnItsStreamAndInItsStatus) {
    tree.WriteFile(L"media\\VOD\\Lab\\demo.vtt", "WEBVTT\n\ndemo\n");
    tree.WriteFile(L"published\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", "kept");
    tree.SetReadOnly(L"published\\Lab_Lab\\demo\\video\\vtt\\demo.vtt", true);
    ASSERT_EQ(::symlink("nowhere", Path(L"dangling").c_str()), 0);
    const std::string vod = Path(L"media\\VOD"), out = Path(L"out"), usage = "usage: " CUECARRY_PROGRAM " [-n] [-v] [--pause] [SOURCE DEST]\n";
    const std::string intro = vod + "/Lesson01/intro.vtt", introCopy = out + "/Les_01/intro/video/vtt/intro.vtt";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string output;  // the start of standard output
        std::string errors;  // all of standard error
        bool copies;         // intro.vtt arrives in out
    } cases[] = {
        {{"--version"}, 0, CUECARRY_PROGRAM " " CUECARRY_VERSION "\n", "", false},
        {{"-V"}, 0, CUECARRY_PROGRAM " " CUECARRY_VERSION "\n", "", false},
        {{"--help"}, 0, usage, "", false},
        {{"-h", vod, out}, 0, usage, "", false},
        {{"-x"}, 2, "", CUECARRY_PROGRAM ": unknown option '-x'\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{"--dry", vod, out}, 0, "Cuecarry: Cuecarry complete\n\nThis was a dry run", "", false},  // as getopt abbreviates
        {{"--bogus", vod}, 2, "", CUECARRY_PROGRAM ": unknown option '--bogus'\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{"--pause=now"}, 2, "", CUECARRY_PROGRAM ": unknown option '--pause=now'\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{"--\x1b]0;x\x07"}, 2, "", CUECARRY_PROGRAM ": unknown option '--?]0;x?'\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{vod}, 2, "", CUECARRY_PROGRAM ": DEST is missing\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{vod, out, out}, 2, "", CUECARRY_PROGRAM ": too many folders; give SOURCE and DEST\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{vod, out}, 0, "Cuecarry: Cuecarry complete\n", "", true},
        {{vod, out, "--verbose", "--pause"}, 0,
         "copy " + vod + "/Lab/demo.vtt -> " + out + "/Lab_Lab/demo/video/vtt/demo.vtt\ncopy " + intro + " -> " +
             introCopy + "\nCuecarry: Cuecarry complete\n",
         "", true},
        {{"-v", vod, Path(L"published")}, 1,
         "copy " + intro + " -> " + Path(L"published") + "/Les_01/intro/video/vtt/intro.vtt\n"
         "Cuecarry: Cuecarry complete\n\n1 caption file could not be copied.\n",
         "cuecarry: " + vod + "/Lab/demo.vtt -> " + Path(L"published") + "/Lab_Lab/demo/video/vtt/demo.vtt: "
         "the file there is read-only\n", false},
        {{Path(L"media"), out}, 2,
         "Cuecarry: Cuecarry complete\n\nNothing was copied: the starting folder is named neither VOD nor Zelvora.\n", "",
         false},
        {{Path(L"missing"), out}, 2, "Cuecarry: starting path not accessible\n", "", false},
        {{vod, Path(L"missing")}, 2, "Cuecarry: copy to path not accessible\n", "", false},
        {{vod, intro}, 2, "Cuecarry: Cuecarry complete\n", "cuecarry: " + intro + ": not a folder\n", false},
        {{Path(L"dangling"), out}, 2, "Cuecarry: Cuecarry complete\n",
         "cuecarry: " + Path(L"dangling") + ": a symbolic link that leads nowhere\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        tree.Remove(L"out");
        tree.MakeDir(L"out");
        const Ran ran = RunWithArguments(c.arguments);
        EXPECT_EQ(ran.status, c.status);
        EXPECT_EQ(ran.output.substr(0, c.output.size()), c.output) << ran.output;
        if (c.output.empty()) {
            EXPECT_EQ(ran.output, "");
        }
        EXPECT_EQ(ran.errors, c.errors);
        EXPECT_EQ(tree.Exists(L"out\\Les_01\\intro\\video\\vtt\\intro.vtt"), c.copies);
    }
}

TEST_F(CommandLine, FoldersAreTakenRelativeToTheWorkingFolder) {
    char* const previous = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(Path(L"media").c_str()), 0);
    const Ran ran = RunWithArguments({"VOD", "../out"});
    ASSERT_EQ(::chdir(previous), 0);
    ::free(previous);
    EXPECT_EQ(ran.status, 0) << ran.errors;
    EXPECT_TRUE(tree.Exists(L"out\\Les_01\\intro\\video\\vtt\\intro.vtt"));
}

// Every entry below `folder`: its kind, content, mode and last-write time.
std::map<std::wstring, std::string> Snapshot(const TempTree& tree, const std::wstring& folder) {
    std::map<std::wstring, std::string> entries;
    for (const std::wstring& entry : tree.List(folder)) {
        struct stat status;
        const std::string path = SystemPath(tree.Path(folder + L"\\" + entry));
        EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
        entries[entry] = std::to_string(status.st_mode) + " " + std::to_string(status.st_mtim.tv_sec) + "." +
                         std::to_string(status.st_mtim.tv_nsec) + " " +
                         tree.ReadFile(folder + L"\\" + entry).value_or("<folder>");
    }
    return entries;
}

std::string WithoutDryRunNote(std::string output) {
    const std::string note = "\n\nThis was a dry run: nothing was written.";
    const std::size_t at = output.find(note);
    return at == std::string::npos ? output : output.erase(at, note.size());
}

// The dry run answers from what is there and from what the run would have
// made: new targets, replaced ones, a read-only target, a ".." base name, a
// later segment's caption replacing an earlier one, and a read-only copy
// made earlier in the run that refuses the next.
TEST_F(CommandLine, ADryRunChangesNothingAndPrintsWhatTheRunThenDoes) {
    const std::vector<std::pair<const wchar_t*, const char*>> files = {
        {L"Zelvora\\Course\\Week1\\new.vtt", "new"},
        {L"Zelvora\\Course\\Week1\\replaced.vtt", "replacement"},
        {L"Zelvora\\Course\\Week1\\locked.vtt", "refused"},
        {L"Zelvora\\Course\\Week1\\...vtt", "base name .."},
        {L"Zelvora\\Course\\Week1\\twice.vtt", "week 1"},
        {L"Zelvora\\Course\\Week2\\twice.vtt", "week 2, later"},
        {L"Zelvora\\Course\\Week1\\sealed.vtt", "read-only source"},
        {L"Zelvora\\Course\\Week2\\sealed.vtt", "refused by the read-only copy of week 1"},
        {L"Zelvora\\Other\\Week1\\fresh.vtt", "a content destination of its own"},
    };
    for (const auto& [path, content] : files) tree.WriteFile(path, content);
    tree.SetReadOnly(L"Zelvora\\Course\\Week1\\sealed.vtt", true);
    tree.WriteFile(L"dest\\Cou_se\\replaced\\video\\vtt\\replaced.vtt", "earlier");
    tree.WriteFile(L"dest\\Cou_se\\locked\\video\\vtt\\locked.vtt", "published, read-only");
    tree.SetReadOnly(L"dest\\Cou_se\\locked\\video\\vtt\\locked.vtt", true);
    const std::string source = Path(L"Zelvora"), destination = Path(L"dest");
    const auto before = Snapshot(tree, L"dest");

    const Ran dry = RunWithArguments({"--dry-run", "--verbose", source, destination});
    EXPECT_EQ(Snapshot(tree, L"dest"), before) << "a dry run writes nothing";
    EXPECT_NE(dry.output.find("\n\nThis was a dry run: nothing was written.\n"), std::string::npos) << dry.output;

    const Ran real = RunWithArguments({"-v", source, destination});
    EXPECT_EQ(dry.status, real.status);
    EXPECT_EQ(real.status, 1);
    EXPECT_EQ(WithoutDryRunNote(dry.output), real.output);
    EXPECT_EQ(dry.errors, real.errors);
    // What the run did, so that the comparison above compares something.
    EXPECT_NE(real.output.find("copy " + source + "/Course/Week2/twice.vtt -> " + destination +
                               "/Cou_se/twice/video/vtt/twice.vtt\n"),
              std::string::npos)
        << real.output;
    EXPECT_NE(real.errors.find(destination + "/Cou_se/locked/video/vtt/locked.vtt: the file there is read-only\n"),
              std::string::npos)
        << real.errors;
    EXPECT_NE(real.errors.find(destination + "/Cou_se/sealed/video/vtt/sealed.vtt: the file there is read-only\n"),
              std::string::npos)
        << real.errors;
    EXPECT_NE(real.errors.find("/Week1/...vtt -> " + destination + "/Cou_se/../video/vtt/...vtt: its base name is ..\n"),
              std::string::npos)
        << real.errors;
    EXPECT_EQ(tree.ReadFile(L"dest\\Cou_se\\twice\\video\\vtt\\twice.vtt"), "week 2, later");
    EXPECT_EQ(tree.ReadFile(L"dest\\Oth_er\\fresh\\video\\vtt\\fresh.vtt"), "a content destination of its own");
}

}  // namespace
