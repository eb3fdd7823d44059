#include <gtest/gtest.h>

#include "copy/DirectoryPath.h"
#include "tests/support/TempTree.h"

namespace {

TEST(CreateDirectoryPath, EmptyPathIsRefused) { EXPECT_FALSE(CreateDirectoryPath(CString())); }

TEST(CreateDirectoryPath, CreatesEveryMissingFolderOutermostFirst) {
    TempTree tree;
    EXPECT_TRUE(CreateDirectoryPath(tree.Path(L"out\\Les_01\\intro\\video\\vtt")));
    EXPECT_EQ(tree.List(), (std::set<std::wstring>{L"out\\", L"out\\Les_01\\", L"out\\Les_01\\intro\\",
                                                   L"out\\Les_01\\intro\\video\\",
                                                   L"out\\Les_01\\intro\\video\\vtt\\"}));
}

TEST(CreateDirectoryPath, ExistingFolderIsSuccess) {
    TempTree tree;
    tree.MakeDir(L"out\\a");
    tree.WriteFile(L"out\\a\\keep.vtt", "kept");
    EXPECT_TRUE(CreateDirectoryPath(tree.Path(L"out\\a")));
    EXPECT_EQ(tree.ReadFile(L"out\\a\\keep.vtt"), "kept");
}

TEST(CreateDirectoryPath, SeparatorsThatReadAsOne) {
    TempTree tree;
    // A trailing backslash repeats the last folder; a doubled one adds a
    // prefix that ends in a backslash. Both read as plain separators.
    EXPECT_TRUE(CreateDirectoryPath(tree.Path(L"out\\")));
    EXPECT_TRUE(CreateDirectoryPath(tree.Path(L"out\\\\x")));
    EXPECT_EQ(tree.List(), (std::set<std::wstring>{L"out\\", L"out\\x\\"}));
}

TEST(CreateDirectoryPath, APlainFileInTheWayIsFailure) {
    TempTree tree;
    tree.WriteFile(L"out\\intro", "a file, not a folder");
    EXPECT_FALSE(CreateDirectoryPath(tree.Path(L"out\\intro")));
    EXPECT_FALSE(CreateDirectoryPath(tree.Path(L"out\\intro\\")));
    EXPECT_FALSE(CreateDirectoryPath(tree.Path(L"out\\intro\\video\\vtt")));
    EXPECT_EQ(tree.ReadFile(L"out\\intro"), "a file, not a folder");
    EXPECT_EQ(tree.List(), (std::set<std::wstring>{L"out\\", L"out\\intro"}));
}

TEST(CreateDirectoryPath, OnlyTheBackslashSeparatesPrefixes) {
    TempTree tree;
    // "a/b" is one component to the prefix search; the platform then reads
    // the slash as a separator, so the last attempt needs "a" to exist.
    EXPECT_FALSE(CreateDirectoryPath(tree.Path(L"a/b")));
    EXPECT_FALSE(tree.Exists(L"a"));
    tree.MakeDir(L"a");
    EXPECT_TRUE(CreateDirectoryPath(tree.Path(L"a/b")));
    EXPECT_TRUE(tree.IsDir(L"a\\b"));
}

}  // namespace
