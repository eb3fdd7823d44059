// Whatever the pool, a run ends as one caption at a time in walk order
// does, also where only a POSIX system can try it: a source folder that is a
// link into the destination (the walk would list what the workers are
// making), a limit on open files that leaves room for fewer workers than
// asked, and a limit on threads that starts fewer. The pool then says how
// many it runs, and why.
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "copy/CaptionCopy.h"
#include "tests/support/SystemPath.h"
#include "tests/support/TempTree.h"
#include "tests/support/WalkTranscript.h"

namespace {

// Sets a soft limit for the length of a test, and puts the earlier one back.
class ScopedLimit {
public:
    ScopedLimit(int resource, rlim_t soft) : resource_(resource) {
        ::getrlimit(resource_, &earlier_);
        struct rlimit limit = earlier_;
        limit.rlim_cur = soft;
        applied_ = ::setrlimit(resource_, &limit) == 0;
    }
    ~ScopedLimit() { ::setrlimit(resource_, &earlier_); }
    bool Applied() const { return applied_; }

private:
    int resource_;
    struct rlimit earlier_;
    bool applied_ = false;
};

long OpenDescriptors() {
    long open = 0;
    if (DIR* fds = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(fds)) open += entry->d_name[0] != '.';
        ::closedir(fds);
    }
    return open;
}

// The threads that this user runs now, in every process: what a limit on
// processes counts.
long TasksOfThisUser() {
    long tasks = 0;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return -1;
    while (const dirent* entry = ::readdir(processes)) {
        std::ifstream status(std::string("/proc/") + entry->d_name + "/status");
        long uid = -1;
        long threads = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Uid:", 0) == 0) uid = std::stol(line.substr(4));
            if (line.rfind("Threads:", 0) == 0) threads = std::stol(line.substr(8));
        }
        if (uid == static_cast<long>(::getuid())) tasks += threads;
    }
    ::closedir(processes);
    return tasks;
}

void ExpectSameRunEach(const TempTree& tree, const std::wstring& source, const Ran& sequential,
                       const std::function<void(const std::wstring&)>& prepare) {
    for (int round = 0; round < 4; ++round) {
        for (const int workers : {2, 8, 64}) {
            SCOPED_TRACE(testing::Message() << workers << " workers, round " << round);
            const std::wstring destination = L"run" + std::to_wstring(round) + L"-" + std::to_wstring(workers);
            prepare(destination);
            ExpectSameRun(CopyWith(tree, workers, source, destination), sequential);
        }
    }
}

// A nested tree whose captions are named "cNNN.vtt.vtt": each one's base
// folder, "cNNN.vtt", is named like a caption. A content folder that leads
// into the destination lists those folders as captions once they are made,
// and not before: a walk that lists it while the workers still make them
// sees a different number each time.
TEST(SequentialOutcome, ASourceFolderThatLeadsIntoTheDestinationIsListedAsOneWorkerWouldListIt) {
    struct Link {
        const char* what;
        std::wstring link;  // in the source
        std::wstring into;  // below the destination; empty for the destination itself
    };
    for (const Link& link : {Link{"a content folder that leads to the destination", L"Zelvora\\Linked", L""},
                             Link{"a segment folder that leads into it", L"Zelvora\\Beta\\Linked", L"\\Alp_ha"}}) {
        SCOPED_TRACE(link.what);
        TempTree tree;
        for (int caption = 0; caption < 200; ++caption) {
            tree.WriteFile(L"Zelvora\\Alpha\\S\\c" + std::to_wstring(100 + caption) + L".vtt.vtt", "WEBVTT\n");
        }
        tree.MakeDir(L"Zelvora\\Beta");
        const auto prepare = [&](const std::wstring& destination) {
            tree.MakeDir(destination + link.into);
            const std::string linked = SystemPath(tree.Path(link.link));
            ::unlink(linked.c_str());
            ASSERT_EQ(::symlink(SystemPath(tree.Path(destination + link.into)).c_str(), linked.c_str()), 0);
        };
        prepare(L"sequential");
        const Ran sequential = CopyWith(tree, 1, L"Zelvora", L"sequential");
        // What the comparison rests on: the captions' folders listed as
        // captions, and failing as folders do.
        ASSERT_EQ(sequential.outcome.captionsCopied, 200);
        ASSERT_EQ(sequential.outcome.captionsNotCopied, 200);
        ExpectSameRunEach(tree, L"Zelvora", sequential, prepare);
    }
}

// A destination twelve folders deep: each worker holds each of them open.
// Where the limit on open files leaves room for one worker only, a pool of
// eight ends as one worker does, and says how many it ran.
TEST(SequentialOutcome, APoolWithinTheLimitOnOpenFilesEndsAsOneWorker) {
    TempTree tree;
    for (int caption = 0; caption < 40; ++caption) {
        tree.WriteFile(L"VOD\\Lesson" + std::to_wstring(caption % 4) + L"1\\c" + std::to_wstring(caption) + L".vtt",
                       "WEBVTT\n");
    }
    const std::wstring deep = L"a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k\\l";
    tree.MakeDir(L"sequential\\" + deep);
    const Ran sequential = CopyWith(tree, 1, L"VOD", L"sequential\\" + deep);
    ASSERT_EQ(sequential.outcome.captionsCopied, 40);
    for (const long room : {40L, 120L}) {
        SCOPED_TRACE(testing::Message() << room << " descriptors to spare");
        const std::wstring destination = L"run" + std::to_wstring(room) + L"\\" + deep;
        tree.MakeDir(destination);
        Ran run;
        {
            const ScopedLimit limit(RLIMIT_NOFILE, static_cast<rlim_t>(OpenDescriptors() + room));
            ASSERT_TRUE(limit.Applied());
            run = CopyWith(tree, 8, L"VOD", destination);
        }
        ExpectSameRun(run, sequential);
        EXPECT_NE(run.pool.find(L" of 8 (open files)"), std::wstring::npos) << run.pool;
        // Room for a few is used: fewer than asked, yet more than one.
        if (room > 100) {
            EXPECT_NE(run.pool.rfind(L"1 of", 0), 0u) << run.pool;
        }
    }
}

// Under a limit on processes and threads that lets only a few more start,
// the pool of eight works with those and ends as one worker does.
TEST(SequentialOutcome, APoolOfTheThreadsThatCouldStartEndsAsOneWorker) {
    TempTree tree;
    for (int caption = 0; caption < 40; ++caption) {
        tree.WriteFile(L"VOD\\Lesson" + std::to_wstring(caption % 4) + L"1\\c" + std::to_wstring(caption) + L".vtt",
                       "WEBVTT\n");
    }
    tree.MakeDir(L"sequential");
    const Ran sequential = CopyWith(tree, 1, L"VOD", L"sequential");
    tree.MakeDir(L"run");
    Ran run;
    {
        const ScopedLimit limit(RLIMIT_NPROC, static_cast<rlim_t>(TasksOfThisUser() + 2));
        ASSERT_TRUE(limit.Applied());
        run = CopyWith(tree, 8, L"VOD", L"run");
    }
    if (run.pool.empty() && ::geteuid() == 0) GTEST_SKIP() << "root is not held to a limit on processes";
    ExpectSameRun(run, sequential);
    EXPECT_NE(run.pool.find(L" of 8 (threads)"), std::wstring::npos) << run.pool;
}

}  // namespace
