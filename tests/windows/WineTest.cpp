// What the Windows build's tests meet under Wine, where it differs from the
// stand-in: the shared tests (tests/copy, tests/framework) take these facts
// from the platform, and this suite pins them down, so that a shared test
// can't pass by finding nothing to check.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/CFileFind.h"
#include "platform/Platform.h"
#include "platform/FindListing.h"
#include "tests/support/TempTree.h"

namespace {

TEST(Wine, DriveZIsTheHostRootAndCountsAsFound) {
    ASSERT_NE(GetLogicalDrives() & (1u << (L'Z' - L'A')), 0u) << "the prefix maps Z:";
    const std::vector<std::wstring> roots = native::DriveRoots();
    EXPECT_NE(std::find(roots.begin(), roots.end(), L"Z:\\"), roots.end());

    // The platform's query for the root itself fails as it does on Windows...
    WIN32_FIND_DATAW entry;
    SetLastError(0);
    EXPECT_EQ(FindFirstFileW(L"Z:\\", &entry), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // ... yet the finder counts the root as found, and it is the host's "/".
    CFileFind finder;
    EXPECT_TRUE(finder.FindFile(L"Z:\\", 0));
    EXPECT_TRUE(finder.FindFile(L"Z:\\usr", 0));
    EXPECT_TRUE(finder.FindFile(L"z:\\", 0)) << "drive letters ignore case";
    EXPECT_FALSE(finder.FindFile(L"Z:\\no-such-folder-cuecarry", 0));
}

TEST(Wine, EveryNameThatIsNot83GetsAShortNameThatWildcardsMatch) {
    TempTree tree;
    for (const wchar_t* name : {L"a.vtt", L"c.vttx", L"longername.vttx", L"x.vtt.bak"}) tree.WriteFile(name, "");

    EXPECT_EQ(native::ShortName(std::wstring(tree.Path(L"a.vtt"))), L"") << "already 8.3";
    const std::wstring shortName = native::ShortName(std::wstring(tree.Path(L"c.vttx")));
    ASSERT_GE(shortName.size(), 4u);
    EXPECT_EQ(shortName.substr(shortName.size() - 4), L".VTT") << shortName;
    const std::wstring bak = native::ShortName(std::wstring(tree.Path(L"x.vtt.bak")));
    ASSERT_GE(bak.size(), 4u);
    EXPECT_EQ(bak.substr(bak.size() - 4), L".BAK") << bak;

    // The long names come back; x.vtt.bak matches by neither of its names.
    EXPECT_EQ(PlatformListing(tree.Path(L"*.vtt")), (std::vector<std::wstring>{L"a.vtt", L"c.vttx", L"longername.vttx"}));
}

TEST(Wine, ListsInNtfsOrderWhateverTheHostDirectoryOrder) {
    // Wine sorts each listing by the upper-cased UTF-16 names, as NTFS keeps
    // them, not in the order the host's file system returns them; created
    // here in neither order.
    TempTree tree;
    const wchar_t* created[] = {L"~t", L"b", L"Lessons01", L"\x00E9t\x00E9", L"_x", L"A1", L"Z",
                                L"lesson01x", L"[q", L"a2", L"Lesson01", L"\x0430"};
    for (const wchar_t* name : created) tree.WriteFile(name, "");
    EXPECT_EQ(PlatformListing(tree.Path(L"*")),
              (std::vector<std::wstring>{L".", L"..", L"A1", L"a2", L"b", L"Lesson01", L"lesson01x", L"Lessons01",
                                         L"Z", L"[q", L"_x", L"~t", L"\x00E9t\x00E9", L"\x0430"}));
}

TEST(Wine, TakesPathsBeyond260Characters) {
    EXPECT_EQ(native::PathLimit(), 0);
    TempTree tree;
    std::wstring deep = L"d";
    for (int i = 0; i < 4; ++i) deep += L"\\" + std::wstring(80, static_cast<wchar_t>(L'a' + i));
    ASSERT_GT(tree.Path(deep).GetLength(), 300);
    EXPECT_TRUE(CreateDirectoryW(tree.Path(L"d"), nullptr));
    std::wstring path = L"d";
    for (int i = 0; i < 4; ++i) {
        path += L"\\" + std::wstring(80, static_cast<wchar_t>(L'a' + i));
        EXPECT_TRUE(CreateDirectoryW(tree.Path(path), nullptr)) << tree.Path(path).GetLength() << " characters";
    }
    tree.WriteFile(deep + L"\\cue.vtt", "WEBVTT\n");
    EXPECT_TRUE(CopyFileW(tree.Path(deep + L"\\cue.vtt"), tree.Path(deep + L"\\copy.vtt"), FALSE));
    EXPECT_EQ(tree.ReadFile(deep + L"\\copy.vtt"), "WEBVTT\n");
}

TEST(Wine, ReadOnlyFilesAreRefusedToThisUser) {
    // Wine keeps the read-only attribute in the host's mode bits, which root
    // ignores: the read-only cases of the shared tests only prove something
    // when the tests run as an ordinary user (scripts/test-windows sees to it).
    ASSERT_TRUE(native::PermissionsEnforced()) << "running as root? read-only files would be writable";
    TempTree tree;
    tree.WriteFile(L"published.vtt", "published");
    tree.WriteFile(L"new.vtt", "new");
    tree.SetReadOnly(L"published.vtt", true);
    SetLastError(0);
    EXPECT_FALSE(CopyFileW(tree.Path(L"new.vtt"), tree.Path(L"published.vtt"), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(tree.ReadFile(L"published.vtt"), "published");
}

}  // namespace
