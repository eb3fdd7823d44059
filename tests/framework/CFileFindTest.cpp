#include "framework/CFileFind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/FindListing.h"
#include "tests/support/TempTree.h"

namespace {

// The root of the drive (or, on POSIX, of the file system) that holds `path`.
CString RootOf(const CString& path) { return path[0] == L'\\' ? CString(L"\\") : path.Left(3); }

TEST(CFileFind, FindsExactlyThePathGiven) {
    TempTree tree;
    tree.MakeDir(L"media\\VOD");
    tree.WriteFile(L"media\\notes.txt", "n");
    struct Case {
        const wchar_t* relative;
        BOOL found;
    } const cases[] = {
        {L"media\\VOD", TRUE},
        {L"media\\notes.txt", TRUE},
        {L"media\\missing", FALSE},
        {L"media\\VOD\\", FALSE},  // a trailing separator is queried as given, and fails
        {L"missing\\VOD", FALSE},
    };
    for (const Case& c : cases) {
        CFileFind finder;
        EXPECT_EQ(finder.FindFile(tree.Path(c.relative), 0), c.found) << c.relative;
    }
}

TEST(CFileFind, ASecondQueryReplacesTheFirst) {
    TempTree tree;
    tree.MakeDir(L"a");
    CFileFind finder;
    EXPECT_TRUE(finder.FindFile(tree.Path(L"a"), 0));
    EXPECT_FALSE(finder.FindFile(tree.Path(L"b"), 0));
    EXPECT_TRUE(finder.FindFile(tree.Path(L"a"), 0));
    finder.Close();
    // Closing twice is harmless: the search is not handed back a second time,
    // which the platform would refuse with ERROR_INVALID_HANDLE.
    SetLastError(ERROR_SUCCESS);
    finder.Close();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(finder.FindFile(tree.Path(L"a"), 0));
}

TEST(CFileFind, AnExistingRootCountsAsFound) {
    TempTree tree;
    const CString root = RootOf(tree.Root());
    CFileFind finder;
    EXPECT_TRUE(finder.FindFile(root, 0)) << "root of the temporary folder";
    EXPECT_FALSE(finder.FindFile(L"Q:\\", 0)) << "a drive that is not there";
    EXPECT_FALSE(finder.FindFile(L"\\\\nosuchserver-cuecarry\\share\\", 0));
    // Found only as a root: the platform's own query cannot report it.
    const std::wstring share = native::NetworkFormRoot();
    EXPECT_TRUE(finder.FindFile(share.c_str(), 0)) << share;
    EXPECT_FALSE(FindListing(share.c_str()).IsOpen()) << "the platform's query for " << share;
}

TEST(CFileFind, EveryMappedRootCountsAsFound) {
    // Under Wine: C:\ (the prefix's drive_c) and Z:\ (the host's /); on
    // POSIX the one root "\".
    const std::vector<std::wstring> roots = native::DriveRoots();
    ASSERT_FALSE(roots.empty());
    for (const std::wstring& root : roots) {
        CFileFind finder;
        EXPECT_TRUE(finder.FindFile(root.c_str(), 0)) << "root " << root;
        // The platform's own find query cannot report a root: the fix is
        // what makes it found.
        EXPECT_FALSE(FindListing(root.c_str()).IsOpen()) << "the platform's query for " << root;
    }
}

}  // namespace
