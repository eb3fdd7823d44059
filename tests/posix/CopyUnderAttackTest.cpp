// What a copy keeps and refuses when others act on the same files: a source
// rewritten in place while it is copied, a replaced copy's access control
// list, another run's temporary file in the folder.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/posix/files.h"
#include "tests/support/SystemPath.h"
#include "tests/support/TempTree.h"

namespace {

// A process that rewrites a file in place, as a sync client or a tool that
// regenerates captions does: it opens the file, writes it whole again and
// again for a while, each time with the other of two contents of the same
// size, closes it and rests as long.
class Rewriter {
public:
    Rewriter(const std::string& path, const std::string& first, const std::string& second) {
        pid_ = ::fork();
        if (pid_ != 0) return;
        for (;;) {
            const int fd = ::open(path.c_str(), O_WRONLY);
            const auto restAt = std::chrono::steady_clock::now() + kPhase;
            for (bool odd = false; std::chrono::steady_clock::now() < restAt; odd = !odd) {
                const std::string& content = odd ? second : first;
                if (::pwrite(fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) _exit(1);
            }
            ::close(fd);
            std::this_thread::sleep_for(kPhase);
        }
    }
    ~Rewriter() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    Rewriter(const Rewriter&) = delete;
    Rewriter& operator=(const Rewriter&) = delete;

private:
    static constexpr std::chrono::milliseconds kPhase{100};
    pid_t pid_;
};

// A folder on the memory file system where there is one, else the usual.
std::wstring MemoryFolder() {
    struct stat status;
    return ::stat("/dev/shm", &status) == 0 && S_ISDIR(status.st_mode) && ::access("/dev/shm", W_OK) == 0
               ? L"\\dev\\shm"
               : L"";
}

bool AllOneByte(const std::string& content) {
    return !content.empty() && content.find_first_not_of(content[0]) == std::string::npos;
}

// A write under way when the copy opens its source changes no time stamp
// the copy could compare afterwards: the kernel stamps a write when it
// starts, from a clock that moves in ticks. A copy counted as made must
// still hold one content whole, never part of each.
TEST(CopyUnderAttack, ASourceRewrittenWhileItIsCopiedIsNeverPublishedTorn) {
    // The memory file system stamps writes from the coarse clock alone on
    // many kernels, where a torn copy shows most often.
    TempTree tree(MemoryFolder());
    const std::string first(1 << 20, 'a');
    const std::string second(1 << 20, 'b');
    tree.WriteFile(L"src.vtt", first);
    const Rewriter rewriter(SystemPath(tree.Path(L"src.vtt")), first, second);

    int copied = 0;
    int torn = 0;
    // Copy after copy, through the writer's busy spells and its rests.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < end) {
        if (!CopyFileW(tree.Path(L"src.vtt"), tree.Path(L"copy.vtt"), FALSE)) continue;
        ++copied;
        if (!AllOneByte(tree.ReadFile(L"copy.vtt").value_or(""))) ++torn;
    }
        EXPECT_EQ(torn, 0) << "of " << copied << " copies counted as made";
    EXPECT_GT(copied, 0) << "a source that rests between rewrites is copied";
}

}  // namespace
