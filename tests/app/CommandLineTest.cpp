// The Linux program's command line end to end: what each command line
// prints on which stream, what it copies and its exit status; and a dry run,
// which must foretell a run exactly and change nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
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

// What cuecarry-gtk says first where no display opens (here none is named);
// cuecarry has no other faces to fall back from.
const std::string kFallbackNote =
    std::string(CUECARRY_PROGRAM) == "cuecarry-gtk"
        ? "cuecarry-gtk: no display is named (DISPLAY and WAYLAND_DISPLAY are not set); the pickers and the "
          "message show at the terminal\n"
        : "";

// The program's run; standard error without the fallback note, which a
// command line that asks for a run gets first, and nothing else does.
Ran RunWithArguments(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {}) {
    Program program(Program::Options{0, arguments, environment, {}});
    const int status = program.Finish();
    std::string errors = program.errors;
    if (!kFallbackNote.empty() && errors.rfind(kFallbackNote, 0) == 0) errors.erase(0, kFallbackNote.size());
    return {status, program.output, errors};
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
    const std::string vod = Path(L"media\\VOD"), out = Path(L"out"), usage = "usage: " CUECARRY_PROGRAM " [-n] [-v] [-j N] [--pause] [SOURCE DEST]\n";
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
        {{"--dry", vod, out}, 0, "copy " + vod + "/Lab/demo.vtt -> " + out + "/Lab_Lab/demo/video/vtt/demo.vtt\ncopy " +
             intro + " -> " + introCopy + "\n2 caption files would be copied.\nCuecarry: Cuecarry complete\n\nThis was a dry run",
         "", false},  // as getopt abbreviates
        {{"--bogus", vod}, 2, "", CUECARRY_PROGRAM ": unknown option '--bogus'\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{"--pause=now"}, 2, "", CUECARRY_PROGRAM ": unknown option '--pause=now'\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{"--\x1b]0;x\x07"}, 2, "", CUECARRY_PROGRAM ": unknown option '--?]0;x?'\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{vod}, 2, "", CUECARRY_PROGRAM ": DEST is missing\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{vod, out, out}, 2, "", CUECARRY_PROGRAM ": too many folders; give SOURCE and DEST\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        // "$DEST" with DEST unset is no folder, not the working folder.
        {{"", out}, 2, "", CUECARRY_PROGRAM ": SOURCE is empty\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{vod, ""}, 2, "", CUECARRY_PROGRAM ": DEST is empty\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{vod, out}, 0, "2 caption files copied.\nCuecarry: Cuecarry complete\n", "", true},
        {{vod, out, "--verbose", "--pause", "-j", "1"}, 0,
         "copy " + vod + "/Lab/demo.vtt -> " + out + "/Lab_Lab/demo/video/vtt/demo.vtt\ncopy " + intro + " -> " +
             introCopy + "\n2 caption files copied.\nCuecarry: Cuecarry complete\n",
         "", true},
        {{"-v", vod, Path(L"published")}, 1,
         "copy " + intro + " -> " + Path(L"published") + "/Les_01/intro/video/vtt/intro.vtt\n"
         "1 caption file copied.\nCuecarry: Cuecarry complete\n\n1 caption file could not be copied.\n",
         "cuecarry: " + vod + "/Lab/demo.vtt -> " + Path(L"published") + "/Lab_Lab/demo/video/vtt/demo.vtt: "
         "the file there is read-only\n", false},
        // Every run that copies nothing says why on standard error, naming the path.
        {{Path(L"media"), out}, 2,
         "Cuecarry: Cuecarry complete\n\nNothing was copied: the starting folder is named neither VOD nor Zelvora.\n",
         "cuecarry: " + Path(L"media") + ": the starting folder is named neither VOD nor Zelvora; its subfolder VOD is "
         "one: cuecarry " + vod + " " + out + "\n",
         false},
        {{Path(L"missing"), out}, 2, "Cuecarry: starting path not accessible\n",
         "cuecarry: " + Path(L"missing") + ": No such file or directory\n", false},
        {{vod, Path(L"missing")}, 2, "Cuecarry: copy to path not accessible\n",
         "cuecarry: " + Path(L"missing") + ": No such file or directory\n", false},
        // A folder given that cannot be taken gets the message of a missing
        // one, and every wrong one is named before anything runs.
        {{vod, intro}, 2, "Cuecarry: copy to path not accessible\n", "cuecarry: " + intro + ": not a folder\n", false},
        {{intro, out}, 2, "Cuecarry: starting path not accessible\n", "cuecarry: " + intro + ": not a folder\n", false},
        {{Path(L"dangling"), out}, 2, "Cuecarry: starting path not accessible\n",
         "cuecarry: " + Path(L"dangling") + ": a symbolic link that leads nowhere\n", false},
        {{intro, Path(L"missing")}, 2, "Cuecarry: starting path not accessible\n",
         "cuecarry: " + intro + ": not a folder\ncuecarry: " + Path(L"missing") + ": No such file or directory\n",
         false},
        {{Path(L"missing"), Path(L"gone")}, 2, "Cuecarry: starting path not accessible\n",
         "cuecarry: " + Path(L"missing") + ": No such file or directory\ncuecarry: " + Path(L"gone") +
             ": No such file or directory\n",
         false},
        {{"--dry-run", vod, intro}, 2,
         "Cuecarry: copy to path not accessible\n\nThis was a dry run: nothing was written.\n",
         "cuecarry: " + intro + ": not a folder\n", false},
        {{"-j", "64", vod, out}, 0, "2 caption files copied.\n", "", true},
        {{"--jobs=0", vod, out}, 2, "", CUECARRY_PROGRAM ": --jobs takes a number from 1 to 64, not '0'\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
        {{"-j"}, 2, "", CUECARRY_PROGRAM ": option '-j' needs a number\n" + usage + "Try '" CUECARRY_PROGRAM " --help' for more.\n", false},
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

// A path means what it means to the kernel, cp and realpath: "lnk/../out"
// lies beside the folder lnk leads to. The layout follows the name the user
// gave: a link named VOD is the flat layout, whatever its folder is called.
// A destination that is a link is written through, into its folder.
TEST_F(CommandLine, PathsAreReadAsTheKernelReadsThemAndTheLastNameAsGiven) {
    tree.WriteFile(L"nas\\export_2024\\Lesson01\\intro.vtt", "WEBVTT\n\nintro\n");
    tree.MakeDir(L"links");
    tree.MakeDir(L"other\\out");
    ASSERT_EQ(::symlink("../nas/export_2024", Path(L"links\\VOD").c_str()), 0);
    ASSERT_EQ(::symlink("media/VOD", Path(L"lnk").c_str()), 0);
    ASSERT_EQ(::symlink("other/out", Path(L"www").c_str()), 0);
    const std::wstring copy = L"\\Les_01\\intro\\video\\vtt\\intro.vtt";
    const struct {
        std::string source, destination;
        int status;
        std::wstring arrives;  // where intro.vtt lands; nowhere when empty
    } cases[] = {
        {Path(L"links\\VOD"), Path(L"out"), 0, L"out"},
        {Path(L"links\\VOD") + "/", Path(L"out"), 0, L"out"},
        {Path(L"media\\VOD"), Path(L"lnk") + "/../out", 2, L""},  // media\out: no such folder
        {Path(L"media\\VOD"), Path(L"www"), 0, L"other\\out"},
        {Path(L"lnk"), Path(L"links") + "/../www", 2, L""},  // lnk is no VOD
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " " + c.destination);
        tree.Remove(L"out");
        tree.Remove(L"other\\out");
        tree.MakeDir(L"out");
        tree.MakeDir(L"other\\out");
        const Ran ran = RunWithArguments({c.source, c.destination});
        EXPECT_EQ(ran.status, c.status) << ran.output << ran.errors;
        EXPECT_EQ(tree.Exists(L"out" + copy), c.arrives == L"out");
        EXPECT_EQ(tree.Exists(L"other\\out" + copy), c.arrives == L"other\\out");
    }
    tree.MakeDir(L"media\\out");
    EXPECT_EQ(RunWithArguments({Path(L"media\\VOD"), Path(L"lnk") + "/../out"}).status, 0);
    EXPECT_TRUE(tree.Exists(L"media\\out\\Les_01\\intro\\video\\vtt\\intro.vtt"));
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

// A dry run's output as the run's would read: without the note at the
// end, and with the captions copied instead of those that would be.
std::string AsTheRunSaysIt(std::string output) {
    for (const auto& [dry, run] : {std::pair<std::string, std::string>{"\n\nThis was a dry run: nothing was written.", ""},
                                   {" would be copied.\n", " copied.\n"}}) {
        const std::size_t at = output.find(dry);
        if (at != std::string::npos) output.replace(at, dry.size(), run);
    }
    return output;
}

// Runs a dry run, checks that it wrote nothing below `written`, then the
// run itself, checks that the dry run printed exactly what the run prints,
// and gives the run.
Ran RunAfterItsDryRun(const TempTree& tree, const std::string& source, const std::string& destination,
                      const std::wstring& written) {
    const auto before = Snapshot(tree, written);
    const Ran dry = RunWithArguments({"--dry-run", "--verbose", source, destination});
    EXPECT_EQ(Snapshot(tree, written), before) << "a dry run writes nothing";
    EXPECT_NE(dry.output.find("\n\nThis was a dry run: nothing was written.\n"), std::string::npos) << dry.output;
    const Ran real = RunWithArguments({"-v", source, destination});
    EXPECT_EQ(dry.status, real.status);
    EXPECT_EQ(AsTheRunSaysIt(dry.output), real.output);
    EXPECT_EQ(dry.errors, real.errors);
    return real;
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
    const Ran real = RunAfterItsDryRun(tree, source, destination, L"dest");
    EXPECT_EQ(real.status, 1);
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

// With the destination inside the source, the walk lists folders that the
// run has just made, and reports what it finds there; the dry run's
// listings show them too. Here the folders that A's captions get lie in
// the content folder Chem, where the walk takes them for segments, and the
// folder of "x.vtt.vtt" (base name x.vtt) for a caption that is no file.
TEST_F(CommandLine, ADryRunWalksWhatTheRunHasMadeWhereTheDestinationLiesInTheSource) {
    tree.WriteFile(L"Zelvora\\A\\Seg1\\x.vtt.vtt", "x");
    tree.WriteFile(L"Zelvora\\A\\Seg1\\plain.vtt", "plain");
    tree.WriteFile(L"Zelvora\\Chem\\Part1\\atoms.vtt", "atoms");
    const std::string source = Path(L"Zelvora");
    for (const std::wstring destination : {L"Zelvora\\Chem", L"Zelvora", L"Zelvora\\A\\Seg1"}) {
        SCOPED_TRACE(SystemPath(destination));
        const Ran real = RunAfterItsDryRun(tree, source, Path(destination.c_str()), L"Zelvora");
        if (destination == L"Zelvora\\Chem") {
            EXPECT_EQ(real.status, 1);
            EXPECT_NE(real.errors.find(source + "/Chem/A_A/x.vtt -> "), std::string::npos) << real.errors;
        }
        tree.Remove(L"Zelvora");
        tree.WriteFile(L"Zelvora\\A\\Seg1\\x.vtt.vtt", "x");
        tree.WriteFile(L"Zelvora\\A\\Seg1\\plain.vtt", "plain");
        tree.WriteFile(L"Zelvora\\Chem\\Part1\\atoms.vtt", "atoms");
    }
}

// A run says what it did beyond the specified message, each on its stream:
// a copy that replaced one the run made earlier (short names that collide),
// a content folder whose folder could not be made, a destination inside the
// source, and a destination where no folder can be made, refused before the
// walk as a missing one is.
TEST_F(CommandLine, ARunSaysWhatItDid) {
    tree.WriteFile(L"media\\VOD\\Lessons01\\intro.vtt", "WEBVTT\n\nthe later one\n");
    const std::string vod = Path(L"media\\VOD"), out = Path(L"out");
    const std::string replaces = "cuecarry: " + vod + "/Lessons01/intro.vtt -> " + out +
                                 "/Les_01/intro/video/vtt/intro.vtt: replaces the copy of " + vod +
                                 "/Lesson01/intro.vtt made earlier in this run\n";
    const Ran replaced = RunAfterItsDryRun(tree, vod, out, L"out");
    EXPECT_EQ(replaced.status, 0);
    EXPECT_EQ(OnlyMessage(replaced.output),
              "Cuecarry: Cuecarry complete\n\n1 caption file replaced a copy made earlier in this run.\n");
    EXPECT_EQ(replaced.errors, replaces);

    tree.Remove(L"out");
    tree.WriteFile(L"out\\Les_01", "a file where the content folder's folder belongs");
    const Ran notMade = RunWithArguments({vod, out});
    EXPECT_EQ(notMade.status, 1);
    EXPECT_EQ(OnlyMessage(notMade.output),
              "Cuecarry: Cuecarry complete\n\n2 caption files could not be copied.\n\n2 folders could not be made.\n")
        << "each content folder is to get its folder, also one of a short name that another has";
    EXPECT_EQ(notMade.errors.rfind("cuecarry: " + out + "/Les_01: could not be made: File exists\n", 0), 0u)
        << notMade.errors;

    tree.Remove(L"out");
    const Ran inside = RunWithArguments({vod, vod + "/Lesson01"});
    EXPECT_EQ(inside.errors.rfind("cuecarry: " + vod + "/Lesson01 lies inside " + vod + ": later runs", 0), 0u)
        << inside.errors;

    if (!native::PermissionsEnforced()) GTEST_SKIP() << "root may make folders whatever the mode bits";
    tree.MakeDir(L"locked");
    ASSERT_EQ(::chmod(Path(L"locked").c_str(), 0555), 0);
    const Ran locked = RunWithArguments({vod, Path(L"locked")});
    const Ran both = RunWithArguments({Path(L"missing"), Path(L"locked")});
    ::chmod(Path(L"locked").c_str(), 0755);
    EXPECT_EQ(locked.status, 2);
    EXPECT_EQ(locked.output, "Cuecarry: copy to path not accessible\n");
    EXPECT_EQ(locked.errors, "cuecarry: " + Path(L"locked") + ": no folder can be made in it: Permission denied\n");
    EXPECT_EQ(both.output, "Cuecarry: starting path not accessible\n");
    EXPECT_EQ(both.errors, "cuecarry: " + Path(L"missing") + ": No such file or directory\n" + locked.errors)
        << "both wrong folders are named";
}

// Every run that walks keeps its record in the user's state folder: the
// folders, every line that standard error has for it, the counts. Where
// the record cannot be written, standard error says so last, and the run
// is what it would have been.
TEST_F(CommandLine, EachRunKeepsItsRecordInTheUsersStateFolder) {
    for (const wchar_t* lesson : {L"Lesson02", L"Lesson03"}) {
        const std::wstring name = std::wstring(lesson) + L".vtt";
        tree.WriteFile(L"media\\VOD\\" + std::wstring(lesson) + L"\\" + name, "WEBVTT\n");
        const std::wstring copy = L"out\\Les_" + std::wstring(lesson).substr(6) + L"\\" + std::wstring(lesson) +
                                  L"\\video\\vtt\\" + name;
        tree.WriteFile(copy, "published");
        tree.SetReadOnly(copy, true);
    }
    tree.MakeDir(L"home");
    const std::string vod = Path(L"media\\VOD"), out = Path(L"out");
    const auto recordIn = [this](const wchar_t* folder) {
        const std::set<std::wstring> names = tree.List(folder);
        EXPECT_EQ(names.size(), 1u) << SystemPath(tree.Path(folder));
        return names.empty() ? std::string() : tree.ReadFile(std::wstring(folder) + L"\\" + *names.begin()).value_or("");
    };
    const struct {
        std::vector<std::string> environment;
        const wchar_t* folder;  // where the record goes
    } cases[] = {
        {{"XDG_STATE_HOME=" + Path(L"state")}, L"state\\cuecarry"},
        // Unset, empty or relative: the home's.
        {{"XDG_STATE_HOME=", "HOME=" + Path(L"home")}, L"home\\.local\\state\\cuecarry"},
        {{"XDG_STATE_HOME=state", "HOME=" + Path(L"home")}, L"home\\.local\\state\\cuecarry"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(SystemPath(tree.Path(c.folder)));
        tree.Remove(L"state");
        tree.Remove(L"home\\.local");
        const Ran ran = RunWithArguments({vod, out}, c.environment);
        EXPECT_EQ(ran.status, 1);
        EXPECT_EQ(std::count(ran.errors.begin(), ran.errors.end(), '\n'), 2) << ran.errors;
        const std::string record = recordIn(c.folder);
        EXPECT_EQ(record.rfind("Cuecarry: the record of a run\nTime: ", 0), 0u) << record;
        EXPECT_NE(record.find("\nStarting folder: " + vod + "\nCopy to folder: " + out + "\n\n" + ran.errors +
                              "\n1 caption file copied.\nCuecarry complete\n\n2 caption files could not be copied.\n"),
                  std::string::npos)
            << record;
    }

    // A dry run says so in its record too.
    tree.Remove(L"state");
    RunWithArguments({"--dry-run", vod, out}, {"XDG_STATE_HOME=" + Path(L"state")});
    const std::string foretold = recordIn(L"state\\cuecarry");
    EXPECT_NE(foretold.find("\n1 caption file would be copied.\nCuecarry complete\n\n2 caption files could not be "
                            "copied.\n\nThis was a dry run: nothing was written.\n"),
              std::string::npos)
        << foretold;

    if (!native::PermissionsEnforced()) GTEST_SKIP() << "root may make folders whatever the mode bits";
    tree.MakeDir(L"locked");
    ASSERT_EQ(::chmod(Path(L"locked").c_str(), 0555), 0);
    const Ran quiet = RunWithArguments({vod, out}, {"XDG_STATE_HOME=" + Path(L"locked")});
    const Ran kept = RunWithArguments({vod, out}, {"XDG_STATE_HOME=" + Path(L"state")});
    ::chmod(Path(L"locked").c_str(), 0755);
    EXPECT_EQ(quiet.status, kept.status);
    EXPECT_EQ(quiet.output, kept.output);
    EXPECT_EQ(quiet.errors, kept.errors + "cuecarry: the record of this run could not be written: " + Path(L"locked") +
                                "/cuecarry: Permission denied\n");
    EXPECT_EQ(tree.List(L"locked"), std::set<std::wstring>());
    // An account without a home keeps none, and says nothing of it.
    const Ran homeless = RunWithArguments({vod, out}, {"XDG_STATE_HOME=", "HOME=" + Path(L"nowhere")});
    EXPECT_EQ(homeless.errors, kept.errors);
    EXPECT_FALSE(tree.Exists(L"nowhere"));
}

// cuecarry-gtk where no display opens shows everything at the terminal, and
// says why first; only a command line that asks for a run gets that far.
TEST_F(CommandLine, TheDesktopProgramSaysWhyItShowsEverythingAtTheTerminal) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{Path(L"media\\VOD"), Path(L"out")}, {"--help"}, {"-x"}}) {
        Program program(Program::Options{0, arguments, {}, {}});
        program.Finish();
        if (arguments.size() == 2) {
            EXPECT_EQ(program.errors.rfind(kFallbackNote, 0), 0u) << program.errors;
        } else {
            EXPECT_EQ(program.errors.find("show at the terminal"), std::string::npos) << program.errors;
        }
    }
}

}  // namespace
