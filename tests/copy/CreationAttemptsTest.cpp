// CreateDirectoryPath's attempts, with CreateDirectoryW intercepted at link
// time (--wrap): which paths it asks for, in what order, and that only the
// last answer counts; and the walk's attempts, in the order a walk that
// copies one caption at a time makes them. Nothing reaches the file system
// but the source tree that the walk lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "copy/CaptionCopy.h"
#include "copy/DirectoryPath.h"
#include "platform/Platform.h"
#include "tests/support/TempTree.h"

namespace {

std::vector<std::wstring> attempts;
std::wstring succeeding;  // the one path whose creation succeeds; every other fails with 5
bool allSucceed = false;

TEST(CreateDirectoryPath, AttemptsEachPrefixBeforeABackslashFromIndexOneThenTheWholePath) {
    const struct {
        const wchar_t* path;
        std::vector<std::wstring> attempts;
    } cases[] = {
        {L"", {}},
        {L"out", {L"out"}},
        {L"\\out", {L"\\out"}},
        {L"E:\\out\\", {L"E:", L"E:\\out", L"E:\\out\\"}},
        {L"E:\\out\\\\x", {L"E:", L"E:\\out", L"E:\\out\\", L"E:\\out\\\\x"}},
        {L"\\\\srv\\share\\dir", {L"\\", L"\\\\srv", L"\\\\srv\\share", L"\\\\srv\\share\\dir"}},
    };
    for (const auto& c : cases) {
        attempts.clear();
        succeeding = c.path;
        EXPECT_EQ(*c.path != L'\0', CreateDirectoryPath(CString(c.path))) << c.path;
        EXPECT_EQ(c.attempts, attempts) << c.path;
    }
}

// Every content destination, then every caption folder, each outermost
// first, in walk order: the Lab's before Lesson01's, as listed.
TEST(CreateDirectoryPath, TheWalkOneCaptionAtATimeAttemptsInWalkOrder) {
    TempTree tree;
    for (const wchar_t* file : {L"VOD\\Lesson01\\a.vtt", L"VOD\\Lesson01\\b.vtt", L"VOD\\Lab\\c.vtt"}) {
        tree.WriteFile(file, "WEBVTT\n");
    }
    attempts.clear();
    allSucceed = true;
    CopyCaptionTree(tree.Path(L"VOD"), tree.Path(L"out"), CopySettings{1});
    allSucceed = false;
    // Below the tree only; the prefixes above it are the same for each.
    const std::wstring root = std::wstring(tree.Root()) + L"\\";
    std::vector<std::wstring> below;
    for (const std::wstring& attempt : attempts) {
        if (attempt.rfind(root, 0) == 0) below.push_back(attempt.substr(root.size()));
    }
    const auto captionFolder = [](const std::wstring& content, const std::wstring& base) {
        const std::wstring folder = L"out\\" + content + L"\\" + base;
        return std::vector<std::wstring>{L"out", L"out\\" + content, folder, folder + L"\\video", folder + L"\\video\\vtt"};
    };
    std::vector<std::wstring> expected{L"out", L"out\\Lab_Lab"};
    for (const std::wstring& attempt : captionFolder(L"Lab_Lab", L"c")) expected.push_back(attempt);
    for (const wchar_t* attempt : {L"out", L"out\\Les_01"}) expected.push_back(attempt);
    for (const wchar_t* base : {L"a", L"b"}) {
        for (const std::wstring& attempt : captionFolder(L"Les_01", base)) expected.push_back(attempt);
    }
    EXPECT_EQ(below, expected);
}

}  // namespace

extern "C" BOOL __wrap_CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
    attempts.emplace_back(path);
    if (allSucceed || attempts.back() == succeeding) return TRUE;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
