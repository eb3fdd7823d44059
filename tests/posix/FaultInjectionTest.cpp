// Faults that really happen while captions are copied: a full disk, files
// and folders that change under the walk, very large folders, signals, links
// swapped in. The walk's copies, and the system calls inside a copy or a
// folder's creation, are intercepted at link time (--wrap), so a test can
// act at the exact moment between a listing and a copy, or inside a copy.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstring>

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <string>

#include "copy/CaptionCopy.h"
#include "platform/FindListing.h"
#include "platform/posix/files/TemporaryFiles.h"
#include "tests/support/Program.h"
#include "tests/support/SystemPath.h"
#include "tests/support/Outcome.h"
#include "tests/support/TempTree.h"

extern "C" BOOL __real_CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists);
extern "C" int __real_renameat(int fromFolder, const char* from, int toFolder, const char* to);
extern "C" int __real_openat(int folder, const char* path, int flags, ...);
extern "C" int __real_linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags);
extern "C" int __real_access(const char* path, int mode);
extern "C" int __real_fcntl(int fd, int command, ...);
extern "C" int __real_mkdirat(int folder, const char* path, mode_t mode);
extern "C" ssize_t __real_copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset, size_t length,
                                          unsigned flags);

namespace {

// Run before and after each copy of the walk, with the source's path.
std::function<void(const std::wstring&)> beforeCopy;
std::function<void(const std::wstring&)> afterCopy;
// Inside a copy: before and after the rename that puts it in place, before
// the data moves, and right after a temporary file gets its name (named or
// unnamed files alike).
std::function<void()> beforeRename;
std::function<void()> afterRename;
std::function<void()> beforeData;
std::function<void()> afterNaming;
// Before each kernel copy of a source's data, with the source and where the
// call starts in it; and, while it is set, what each such call moved.
std::function<void(int source, off_t at)> beforeDataAt;
struct DataCall {
    off_t at;
    ssize_t moved;
};
std::vector<DataCall> dataCalls;
// Before each read lease is taken.
std::function<void()> beforeLease;
// Makes the file system refuse unnamed files, as FAT and network file
// systems do.
bool noUnnamedFiles = false;
// Makes the kernel refuse to link a file by its descriptor, as older
// kernels do for a process that may not read every folder; counts the names
// given through /proc instead.
bool noLinkByDescriptor = false;
int linksThroughProc = 0;
// Plays a system without /proc, as some containers are.
bool noProc = false;
// Plays a file system without leases, as network file systems are.
bool noLeases = false;
// The named temporary files made, and the latest one's name; the folders
// swept for the named files that killed runs left.
int namedTemporaries = 0;
int sweeps = 0;
std::string latestNamedTemporary;
// Run as a named temporary file is about to be made, before the call.
std::function<void()> beforeNaming;
// Run right after each folder the stand-in makes, with the arguments that
// made it.
std::function<void(int folder, const char* path)> afterMakingFolder;

// Each fault strikes at one moment of one caption's copy, between the walk's
// listing and the copy or inside it: the walk copies one caption at a time
// here, so that the moment is the one each test names.
class Faults : public ::testing::Test {
protected:
    TempTree tree;
    // One caption at a time, unless a test says otherwise.
    int workers = 1;
    void SetUp() override { tree.MakeDir(L"out"); }
    void TearDown() override {
        beforeCopy = nullptr;
        afterCopy = nullptr;
        noUnnamedFiles = false;
        noLinkByDescriptor = false;
        noProc = false;
        noLeases = false;
        beforeNaming = nullptr;
        afterMakingFolder = nullptr;
        beforeDataAt = nullptr;
        beforeLease = nullptr;
        dataCalls.clear();
    }
    CopyOutcome Copy() const { return CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"out"), CopySettings{workers}); }
    // Acts just before (or after) the walk copies the file whose path ends
    // with `name`.
    void Before(const std::wstring& name, std::function<void()> action) { beforeCopy = ForCopyOf(name, action); }
    void After(const std::wstring& name, std::function<void()> action) { afterCopy = ForCopyOf(name, action); }

private:
    static std::function<void(const std::wstring&)> ForCopyOf(const std::wstring& name, std::function<void()> action) {
        return [name, action](const std::wstring& source) {
            if (source.size() >= name.size() && source.compare(source.size() - name.size(), name.size(), name) == 0) {
                action();
            }
        };
    }
};

TEST_F(Faults, DiskFullKeepsTheEarlierCopyAndReportsTheCount) {
    const std::string big(256 * 1024, 'x');  // beyond the limit below
    tree.WriteFile(L"VOD\\Lesson01\\lecture.vtt", "WEBVTT\n" + big);
    tree.WriteFile(L"VOD\\Lesson01\\short.vtt", "WEBVTT\nshort\n");
    tree.WriteFile(L"out\\Les_01\\lecture\\video\\vtt\\lecture.vtt", "WEBVTT\nthe earlier copy\n");

    Program program(Program::Options{64 * 1024, {}, {}, {}});
    program.Send(SystemPath(tree.Path(L"VOD")));
    program.Send("");
    program.Send(SystemPath(tree.Path(L"out")));
    program.Send("");
    EXPECT_EQ(program.Finish(), 1) << "some captions were left behind";

    EXPECT_EQ(OnlyMessage(program.output), "Cuecarry: Cuecarry complete\n\n1 caption file could not be copied.\n");
    EXPECT_EQ(tree.ReadFile(L"out\\Les_01\\lecture\\video\\vtt\\lecture.vtt"), "WEBVTT\nthe earlier copy\n");
    EXPECT_EQ(tree.ReadFile(L"out\\Les_01\\short\\video\\vtt\\short.vtt"), "WEBVTT\nshort\n");
    EXPECT_EQ(tree.List(L"out"), Union({PublishedCaption(L"Les_01", L"lecture.vtt"),
                                        PublishedCaption(L"Les_01", L"short.vtt")}))
        << "no temporary file is left behind";
}

TEST_F(Faults, SourceChangesBetweenListingAndCopy) {
    tree.WriteFile(L"VOD\\Unit\\a.vtt", "WEBVTT\na\n");
    tree.WriteFile(L"VOD\\Unit\\b.vtt", "WEBVTT\nb\n");
    tree.WriteFile(L"VOD\\Unit\\c.vtt", "WEBVTT\nc\n");
    tree.WriteFile(L"out\\Unit_Unit\\b\\video\\vtt\\b.vtt", "earlier b");
    // Removed after the listing saw it; the earlier copy stays.
    Before(L"b.vtt", [this] { tree.Remove(L"VOD\\Unit\\b.vtt"); });

    EXPECT_EQ(Copy(), Outcome(1));

    EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\b\\video\\vtt\\b.vtt"), "earlier b");
    EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\c\\video\\vtt\\c.vtt"), "WEBVTT\nc\n");
    EXPECT_EQ(tree.List(L"out"), Union({PublishedCaption(L"Unit_Unit", L"a.vtt"), PublishedCaption(L"Unit_Unit", L"b.vtt"),
                                        PublishedCaption(L"Unit_Unit", L"c.vtt")}));
}

TEST_F(Faults, ACaptionMadeUnreadableMidWalkIsCounted) {
    if (!native::PermissionsEnforced()) GTEST_SKIP() << "root reads files whatever their mode bits";
    tree.WriteFile(L"VOD\\Unit\\a.vtt", "WEBVTT\na\n");
    tree.WriteFile(L"VOD\\Unit\\b.vtt", "WEBVTT\nb\n");
    Before(L"a.vtt", [this] { ASSERT_EQ(chmod(SystemPath(tree.Path(L"VOD\\Unit\\b.vtt")).c_str(), 0), 0); });

    EXPECT_EQ(Copy(), Outcome(1));

    EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\a\\video\\vtt\\a.vtt"), "WEBVTT\na\n");
    EXPECT_FALSE(tree.Exists(L"out\\Unit_Unit\\b\\video\\vtt\\b.vtt"));
}

TEST_F(Faults, AContentFolderRemovedMidWalkIsPassedOverAndCounted) {
    tree.WriteFile(L"VOD\\Alpha\\a.vtt", "WEBVTT\na\n");
    tree.WriteFile(L"VOD\\Omega\\z.vtt", "WEBVTT\nz\n");
    // Listed after Alpha; gone by the time the walk reaches it.
    Before(L"a.vtt", [this] { tree.Remove(L"VOD\\Omega"); });

    EXPECT_EQ(Copy(), Outcome(0, 1));

    EXPECT_EQ(tree.List(L"out"), Union({PublishedCaption(L"Alp_ha", L"a.vtt"), {L"Ome_ga\\"}}));
}

TEST_F(Faults, ADestinationFolderRemovedMidWalkIsMadeAgain) {
    tree.WriteFile(L"VOD\\Unit\\a.vtt", "WEBVTT\na\n");
    tree.WriteFile(L"VOD\\Unit\\b.vtt", "WEBVTT\nb\n");
    tree.WriteFile(L"VOD\\Unit\\c.vtt", "WEBVTT\nc\n");
    // Removed with a's copy: the attempts for b's caption folder make the
    // content destination again, as they do on Windows.
    After(L"a.vtt", [this] { tree.Remove(L"out\\Unit_Unit"); });
    EXPECT_EQ(Copy(), kAllCopied);
    EXPECT_EQ(tree.List(L"out"), Union({PublishedCaption(L"Unit_Unit", L"b.vtt"), PublishedCaption(L"Unit_Unit", L"c.vtt")}));

    // Removed, with a's copy, once b's caption folder was made: b's copy
    // finds no folder and is counted.
    afterCopy = nullptr;
    Before(L"b.vtt", [this] { tree.Remove(L"out\\Unit_Unit"); });
    EXPECT_EQ(Copy(), Outcome(1));
    EXPECT_EQ(tree.List(L"out"), PublishedCaption(L"Unit_Unit", L"c.vtt"));
}

// A process that watches the destination can swap a folder the run has just
// made for a link to a folder elsewhere, before the run makes the next folder
// below it. Here the swap comes the moment the folder is made: no folder and
// no file may appear where the link leads, and each caption below the swapped
// folder is counted. The first case swaps every folder the run makes, its
// very first ones included: run alone (fault_tests_first_run), those lie
// below folders reached from "/" with nothing held yet.
void SwapForALinkOnceMade(const std::string& name, const std::string& target) {
    afterMakingFolder = [name, target](int folder, const char* path) {
        const char* const slash = std::strrchr(path, '/');
        if (!name.empty() && name != (slash != nullptr ? slash + 1 : path)) return;
        ASSERT_EQ(unlinkat(folder, path, AT_REMOVEDIR), 0) << path;
        ASSERT_EQ(symlinkat(target.c_str(), folder, path), 0) << path;
    };
}

TEST_F(Faults, AFolderSwappedForALinkTheMomentItIsMadeLeadsNothingOutside) {
    tree.WriteFile(L"VOD\\Lesson01\\intro.vtt", "WEBVTT\nintro\n");
    tree.WriteFile(L"VOD\\Lesson01\\outro.vtt", "WEBVTT\noutro\n");
    tree.WriteFile(L"VOD\\Lab\\demo.vtt", "WEBVTT\ndemo\n");
    const struct {
        const char* swapped;  // every folder of that name; "" for every folder made
        int notCopied;
        int contentFoldersNotMade;
    } cases[] = {{"", 3, 2}, {"Les_01", 2, 1}, {"intro", 1, 0}, {"video", 3, 0}, {"vtt", 3, 0}};
    // Its top level only: a folder made there may have become a link too.
    const auto outside = [this] {
        std::set<std::wstring> names;
        for (const native::Entry& entry : native::ListDir(std::wstring(tree.Path(L"elsewhere")))) {
            names.insert(entry.name);
        }
        return names;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.swapped);
        tree.Remove(L"out");
        tree.Remove(L"elsewhere");
        tree.MakeDir(L"out");
        tree.MakeDir(L"elsewhere");
        SwapForALinkOnceMade(c.swapped, SystemPath(tree.Path(L"elsewhere")));
        const CopyOutcome outcome = Copy();
        afterMakingFolder = nullptr;

        EXPECT_EQ(outcome, Outcome(c.notCopied, 0, c.contentFoldersNotMade));
        EXPECT_EQ(outside(), std::set<std::wstring>());
    }

    // The creation that made the swapped folder fails, and so does the next
    // one below it.
    SwapForALinkOnceMade("", SystemPath(tree.Path(L"elsewhere")));
    for (const wchar_t* path : {L"out\\made", L"out\\made\\below"}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(CreateDirectoryW(tree.Path(path), nullptr)) << path;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << path;
    }
    EXPECT_EQ(outside(), std::set<std::wstring>());
}

TEST_F(Faults, ADestinationMadeReadOnlyMidWalkCountsWhatItRefuses) {
    if (!native::PermissionsEnforced()) GTEST_SKIP() << "root writes into folders whatever their mode bits";
    tree.WriteFile(L"VOD\\Unit\\a.vtt", "WEBVTT\na\n");
    tree.WriteFile(L"VOD\\Unit\\b.vtt", "WEBVTT\nb\n");
    tree.WriteFile(L"VOD\\Unit\\c.vtt", "WEBVTT\nc\n");
    // b's caption folder is made before its copy starts; c's can no longer be.
    Before(L"b.vtt", [this] { ASSERT_EQ(chmod(SystemPath(tree.Path(L"out\\Unit_Unit")).c_str(), 0555), 0); });

    EXPECT_EQ(Copy(), Outcome(1));

    EXPECT_EQ(tree.List(L"out"), Union({PublishedCaption(L"Unit_Unit", L"a.vtt"), PublishedCaption(L"Unit_Unit", L"b.vtt")}));
    ASSERT_EQ(chmod(SystemPath(tree.Path(L"out\\Unit_Unit")).c_str(), 0755), 0);
}

// Replaces out\\target.vtt in a child process that `signal` ends inside the
// copy, at the moment `when` names; returns how the child ended. With
// `threadsBefore`, that many threads have each replaced out\\earlier.vtt
// and ended first, and the copy runs on a thread after them.
int CopyEndedBySignal(const TempTree& tree, int signal, std::function<void()>& when, int threadsBefore = 0) {
    const pid_t child = fork();
    if (child == 0) {
        for (int thread = 0; thread < threadsBefore; ++thread) {
            std::thread([&tree] { CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\earlier.vtt"), FALSE); }).join();
        }
        when = [signal] { raise(signal); };
        const auto copy = [&tree] { CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\target.vtt"), FALSE); };
        if (threadsBefore > 0) {
            std::thread(copy).join();
        } else {
            copy();
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

// A signal at any moment of a copy leaves the earlier copy and no temporary
// file, the very moment a temporary file gets its name included. The
// clean-up has a slot for each temporary file in flight, taken for its life
// only: a process that has started more threads than there are slots still
// has one for the next.
TEST_F(Faults, ASignalInsideACopyLeavesTheEarlierCopyAndNoTemporaryFile) {
    tree.WriteFile(L"source.vtt", "WEBVTT\nnew\n");
    struct Case {
        const char* what;
        bool named;                      // no unnamed files: a named temporary file all along
        std::function<void()>* moment;
        int threadsBefore;
    } const cases[] = {
        {"unnamed, while the data moves", false, &beforeData, 0},
        {"unnamed, the moment it is linked under a temporary name", false, &afterNaming, 0},
        {"unnamed, between link and rename", false, &beforeRename, 0},
        {"unnamed, between link and rename, after 80 threads", false, &beforeRename, 80},
        {"named, the moment it is made", true, &afterNaming, 0},
        {"named, while the data moves", true, &beforeData, 0},
        {"named, before the rename", true, &beforeRename, 0},
    };
    for (const Case& c : cases) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(std::string(c.what) + ", signal " + std::to_string(signal));
            tree.WriteFile(L"out\\target.vtt", "earlier");
            tree.WriteFile(L"out\\earlier.vtt", "earlier");
            noUnnamedFiles = c.named;
            const int status = CopyEndedBySignal(tree, signal, *c.moment, c.threadsBefore);
            noUnnamedFiles = false;

            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
            EXPECT_EQ(tree.List(L"out"), (std::set<std::wstring>{L"earlier.vtt", L"target.vtt"}));
            EXPECT_EQ(tree.ReadFile(L"out\\target.vtt"), "earlier");
        }
    }
}

// A name that another process holds already is passed over, and a signal
// that ends the run right then must not take that process's file for one of
// this run's own: neither a new file made under a name (whose handler
// learns the name only once it is made) nor an unnamed file being linked
// under one (whose handler knows the name before, and must look at what it
// leads to).
TEST_F(Faults, ASignalRightAfterANameWasFoundTakenLeavesTheOtherFile) {
    tree.WriteFile(L"source.vtt", "WEBVTT\nnew\n");
    for (const bool named : {true, false}) {
        SCOPED_TRACE(named ? "named" : "unnamed");
        tree.WriteFile(L"out\\target.vtt", "earlier");
        noUnnamedFiles = named;
        const std::string out = SystemPath(tree.Path(L"out")) + "/";
        std::function<void()> whenTaken;
        // Another process takes the very name this run is about to make; the
        // signal comes as the run finds it taken.
        bool taken = false;
        beforeNaming = [&] {
            if (std::exchange(taken, true)) return;
            ASSERT_EQ(close(creat((out + latestNamedTemporary).c_str(), 0644)), 0);
            whenTaken();
        };
        const int status = CopyEndedBySignal(tree, SIGTERM, whenTaken);

        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
        const std::set<std::wstring> left = tree.List(L"out");
        EXPECT_EQ(left.size(), 2u) << "the other process's file stays beside the target";
        EXPECT_EQ(tree.ReadFile(L"out\\target.vtt"), "earlier");
        for (const std::wstring& entry : left) {
            if (entry != L"target.vtt") tree.Remove(L"out\\" + entry);
        }
    }
}

// With several workers, several named temporary files are in flight at
// once: a signal that ends the run removes every one of them, whichever
// thread it reaches.
TEST_F(Faults, ASignalDuringAConcurrentRunLeavesNoTemporaryFile) {
    for (int folder = 0; folder < 8; ++folder) {
        for (int caption = 0; caption < 8; ++caption) {
            tree.WriteFile(L"VOD\\Course" + std::to_wstring(folder) + L"x" + std::to_wstring(folder) + L"\\c" +
                               std::to_wstring(caption) + L".vtt",
                           "WEBVTT\n");
        }
    }
    const pid_t child = fork();
    if (child == 0) {
        noUnnamedFiles = true;
        // Every worker has its named file when the signal comes: the last
        // of the four to start writing sends it while the other three are
        // in flight beside it.
        workers = 4;
        std::atomic<int> inFlight{0};
        beforeData = [&inFlight] {
            if (++inFlight == 4) raise(SIGTERM);
            for (int wait = 0; wait < 2000; ++wait) usleep(1000);
        };
        Copy();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    for (const std::wstring& entry : tree.List(L"out")) {
        EXPECT_EQ(entry.find(L".cuecarry-"), std::wstring::npos) << entry;
    }
    EXPECT_FALSE(tree.List(L"out").empty()) << "the run got as far as making folders";
}

// A signal from outside (kill) reaches whichever thread the kernel picks,
// and the other workers go on meanwhile: at whatever moment of a run that
// replaces earlier copies it comes, with one worker or several, on either
// kind of temporary file, none is left. The signal comes as the third
// caption reaches that moment; the thread that sent it then lets the
// handler, wherever it runs, go first.
TEST_F(Faults, ASignalAtAnyMomentOfAReplacingRunLeavesNoTemporaryFile) {
    for (int folder = 0; folder < 4; ++folder) {
        for (int caption = 0; caption < 6; ++caption) {
            tree.WriteFile(L"VOD\\Course" + std::to_wstring(folder) + L"x\\c" + std::to_wstring(caption) + L".vtt",
                           "WEBVTT\n");
        }
    }
    ASSERT_EQ(Copy(), kAllCopied);
    const std::set<std::wstring> published = tree.List(L"out");
    const struct {
        const char* what;
        std::function<void()>* moment;
    } moments[] = {
        {"as a temporary file gets its name", &afterNaming},
        {"while the data moves", &beforeData},
        {"before the rename", &beforeRename},
        {"after the rename", &afterRename},
    };
    for (const auto& m : moments) {
        for (const bool named : {false, true}) {
            for (const int workers : {1, 4}) {
                SCOPED_TRACE(testing::Message() << m.what << (named ? ", named" : ", unnamed") << ", " << workers
                                                << " workers");
                const pid_t child = fork();
                if (child == 0) {
                    noUnnamedFiles = named;
                    this->workers = workers;
                    std::atomic<int> reached{0};
                    *m.moment = [&reached] {
                        if (++reached != 3) return;
                        kill(getpid(), SIGTERM);
                        usleep(20 * 1000);
                    };
                    Copy();
                    _exit(0);
                }
                int status = 0;
                waitpid(child, &status, 0);
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
                EXPECT_EQ(tree.List(L"out"), published);
                for (const std::wstring& entry : tree.List(L"out")) {
                    if (entry.find(L".cuecarry-") != std::wstring::npos) tree.Remove(L"out\\" + entry);
                }
            }
        }
    }
}

// How an unnamed copy gets its name is settled once per process, by what
// the system allows, so each case runs in a process of its own. A named
// temporary file, which a SIGKILL would leave behind, is the last resort.
TEST_F(Faults, UnnamedCopiesAreNamedByDescriptorOrThroughProcAndNamedFilesOnlyWhereNeither) {
    tree.WriteFile(L"source.vtt", "WEBVTT\nnew\n");
    const struct {
        const char* what;
        bool byDescriptor, proc;
        int linksThroughProc;
        bool namedFiles;
    } cases[] = {
        {"by descriptor", true, true, 0, false},
        {"by descriptor, without /proc", true, false, 0, false},
        {"through /proc", false, true, 2, false},
        {"neither: named files", false, false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tree.WriteFile(L"out\\earlier.vtt", "earlier");
        const pid_t child = fork();
        if (child == 0) {
            posix::testing::SettleNamingAgain();
            noLinkByDescriptor = !c.byDescriptor;
            noProc = !c.proc;
            const bool copied = CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\fresh.vtt"), FALSE) &&
                                CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\earlier.vtt"), FALSE);
            _exit(copied ? linksThroughProc * 2 + (namedTemporaries > 0 ? 1 : 0) : 127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.linksThroughProc * 2 + (c.namedFiles ? 1 : 0));
        EXPECT_EQ(tree.List(L"out"), (std::set<std::wstring>{L"earlier.vtt", L"fresh.vtt"}));
        EXPECT_EQ(tree.ReadFile(L"out\\fresh.vtt"), "WEBVTT\nnew\n");
        EXPECT_EQ(tree.ReadFile(L"out\\earlier.vtt"), "WEBVTT\nnew\n");
        tree.Remove(L"out\\fresh.vtt");
    }
}

pid_t AProcessThatIsGone() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

// A run killed outright leaves its temporary file. The next copy into that
// folder removes such files of this machine that no run holds: at once
// where their process is gone, else once they have rested; and nothing
// else: not a file that a live run holds, whatever its process id looks
// like from here (one in another PID namespace looks gone), nor one of
// another machine, nor anything but a regular file of such a name.
TEST_F(Faults, NamedTemporaryFilesOfKilledRunsAreRemovedByTheNextCopyThere) {
    noUnnamedFiles = true;
    tree.WriteFile(L"source.vtt", "WEBVTT\n");
    tree.WriteFile(L"elsewhere.txt", "kept");
    ASSERT_TRUE(CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\first.vtt"), FALSE));
    // ".cuecarry-MACHINE-PID-N.tmp": this machine's prefix, from the copy's own name.
    const std::size_t counterDash = latestNamedTemporary.rfind('-');
    ASSERT_NE(counterDash, std::string::npos);
    const std::string machine = latestNamedTemporary.substr(0, latestNamedTemporary.rfind('-', counterDash - 1) + 1);
    ASSERT_EQ(machine.rfind(".cuecarry-", 0), 0u) << latestNamedTemporary;
    const std::string gone = std::to_string(AProcessThatIsGone());
    const std::string alive = std::to_string(getppid());
    const std::string out = SystemPath(tree.Path(L"out")) + "/";

    const std::string ofAGoneRun = machine + gone + "-0.tmp";
    const std::string ofALiveRun = machine + alive + "-0.tmp";  // left by an earlier process of that id
    const std::string held = machine + gone + "-7.tmp";         // a live run in another PID namespace
    const std::string kept[] = {held, ".cuecarry-another.machine-" + gone + "-0.tmp", machine + gone + "-x.tmp",
                                machine + gone + "-0.tmp.old", machine + "99999999999-0.tmp"};
    for (const std::string& name : kept) ASSERT_EQ(close(creat((out + name).c_str(), 0644)), 0) << name;
    for (const std::string& name : {ofAGoneRun, ofALiveRun}) ASSERT_EQ(close(creat((out + name).c_str(), 0644)), 0);
    ASSERT_EQ(mkdir((out + machine + gone + "-1.tmp").c_str(), 0755), 0);
    ASSERT_EQ(symlink("../elsewhere.txt", (out + machine + gone + "-2.tmp").c_str()), 0);
    // The live run holds its file as runs do.
    const int writing = open((out + held).c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writing, 0);
    posix::HoldWhileWriting(writing);
    const auto left = [this] {
        std::set<std::string> names;
        for (const std::wstring& entry : tree.List(L"out")) names.insert(SystemPath(CString(entry.c_str())));
        return names;
    };
    // A thread sweeps a folder once, so as a new run would, another thread
    // copies each time.
    const auto copyAsANewRun = [this](const wchar_t* target) {
        std::thread([this, target] { ASSERT_TRUE(CopyFileW(tree.Path(L"source.vtt"), tree.Path(target), FALSE)); })
            .join();
    };

    // Just made: the file whose process is gone goes at once.
    copyAsANewRun(L"out\\second.vtt");
    std::set<std::string> expected{"first.vtt", "second.vtt", machine + gone + "-1.tmp/", machine + gone + "-2.tmp",
                                   ofALiveRun};
    expected.insert(std::begin(kept), std::end(kept));
    EXPECT_EQ(left(), expected);

    // Once it has rested, the one whose process id is taken goes too.
    posix::testing::TakeTemporariesAsLeftAfter(-1);
    copyAsANewRun(L"out\\third.vtt");
    posix::testing::TakeTemporariesAsLeftAfter(60);
    expected.erase(ofALiveRun);
    expected.insert("third.vtt");
    EXPECT_EQ(left(), expected);
    EXPECT_EQ(tree.ReadFile(L"elsewhere.txt"), "kept");
    close(writing);
}

// Whichever kind of temporary file a run killed outright left, the next run
// into that folder removes it, whichever kind it makes itself: the run's
// process is gone, and nothing holds the file.
TEST_F(Faults, AFreshTemporaryFileOfAKilledRunGoesWithTheNextRunIntoItsFolder) {
    tree.WriteFile(L"source.vtt", "WEBVTT\nnew\n");
    for (const bool killedNamed : {false, true}) {
        for (const bool nextNamed : {false, true}) {
            SCOPED_TRACE(testing::Message() << (killedNamed ? "named" : "unnamed") << " then "
                                            << (nextNamed ? "named" : "unnamed"));
            tree.WriteFile(L"out\\target.vtt", "earlier");
            noUnnamedFiles = killedNamed;
            const int status = CopyEndedBySignal(tree, SIGKILL, afterNaming);
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
            ASSERT_EQ(tree.List(L"out").size(), 2u) << "the killed run's temporary file beside its target";

            const pid_t next = fork();
            if (next == 0) {
                noUnnamedFiles = nextNamed;
                _exit(CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\other.vtt"), FALSE) ? 0 : 1);
            }
            int nextStatus = -1;
            waitpid(next, &nextStatus, 0);
            EXPECT_EQ(nextStatus, 0);
            EXPECT_EQ(tree.List(L"out"), (std::set<std::wstring>{L"other.vtt", L"target.vtt"}));
            tree.Remove(L"out\\other.vtt");
        }
    }
}

// On a network share every question is a round trip. Named copies sweep a
// folder for the files killed runs left once a run where it changed since
// its target took its place, and not at all a folder the run has just made;
// and in such a folder they look for no target. A
// read-only copy made earlier in the run still refuses the next.
TEST_F(Faults, NamedCopiesSweepEachFolderOnceAndNoneTheRunMade) {
    noUnnamedFiles = true;
    for (const wchar_t* file : {L"Zelvora\\Unit\\Week1\\a.vtt", L"Zelvora\\Unit\\Week1\\a.VTT",
                                L"Zelvora\\Unit\\Week1\\b.vtt", L"Zelvora\\Unit\\Week2\\b.vtt"}) {
        tree.WriteFile(file, SystemPath(file));
    }
    tree.SetReadOnly(L"Zelvora\\Unit\\Week1\\b.vtt", true);
    const auto copy = [this] { return CopyCaptionTree(tree.Path(L"Zelvora"), tree.Path(L"out"), CopySettings{workers}); };
    sweeps = 0;
    EXPECT_EQ(copy(), Outcome(1)) << "Week2's b.vtt meets the read-only copy of Week1's";
    EXPECT_EQ(sweeps, 0) << "every folder was made by the run";
    EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\b\\video\\vtt\\b.vtt"), SystemPath(L"Zelvora/Unit/Week1/b.vtt"));

    tree.SetReadOnly(L"Zelvora\\Unit\\Week1\\b.vtt", false);
    tree.SetReadOnly(L"out\\Unit_Unit\\b\\video\\vtt\\b.vtt", false);
    sweeps = 0;
    EXPECT_EQ(copy(), Outcome(0));
    EXPECT_EQ(sweeps, 1) << "a's folder, where a.VTT took its place after a.vtt, once whatever the captions in "
                            "it; not b's, unchanged since its caption took its place";
    EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\b\\video\\vtt\\b.vtt"), SystemPath(L"Zelvora/Unit/Week2/b.vtt"));
}

// A source written to while it is copied is copied again after a rest, and
// counted only when it is still being written after a few tries; the
// earlier copy stays until a whole one takes its place. Either the kernel
// tells of the writer (a read lease, broken when a writer opens the file), or,
// on a file system without leases, the time stamps do.
TEST_F(Faults, ASourceWrittenToDuringItsCopyIsCopiedAgainOrCounted) {
    const std::string path = SystemPath(tree.Path(L"VOD\\Unit\\a.vtt"));
    // Rewrites the source in place, same size, from another process, which
    // waits while this one holds a lease on it.
    const auto rewrite = [&path](const char* content) {
        const pid_t writer = fork();
        if (writer == 0) {
            // As an unrelated writer: holding the copy's source open, as
            // forking leaves it, would keep its lease alive.
            close_range(3, ~0U, 0);
            FILE* file = std::fopen(path.c_str(), "r+b");
            _exit(file != nullptr && std::fputs(content, file) >= 0 && std::fclose(file) == 0 ? 0 : 1);
        }
        // Long enough for the writer to open the file, or to wait on the lease.
        usleep(100 * 1000);
        return writer;
    };
    const struct {
        bool leases;
        int writes;  // at how many of the copies the source is rewritten
        CopyOutcome outcome;
        const char* published;
    } cases[] = {
        {true, 1, kAllCopied, "WEBVTT\nnew\n"},
        {false, 1, kAllCopied, "WEBVTT\nnew\n"},
        {true, 4, Outcome(1), "earlier"},
        {false, 4, Outcome(1), "earlier"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.leases ? "with" : "without") << " leases, " << c.writes << " writes");
        tree.WriteFile(L"VOD\\Unit\\a.vtt", "WEBVTT\nold\n");
        tree.WriteFile(L"out\\Unit_Unit\\a\\video\\vtt\\a.vtt", "earlier");
        noLeases = !c.leases;
        int writes = c.writes;
        std::vector<pid_t> writers;
        beforeData = [&] {
            if (writes-- > 0) writers.push_back(rewrite(writes % 2 == 0 ? "WEBVTT\nnew\n" : "WEBVTT\nNEW\n"));
        };
        EXPECT_EQ(Copy(), c.outcome);
        beforeData = nullptr;
        for (const pid_t writer : writers) {
            int status = -1;
            EXPECT_EQ(waitpid(writer, &status, 0), writer);
            EXPECT_EQ(status, 0) << "the writer got to write";
        }
        EXPECT_EQ(tree.ReadFile(L"out\\Unit_Unit\\a\\video\\vtt\\a.vtt"), c.published);
    }
}

// A writer that opens a source while it is copied under a lease waits for
// the copy to see it come, not for the copy to end: the copy stops, gives
// the lease up, and the source is copied again after a rest, whole, as the
// writer left it. The writer comes as the first part of the data moves; by
// then the kernel has told the copy.
TEST_F(Faults, AWriterOfALeasedSourceWaitsForTheCopyToStopNotToEnd) {
    const std::string before = "WEBVTT\n" + std::string((32 << 20) - 7, 'a');  // many parts of a copy
    std::string after = before;
    after.replace(7, 3, "new");
    tree.WriteFile(L"source.vtt", before);
    tree.WriteFile(L"out\\target.vtt", "earlier");
    const std::string path = SystemPath(tree.Path(L"source.vtt"));
    pid_t writer = -1;
    beforeDataAt = [&](int source, off_t) {
        if (writer != -1) return;
        writer = fork();
        if (writer == 0) {
            // As an unrelated writer: holding the copy's source open, as
            // forking leaves it, would keep its lease alive.
            close_range(3, ~0U, 0);
            const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
            _exit(fd >= 0 && pwrite(fd, "new", 3, 7) == 3 && close(fd) == 0 ? 0 : 1);
        }
        // Until the writer waits on the lease: the kernel has then told the
        // thread that holds it.
        for (int wait = 0; wait < 10000 && fcntl(source, F_GETLEASE) == F_RDLCK; ++wait) usleep(1000);
    };
    // The next try waits until the writer is done, so that it finds the
    // source as the writer left it.
    int writerStatus = -1;
    beforeLease = [&] {
        if (writer > 0 && writerStatus == -1) waitpid(writer, &writerStatus, 0);
    };

    EXPECT_TRUE(CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\target.vtt"), FALSE));

    EXPECT_EQ(writerStatus, 0) << "the writer opened the source and wrote";
    // Each try starts at the source's beginning.
    std::vector<off_t> moved;
    for (const DataCall& call : dataCalls) {
        if (call.at == 0) moved.push_back(0);
        moved.back() += call.moved;
    }
    ASSERT_EQ(moved.size(), 2u) << "the copy was tried again";
    EXPECT_LT(moved[0], static_cast<off_t>(before.size()) / 2) << "the first try stopped when the writer came";
    EXPECT_EQ(moved[1], static_cast<off_t>(after.size()));
    EXPECT_TRUE(tree.ReadFile(L"out\\target.vtt") == after) << "the source as the writer left it, whole";
}

TEST_F(Faults, WithoutUnnamedFilesCopiesStillReplaceAndRefuse) {
    noUnnamedFiles = true;
    tree.WriteFile(L"source.vtt", "WEBVTT\nnew\n");
    tree.WriteFile(L"out\\earlier.vtt", "earlier");
    tree.WriteFile(L"out\\locked.vtt", "locked");
    tree.SetReadOnly(L"out\\locked.vtt", true);

    EXPECT_TRUE(CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\fresh.vtt"), FALSE));
    EXPECT_TRUE(CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\earlier.vtt"), FALSE));
    EXPECT_FALSE(CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\locked.vtt"), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(CopyFileW(tree.Path(L"source.vtt"), tree.Path(L"out\\earlier.vtt"), TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    EXPECT_EQ(tree.List(L"out"), (std::set<std::wstring>{L"earlier.vtt", L"fresh.vtt", L"locked.vtt"}));
    EXPECT_EQ(tree.ReadFile(L"out\\fresh.vtt"), "WEBVTT\nnew\n");
    EXPECT_EQ(tree.ReadFile(L"out\\earlier.vtt"), "WEBVTT\nnew\n");
    EXPECT_EQ(tree.ReadFile(L"out\\locked.vtt"), "locked");
}

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(Faults, AFolderOfAHundredThousandEntries) {
    const int entries = 100000;
    const std::string folder = SystemPath(tree.Path(L"VOD\\Big"));
    tree.MakeDir(L"VOD\\Big");
    for (int i = 0; i < entries; ++i) {
        // Every thousandth entry is a caption; the rest are video segments.
        const std::string name = folder + "/" + std::to_string(100000 + i) + (i % 1000 == 0 ? ".vtt" : ".ts");
        FILE* file = std::fopen(name.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
    }

    // The listing is a snapshot: entries added while it is open don't show,
    // and every entry that was there comes exactly once, in order.
    const long before = PeakResidentKiB();
    FindListing listing(tree.Path(L"VOD\\Big\\*"));
    ASSERT_TRUE(listing.IsOpen());
    tree.WriteFile(L"VOD\\Big\\000-added-later.vtt", "WEBVTT\n");
    int seen = 0;
    std::wstring previous;
    do {
        const std::wstring name = listing.Entry().cFileName;
        if (name == L"." || name == L"..") continue;
        EXPECT_LT(previous, name);
        previous = name;
        ++seen;
    } while (listing.Next());
    EXPECT_EQ(seen, entries);
    // The snapshot's memory is of the order of the names it holds, a few
    // megabytes, not of every entry's full record.
    EXPECT_LT(PeakResidentKiB() - before, 32 * 1024);

    EXPECT_EQ(Copy(), kAllCopied);
    EXPECT_EQ(tree.List(L"out\\Big_Big").size(), 4 * 101u) << "100 captions and the one added later, 4 entries each";
}

TEST_F(Faults, ASecondRunOverAnUnchangedTreeChangesNothing) {
    tree.WriteFile(L"VOD\\Lesson01\\intro.vtt", "WEBVTT\nintro\n");
    tree.WriteFile(L"VOD\\Lessons01\\intro.vtt", "WEBVTT\nlater\n");
    tree.WriteFile(L"VOD\\Lab\\demo.VTT", "WEBVTT\ndemo\n");
    tree.MakeDir(L"VOD\\out");

    auto snapshot = [this] {
        std::string all;
        for (const std::wstring& entry : tree.List()) {
            all += SystemPath(CString(entry.c_str())) + "=" + tree.ReadFile(entry).value_or("<folder>") + "\n";
        }
        return all;
    };
    // The destination sits inside the source: it is walked like any other
    // content folder, and the run still ends with a predictable tree.
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"VOD\\out"), CopySettings{workers}), kAllCopied);
    const std::string first = snapshot();
    EXPECT_EQ(CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"VOD\\out"), CopySettings{workers}), kAllCopied);
    EXPECT_EQ(snapshot(), first);
    EXPECT_EQ(tree.List(L"VOD\\out"), Union({{L"out_out\\"}, PublishedCaption(L"Les_01", L"intro.vtt"),
                                             PublishedCaption(L"Lab_Lab", L"demo.VTT")}));
    EXPECT_EQ(tree.ReadFile(L"VOD\\out\\Les_01\\intro\\video\\vtt\\intro.vtt"), "WEBVTT\nlater\n");
}

}  // namespace

extern "C" BOOL __wrap_CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists) {
    if (beforeCopy) beforeCopy(existing);
    const BOOL copied = __real_CopyFileW(existing, target, failIfExists);
    if (afterCopy) afterCopy(existing);
    return copied;
}

extern "C" int __wrap_renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    if (beforeRename) beforeRename();
    const int renamed = __real_renameat(fromFolder, from, toFolder, to);
    if (afterRename) afterRename();
    return renamed;
}

bool IsNamedTemporary(const char* name) { return std::string(name).rfind(".cuecarry-", 0) == 0; }

extern "C" int __wrap_openat(int folder, const char* path, int flags, ...) {
    if (noUnnamedFiles && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    if (std::string(path) == "." && (flags & O_DIRECTORY) != 0) ++sweeps;
    const bool naming = (flags & O_CREAT) != 0 && IsNamedTemporary(path);
    if (naming) {
        ++namedTemporaries;
        latestNamedTemporary = path;
        if (beforeNaming) beforeNaming();
    }
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    const int opened = __real_openat(folder, path, flags, mode);
    if (opened >= 0 && naming && afterNaming) afterNaming();
    return opened;
}

extern "C" int __wrap_linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    if (noLinkByDescriptor && (flags & AT_EMPTY_PATH) != 0) {
        errno = ENOENT;
        return -1;
    }
    if (IsNamedTemporary(to)) {
        latestNamedTemporary = to;
        if (beforeNaming) beforeNaming();
    }
    const int linked = __real_linkat(fromFolder, from, toFolder, to, flags);
    if (linked == 0 && noLinkByDescriptor && std::string(from).rfind("/proc/self/fd/", 0) == 0) ++linksThroughProc;
    if (linked == 0 && IsNamedTemporary(to) && afterNaming) afterNaming();
    return linked;
}

extern "C" int __wrap_fcntl(int fd, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    const long argument = va_arg(arguments, long);
    va_end(arguments);
    if (noLeases && command == F_SETLEASE) {
        errno = EINVAL;
        return -1;
    }
    if (command == F_SETLEASE && argument == F_RDLCK && beforeLease) beforeLease();
    return __real_fcntl(fd, command, argument);
}

extern "C" int __wrap_access(const char* path, int mode) {
    if (noProc && std::string(path).rfind("/proc", 0) == 0) {
        errno = ENOENT;
        return -1;
    }
    return __real_access(path, mode);
}

extern "C" int __wrap_mkdirat(int folder, const char* path, mode_t mode) {
    const int made = __real_mkdirat(folder, path, mode);
    if (made == 0 && afterMakingFolder) afterMakingFolder(folder, path);
    return made;
}

extern "C" ssize_t __wrap_copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset, size_t length,
                                          unsigned flags) {
    if (beforeData) beforeData();
    if (!beforeDataAt) return __real_copy_file_range(in, inOffset, out, outOffset, length, flags);
    beforeDataAt(in, *inOffset);
    const off_t at = *inOffset;
    const ssize_t moved = __real_copy_file_range(in, inOffset, out, outOffset, length, flags);
    dataCalls.push_back({at, moved});
    return moved;
}
