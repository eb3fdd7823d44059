// Kernel file services of the Linux stand-in, on real temporary folders.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "platform/posix/Files.h"
#include "platform/posix/files/Errors.h"
#include "platform/posix/Names.h"
#include "tests/support/SystemPath.h"
#include "tests/support/TempTree.h"

namespace {

using Names = std::vector<std::wstring>;

struct Listing {
    Names names;
    std::vector<DWORD> attributes;
    DWORD error;  // FindFirstFileW's when it failed, else FindNextFileW's at the end
};

Listing ListAll(const std::wstring& query) {
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(query.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return {{}, {}, GetLastError()};
    Listing listing{{}, {}, 0};
    do {
        listing.names.push_back(data.cFileName);
        listing.attributes.push_back(data.dwFileAttributes);
    } while (FindNextFileW(find, &data));
    listing.error = GetLastError();
    EXPECT_TRUE(FindClose(find));
    return listing;
}

class FilesTest : public ::testing::Test {
protected:
    ~FilesTest() override { native::RemoveAll(root_); }

    std::wstring Path(const std::wstring& relative) const { return root_ + L"\\" + relative; }
    void Write(const std::wstring& relative, const std::string& bytes) const {
        native::WriteFile(Path(relative), bytes);
    }
    std::string Read(const std::wstring& relative) const { return native::ReadFile(Path(relative)).value_or("<none>"); }
    std::set<std::wstring> Folder(const std::wstring& relative = L"") const {
        std::set<std::wstring> names;
        for (const native::Entry& entry : native::ListDir(Path(relative))) names.insert(entry.name);
        return names;
    }

    const std::wstring root_ = native::MakeTempFolder();
};

// --- Listings ---------------------------------------------------------------

TEST_F(FilesTest, ListsDotsFirstThenInUpperCaseOrdinalOrder) {
    // "-" (0x2D) sorts below "." yet comes after the dots. Upper-cased: "A"
    // (0x41) < "B" < "Z" (0x5A) < "_" (0x5F) < U+00C4, and a surrogate pair
    // (0xD83D) before U+FF3A although its character is higher.
    for (const wchar_t* name :
         {L"\xFF5A", L"_x", L"b", L"Z", L"B_", L"\xD83D\xDE00", L"aa", L"-", L"Ab", L"\x00E4", L"a"}) {
        Write(name, "");
    }
    const Listing listing = ListAll(Path(L"*"));
    EXPECT_EQ(listing.names, (Names{L".", L"..", L"-", L"a", L"aa", L"Ab", L"b", L"B_", L"Z", L"_x", L"\x00E4",
                                    L"\xD83D\xDE00", L"\xFF5A"}));
    EXPECT_EQ(listing.error, static_cast<DWORD>(ERROR_NO_MORE_FILES));
}

TEST_F(FilesTest, WildcardsMatchWithoutRegardToCase) {
    for (const wchar_t* name : {L"a.VTT", L"a.vttx", L".vtt", L"a.vtt.bak", L"c.Vtt", L"vtt", L"avtt"}) Write(name, "");
    native::MakeDir(Path(L"x.vtt"));
    const std::pair<const wchar_t*, Names> cases[] = {
        {L"*.vtt", {L".vtt", L"a.VTT", L"c.Vtt", L"x.vtt"}},
        {L"*.VtT", {L".vtt", L"a.VTT", L"c.Vtt", L"x.vtt"}},
        {L"?.vtt", {L"a.VTT", L"c.Vtt", L"x.vtt"}},
        {L"A*", {L"a.VTT", L"a.vtt.bak", L"a.vttx", L"avtt"}},
        {L"*vtt", {L".vtt", L"a.VTT", L"avtt", L"c.Vtt", L"vtt", L"x.vtt"}},
        {L"*.*", {L".", L"..", L".vtt", L"a.VTT", L"a.vtt.bak", L"a.vttx", L"avtt", L"c.Vtt", L"vtt", L"x.vtt"}},
    };
    for (const auto& [pattern, names] : cases) EXPECT_EQ(ListAll(Path(pattern)).names, names) << pattern;
}

TEST_F(FilesTest, ReportsAttributesSizeAndLastWriteTime) {
    Write(L"plain.vtt", "12345");
    Write(L"locked.vtt", "");
    native::SetReadOnly(Path(L"locked.vtt"), true);
    native::MakeDir(Path(L"folder.vtt"));
    ASSERT_EQ(::symlink("folder.vtt", SystemPath(Path(L"link.vtt")).c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", SystemPath(Path(L"dangling.vtt")).c_str()), 0);
    const Listing listing = ListAll(Path(L"*.vtt"));
    EXPECT_EQ(listing.names, (Names{L"dangling.vtt", L"folder.vtt", L"link.vtt", L"locked.vtt", L"plain.vtt"}));
    EXPECT_EQ(listing.attributes, (std::vector<DWORD>{FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_DIRECTORY,
                                                      FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_READONLY,
                                                      FILE_ATTRIBUTE_NORMAL}));

    // 2001-09-09 01:46:40.123456789 UTC is 126444736001234567 ticks since 1601.
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, SystemPath(Path(L"plain.vtt")).c_str(), times, 0), 0);
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(Path(L"plain.vtt").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);
    EXPECT_EQ(std::make_pair(data.nFileSizeHigh, data.nFileSizeLow), std::make_pair(DWORD{0}, DWORD{5}));
    EXPECT_EQ((std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime,
              126444736001234567u);
}

TEST_F(FilesTest, LooksUpAnExactNameWithoutWildcards) {
    Write(L"sub\\intro.vtt", "");
    const Listing file = ListAll(Path(L"sub\\intro.vtt"));
    EXPECT_EQ(file.names, Names{L"intro.vtt"});
    EXPECT_EQ(file.error, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_EQ(ListAll(Path(L"sub")).attributes, std::vector<DWORD>{FILE_ATTRIBUTE_DIRECTORY});
    // Doubled separators and forward slashes read as one separator.
    EXPECT_EQ(ListAll(root_ + L"\\\\sub\\\\*.vtt").names, Names{L"intro.vtt"});
    EXPECT_EQ(ListAll(root_ + L"/sub/intro.vtt").names, Names{L"intro.vtt"});
}

TEST_F(FilesTest, FailedListingsReportWin32Codes) {
    Write(L"file.txt", "");
    native::MakeDir(Path(L"empty"));
    const std::pair<std::wstring, DWORD> cases[] = {
        {Path(L""), ERROR_FILE_NOT_FOUND},  // empty pattern
        {Path(L"missing"), ERROR_FILE_NOT_FOUND},
        {Path(L"empty\\*.vtt"), ERROR_FILE_NOT_FOUND},
        {Path(L"missing\\x"), ERROR_PATH_NOT_FOUND},
        {Path(L"missing\\*"), ERROR_PATH_NOT_FOUND},
        {Path(L"file.txt\\*"), ERROR_PATH_NOT_FOUND},
        {Path(L"file.txt\\x"), ERROR_PATH_NOT_FOUND},
        {Path(L"bad\xD800name"), ERROR_INVALID_NAME},
        {Path(std::wstring(300, L'n')), ERROR_FILENAME_EXCED_RANGE},
    };
    for (const auto& [query, error] : cases) {
        const Listing listing = ListAll(query);
        EXPECT_TRUE(listing.names.empty()) << query;
        EXPECT_EQ(listing.error, error) << query;
    }
}

TEST_F(FilesTest, UnreadableFolderIsAccessDenied) {
    if (!native::PermissionsEnforced()) GTEST_SKIP() << "root reads every folder whatever its mode bits";
    native::MakeDir(Path(L"closed"));
    ASSERT_EQ(::chmod(SystemPath(Path(L"closed")).c_str(), 0), 0);
    EXPECT_EQ(ListAll(Path(L"closed\\*")).error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(FilesTest, ListingIsASnapshotThatHoldsNoDescriptor) {
    Write(L"a", "");
    const std::size_t descriptors = native::ListDir(L"\\proc\\self\\fd").size();
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(Path(L"*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(native::ListDir(L"\\proc\\self\\fd").size(), descriptors);
    Write(L"b", "");
    Names names = {data.cFileName};
    while (FindNextFileW(find, &data)) names.push_back(data.cFileName);
    EXPECT_TRUE(FindClose(find));
    EXPECT_EQ(names, (Names{L".", L"..", L"a"}));
}

TEST_F(FilesTest, NamesWithABackslashOrUndecodableBytesListAndCopyByteExact) {
    for (const char* name : {"a\\b.vtt", "caf\xE9.vtt"}) {
        const int fd = ::open((SystemPath(root_) + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    // The backslash inside the name is no separator in the Windows form.
    const Names names = ListAll(Path(L"*.vtt")).names;
    ASSERT_EQ(names, (Names{L"a\xDC5C" L"b.vtt", L"caf\xDCE9.vtt"}));
    native::MakeDir(Path(L"copies"));
    for (const std::wstring& name : names) {
        EXPECT_TRUE(CopyFileW(Path(name).c_str(), Path(L"copies\\" + name).c_str(), FALSE)) << name;
    }
    struct stat status;
    EXPECT_EQ(::stat((SystemPath(Path(L"copies")) + "/a\\b.vtt").c_str(), &status), 0);
    EXPECT_EQ(::stat((SystemPath(Path(L"copies")) + "/caf\xE9.vtt").c_str(), &status), 0);
}

TEST(FindHandleTest, BadHandlesAreRefused) {
    WIN32_FIND_DATAW data;
    for (HANDLE handle : {INVALID_HANDLE_VALUE, HANDLE{nullptr}}) {
        SetLastError(0);
        EXPECT_FALSE(FindNextFileW(handle, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(0);
        EXPECT_FALSE(FindClose(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

// --- Directory creation -----------------------------------------------------

TEST_F(FilesTest, CreateDirectoryReportsWin32Codes) {
    Write(L"file.txt", "");
    native::MakeDir(Path(L"real"));
    ASSERT_EQ(::symlink("real", SystemPath(Path(L"link")).c_str()), 0);
    const std::pair<std::wstring, DWORD> cases[] = {
        {Path(L"new"), ERROR_SUCCESS},
        {Path(L"new\\inner\\"), ERROR_SUCCESS},
        {Path(L"new"), ERROR_ALREADY_EXISTS},
        {Path(L"file.txt"), ERROR_ALREADY_EXISTS},
        {Path(L"missing\\x"), ERROR_PATH_NOT_FOUND},
        {Path(L"file.txt\\x"), ERROR_PATH_NOT_FOUND},
        {L"", ERROR_PATH_NOT_FOUND},
        {Path(L"bad\xDC00"), ERROR_INVALID_NAME},
        {Path(L"link\\x"), ERROR_ACCESS_DENIED},  // never through a link
        {Path(L"link"), ERROR_ALREADY_EXISTS},
        {Path(L"real\\..\\dotted"), ERROR_SUCCESS},  // ".." taken back by name, as Windows does
    };
    for (const auto& [path, error] : cases) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(CreateDirectoryW(path.c_str(), nullptr), error == ERROR_SUCCESS ? TRUE : FALSE) << path;
        EXPECT_EQ(GetLastError(), error) << path;
    }
    EXPECT_EQ(native::IsDir(Path(L"new\\inner")), std::optional<bool>(true));
    EXPECT_EQ(native::IsDir(Path(L"dotted")), std::optional<bool>(true));
    EXPECT_TRUE(native::ListDir(Path(L"real")).empty());
}

// --- Copies -----------------------------------------------------------------

TEST_F(FilesTest, CopyReplacesContentAndKeepsTime) {
    Write(L"src.vtt", "new");
    Write(L"dst.vtt", "a much longer earlier copy");
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1234567890, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, SystemPath(Path(L"src.vtt")).c_str(), times, 0), 0);

    ASSERT_TRUE(CopyFileW(Path(L"src.vtt").c_str(), Path(L"dst.vtt").c_str(), FALSE));
    EXPECT_EQ(Read(L"dst.vtt"), "new");
    struct stat copied;
    ASSERT_EQ(::stat(SystemPath(Path(L"dst.vtt")).c_str(), &copied), 0);
    EXPECT_EQ(copied.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(copied.st_mtim.tv_nsec, times[1].tv_nsec);
    EXPECT_EQ(Folder(), (std::set<std::wstring>{L"src.vtt", L"dst.vtt"}));
}

// A published copy is read by whoever serves the destination: its mode is
// the destination's, never the source's. Only the read-only attribute
// crosses, as on Windows.
TEST_F(FilesTest, CopiesTakeTheDestinationsModeAndTheReadOnlyAttribute) {
    const struct {
        mode_t umask;
        mode_t source;
        std::optional<mode_t> replaced;  // the earlier copy's mode, if there is one
        mode_t copy;
    } cases[] = {
        {022, 0600, std::nullopt, 0644},  // new: what the creation mask gives
        {022, 0755, std::nullopt, 0644},
        {027, 0666, std::nullopt, 0640},
        {022, 0440, std::nullopt, 0444},  // read-only source: no write bits
        {022, 0600, 0664, 0664},          // replacement: the earlier copy's mode
        {077, 0644, 0604, 0604},
        {022, 0400, 0664, 0444},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << "umask " << c.umask << ", source " << c.source);
        Write(L"src.vtt", "WEBVTT\n");
        ASSERT_EQ(::chmod(SystemPath(Path(L"src.vtt")).c_str(), c.source), 0);
        ::unlink(SystemPath(Path(L"copy.vtt")).c_str());
        if (c.replaced) {
            Write(L"copy.vtt", "earlier");
            ASSERT_EQ(::chmod(SystemPath(Path(L"copy.vtt")).c_str(), *c.replaced), 0);
        }
        const mode_t previous = ::umask(c.umask);
        const BOOL copied = CopyFileW(Path(L"src.vtt").c_str(), Path(L"copy.vtt").c_str(), FALSE);
        ::umask(previous);
        ASSERT_TRUE(copied);
        struct stat status;
        ASSERT_EQ(::stat(SystemPath(Path(L"copy.vtt")).c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, c.copy) << std::oct << (status.st_mode & 07777);
        ::chmod(SystemPath(Path(L"src.vtt")).c_str(), 0600);
        ::chmod(SystemPath(Path(L"copy.vtt")).c_str(), 0600);
    }
}

TEST_F(FilesTest, CopyMovesLargeFilesIntactAcrossFileSystems) {
    std::string data(300 * 1024 + 17, '\0');  // not a whole number of read buffers
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919u) >> 3);
    Write(L"big.bin", data);
    ASSERT_TRUE(CopyFileW(Path(L"big.bin").c_str(), Path(L"same.bin").c_str(), FALSE));
    EXPECT_TRUE(Read(L"same.bin") == data);

    // /dev/shm is a separate tmpfs on most systems: the kernel copy may
    // refuse to cross it and the read/write path has to carry the data.
    char shm[] = "/dev/shm/cuecarry-test-XXXXXX";
    if (::mkdtemp(shm) == nullptr) GTEST_SKIP() << "no /dev/shm to copy from";
    const std::wstring other = posix::WidenName(shm, sizeof shm - 1);
    native::WriteFile(other + L"/big.bin", data);
    const BOOL copied = CopyFileW((other + L"/big.bin").c_str(), Path(L"other.bin").c_str(), FALSE);
    native::RemoveAll(other);
    ASSERT_TRUE(copied);
    EXPECT_TRUE(Read(L"other.bin") == data);
}

TEST_F(FilesTest, RefusedCopiesLeaveTheTargetAndNoTemporaryFile) {
    Write(L"src.vtt", "new");
    Write(L"locked.vtt", "old locked");
    native::SetReadOnly(Path(L"locked.vtt"), true);
    Write(L"kept.vtt", "old kept");
    native::MakeDir(Path(L"folder"));
    ASSERT_EQ(::symlink("folder", SystemPath(Path(L"folder-link")).c_str()), 0);
    ASSERT_EQ(::symlink("kept.vtt", SystemPath(Path(L"kept-link.vtt")).c_str()), 0);
    ASSERT_EQ(::symlink("/proc/self/status", SystemPath(Path(L"status.vtt")).c_str()), 0);
    const struct {
        const wchar_t* source;
        const wchar_t* target;
        BOOL failIfExists;
        DWORD error;
    } cases[] = {
        {L"src.vtt", L"locked.vtt", FALSE, ERROR_ACCESS_DENIED},  // by mode bits, so also as root
        {L"src.vtt", L"folder", FALSE, ERROR_ACCESS_DENIED},
        {L"folder", L"kept.vtt", FALSE, ERROR_ACCESS_DENIED},
        {L"src.vtt", L"kept.vtt", TRUE, ERROR_FILE_EXISTS},
        {L"gone.vtt", L"kept.vtt", FALSE, ERROR_FILE_NOT_FOUND},
        {L"gone\\src.vtt", L"kept.vtt", FALSE, ERROR_PATH_NOT_FOUND},
        {L"src.vtt", L"gone\\kept.vtt", FALSE, ERROR_PATH_NOT_FOUND},
        {L"kept.vtt", L"kept.vtt", FALSE, ERROR_SHARING_VIOLATION},
        {L"src.vtt", L"folder-link\\new.vtt", FALSE, ERROR_ACCESS_DENIED},  // never written through a link
        {L"src.vtt", L"kept-link.vtt", FALSE, ERROR_ACCESS_DENIED},
        {L"status.vtt", L"kept.vtt", FALSE, ERROR_FILE_INVALID},  // size 0, yet it yields more
    };
    const std::set<std::wstring> before = Folder();
    for (const auto& c : cases) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(CopyFileW(Path(c.source).c_str(), Path(c.target).c_str(), c.failIfExists)) << c.source;
        EXPECT_EQ(GetLastError(), c.error) << c.source << L" -> " << c.target;
    }
    EXPECT_EQ(Read(L"locked.vtt"), "old locked");
    EXPECT_EQ(Read(L"kept.vtt"), "old kept");
    EXPECT_EQ(Folder(), before);
    EXPECT_TRUE(Folder(L"folder").empty());
    EXPECT_TRUE(CopyFileW(Path(L"src.vtt").c_str(), Path(L"fresh.vtt").c_str(), TRUE));
}

// The state letter of a process ("S" while it sleeps in a call), from /proc.
char ProcessState(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) return '?';
    char state = '?';
    const int read = std::fscanf(file, "%*d (%*[^)]) %c", &state);
    std::fclose(file);
    return read == 1 ? state : '?';
}

// A FIFO or a device in a caption's place is refused without being opened:
// opening a FIFO would release a writer that waits on it and lose its data,
// opening /dev/ptmx would make a pseudo-terminal.
TEST_F(FilesTest, OnlyRegularFilesAreOpenedForReading) {
    const std::string fifo = SystemPath(Path(L"fifo.vtt"));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const pid_t writer = ::fork();
    if (writer == 0) _exit(::open(fifo.c_str(), O_WRONLY) >= 0 ? 0 : 1);
    for (int tries = 0; tries < 500 && ProcessState(writer) != 'S'; ++tries) ::usleep(10000);
    ASSERT_EQ(ProcessState(writer), 'S') << "the writer waits for a reader";
    ASSERT_EQ(::symlink("/dev/ptmx", SystemPath(Path(L"ptmx.vtt")).c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", SystemPath(Path(L"null.vtt")).c_str()), 0);
    native::MakeDir(Path(L"folder.vtt"));
    Write(L"kept.vtt", "earlier");

    for (const wchar_t* source : {L"fifo.vtt", L"ptmx.vtt", L"null.vtt", L"folder.vtt"}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(CopyFileW(Path(source).c_str(), Path(L"kept.vtt").c_str(), FALSE)) << source;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << source;
        EXPECT_EQ(posix::LastErrorReason(), "not a regular file") << source;
    }
    EXPECT_EQ(Read(L"kept.vtt"), "earlier");
    // Had a copy opened the FIFO, the writer would have gone on and ended.
    int status = 0;
    for (int tries = 0; tries < 20 && ::waitpid(writer, &status, WNOHANG) == 0; ++tries) ::usleep(10000);
    EXPECT_EQ(::waitpid(writer, &status, WNOHANG), 0) << "the writer still waits";
    ::close(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
    ::kill(writer, SIGKILL);
    ::waitpid(writer, &status, 0);
}

// A sparse caption copied byte for byte would fill the destination with its
// holes; it is copied hole for hole.
TEST_F(FilesTest, SparseSourcesStaySparse) {
    const off_t length = 512L * 1024 * 1024;
    const std::string source = SystemPath(Path(L"sparse.vtt"));
    {
        const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "WEBVTT\n", 7, 0), 7);
        ASSERT_EQ(::pwrite(fd, "middle", 6, length / 2), 6);
        ASSERT_EQ(::pwrite(fd, "end", 3, length - 3), 3);
        ::close(fd);
    }
    struct stat status;
    ASSERT_EQ(::stat(source.c_str(), &status), 0);
    if (status.st_blocks * 512 >= length / 2) GTEST_SKIP() << "the file system here keeps no holes";

    ASSERT_TRUE(CopyFileW(Path(L"sparse.vtt").c_str(), Path(L"copy.vtt").c_str(), FALSE));
    struct stat copied;
    ASSERT_EQ(::stat(SystemPath(Path(L"copy.vtt")).c_str(), &copied), 0);
    EXPECT_EQ(copied.st_size, length);
    EXPECT_LT(copied.st_blocks * 512, 4L * 1024 * 1024) << "the holes stay holes";
    const int fd = ::open(SystemPath(Path(L"copy.vtt")).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char head[7] = {}, middle[6] = {}, tail[3] = {}, zeros[4] = {1, 1, 1, 1};
    EXPECT_EQ(::pread(fd, head, 7, 0), 7);
    EXPECT_EQ(::pread(fd, middle, 6, length / 2), 6);
    EXPECT_EQ(::pread(fd, tail, 3, length - 3), 3);
    EXPECT_EQ(::pread(fd, zeros, 4, length / 4), 4);
    ::close(fd);
    EXPECT_EQ(std::string(head, 7), "WEBVTT\n");
    EXPECT_EQ(std::string(middle, 6), "middle");
    EXPECT_EQ(std::string(tail, 3), "end");
    EXPECT_EQ(std::string(zeros, 4), std::string(4, '\0'));
}

// A file-size limit stands in for a full disk: once SIGXFSZ is ignored the
// kernel refuses the write part-way with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : previous_(::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit limited{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    sighandler_t previous_;
    rlimit saved_{};
};

TEST_F(FilesTest, CopyThatRunsOutOfSpaceKeepsTheEarlierCopy) {
    Write(L"big.vtt", std::string(256 * 1024, 'x'));
    Write(L"dst.vtt", "earlier");
    const std::set<std::wstring> before = Folder();
    const auto [copied, error] = [&] {
        const FileSizeLimit limit(64 * 1024);
        const BOOL result = CopyFileW(Path(L"big.vtt").c_str(), Path(L"dst.vtt").c_str(), FALSE);
        return std::make_pair(result, GetLastError());
    }();
    EXPECT_FALSE(copied);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(Read(L"dst.vtt"), "earlier");
    EXPECT_EQ(Folder(), before);
}

// --- Path splitting ---------------------------------------------------------

// POSIX paths have no drives: a colon is part of a name.
TEST(SplitPathTest, SplitsIntoFolderNameAndExtension) {
    const std::array<const wchar_t*, 5> cases[] = {
        // path, drive, folder, name, extension
        {L"intro.en.vtt", L"", L"", L"intro.en", L".vtt"},
        {L".vtt", L"", L"", L"", L".vtt"},
        {L"noext", L"", L"", L"noext", L""},
        {L"a.b.c", L"", L"", L"a.b", L".c"},
        {L"name.", L"", L"", L"name", L"."},
        {L"", L"", L"", L"", L""},
        {L"D:\\media\\VOD\\intro.vtt", L"", L"D:\\media\\VOD\\", L"intro", L".vtt"},
        {L"C:x.vtt", L"", L"", L"C:x", L".vtt"},
        {L"1:\\x", L"", L"1:\\", L"x", L""},
        {L"\\srv\\dir.d\\name", L"", L"\\srv\\dir.d\\", L"name", L""},
        {L"a/b\\c/d.e", L"", L"a/b\\c/", L"d", L".e"},
        {L"D:\\dir\\", L"", L"D:\\dir\\", L"", L""},
    };
    for (const auto& c : cases) {
        wchar_t drive[3], dir[32], fname[16], ext[8];
        ASSERT_EQ(_wsplitpath_s(c[0], drive, 3, dir, 32, fname, 16, ext, 8), 0) << c[0];
        EXPECT_EQ((Names{drive, dir, fname, ext}), (Names{c[1], c[2], c[3], c[4]})) << c[0];
    }
}

TEST(SplitPathTest, RefusesBadBuffersAndEmptiesTheWantedParts) {
    wchar_t fname[6];
    ASSERT_EQ(_wsplitpath_s(L"intro.vtt", nullptr, 0, nullptr, 0, fname, 6, nullptr, 0), 0);  // exact fit
    EXPECT_EQ(std::wstring(fname), L"intro");

    const struct {
        const wchar_t* path;
        std::size_t fnameSize;
        std::size_t extSize;
        errno_t result;
    } cases[] = {
        {L"intros.vtt", 6, 8, ERANGE},  // name one unit too long
        {L"a.vtt", 6, 4, ERANGE},       // extension one unit too long
        {L"a.vtt", 0, 8, EINVAL},       // buffer without a size
        {nullptr, 6, 8, EINVAL},
    };
    for (const auto& c : cases) {
        wchar_t name[6] = L"junk", ext[8] = L"junk";
        EXPECT_EQ(_wsplitpath_s(c.path, nullptr, 0, nullptr, 0, name, c.fnameSize, ext, c.extSize), c.result);
        EXPECT_EQ(std::wstring(name), c.fnameSize > 0 ? L"" : L"junk");
        EXPECT_EQ(std::wstring(ext), L"");
    }
}

}  // namespace
