// What a copy keeps and refuses when others act on the same files: a source
// rewritten in place while it is copied, a replaced copy's access control
// list, another run's temporary file in the folder.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/posix/Files.h"
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

// An access control list as the kernel keeps it: entries of a tag,
// permission bits and an id, in the kernel's order.
struct AclEntry {
    std::uint16_t tag;
    std::uint16_t permissions;
    std::uint32_t id;
    bool operator==(const AclEntry& other) const {
        return std::tie(tag, permissions, id) == std::tie(other.tag, other.permissions, other.id);
    }
};
using Acl = std::vector<AclEntry>;
enum : std::uint16_t { kOwner = 1, kUser = 2, kOwningGroup = 4, kMask = 0x10, kOthers = 0x20 };
constexpr std::uint32_t kNoId = ~0u;
constexpr char kAccessAcl[] = "system.posix_acl_access";

std::ostream& operator<<(std::ostream& out, const AclEntry& entry) {
    return out << "{" << entry.tag << ", " << std::oct << entry.permissions << std::dec << ", " << entry.id << "}";
}

bool SetAcl(const std::string& path, const Acl& acl) {
    std::string bytes(4, '\0');
    bytes[0] = 2;  // the version
    for (const AclEntry& entry : acl) bytes.append(reinterpret_cast<const char*>(&entry), sizeof entry);
    return ::setxattr(path.c_str(), kAccessAcl, bytes.data(), bytes.size(), 0) == 0;
}

std::optional<Acl> AclOf(const std::string& path) {
    char bytes[1024];
    const ssize_t size = ::getxattr(path.c_str(), kAccessAcl, bytes, sizeof bytes);
    if (size < 4) return std::nullopt;
    Acl acl(static_cast<std::size_t>(size - 4) / sizeof(AclEntry));
    std::memcpy(acl.data(), bytes + 4, acl.size() * sizeof(AclEntry));
    return acl;
}

// A published caption that a web server's account may read through an
// access control list keeps that list when a run replaces it; the owning
// group, which the list's mask kept out, stays out. A read-only source
// takes every write permission away, as it takes the mode's write bits.
TEST(CopyUnderAttack, AReplacementKeepsTheReplacedCopysAccessControlList) {
    TempTree tree;
    constexpr std::uint32_t kServer = 4321;
    const Acl serverMayRead{{kOwner, 06, kNoId}, {kUser, 04, kServer}, {kOwningGroup, 0, kNoId},
                            {kMask, 04, kNoId},  {kOthers, 0, kNoId}};
    const struct {
        mode_t source;
        Acl published;
        mode_t mode;
    } cases[] = {
        {0644, serverMayRead, 0640},
        {0444,
         {{kOwner, 04, kNoId}, {kUser, 04, kServer}, {kOwningGroup, 0, kNoId}, {kMask, 04, kNoId}, {kOthers, 0, kNoId}},
         0440},
    };
    const std::string copy = SystemPath(tree.Path(L"copy.vtt"));
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "source mode " << std::oct << c.source);
        tree.WriteFile(L"src.vtt", "WEBVTT\nnew\n");
        ASSERT_EQ(::chmod(SystemPath(tree.Path(L"src.vtt")).c_str(), c.source), 0);
        tree.WriteFile(L"copy.vtt", "WEBVTT\nearlier\n");
        ASSERT_EQ(::chmod(copy.c_str(), 0600), 0);
        if (!SetAcl(copy, serverMayRead)) GTEST_SKIP() << "this file system keeps no access control lists";

        ASSERT_TRUE(CopyFileW(tree.Path(L"src.vtt"), tree.Path(L"copy.vtt"), FALSE));

        EXPECT_EQ(tree.ReadFile(L"copy.vtt"), "WEBVTT\nnew\n");
        EXPECT_EQ(AclOf(copy), c.published);
        struct stat status;
        ASSERT_EQ(::stat(copy.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, c.mode) << std::oct << (status.st_mode & 0777);
        ::chmod(copy.c_str(), 0600);
    }
}

}  // namespace
