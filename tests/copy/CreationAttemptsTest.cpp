// CreateDirectoryPath's attempts, with CreateDirectoryW intercepted at link
// time (--wrap): which paths it asks for, in what order, and that only the
// last answer counts. Nothing reaches the file system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "copy/DirectoryPath.h"
#include "platform/platform.h"

namespace {

std::vector<std::wstring> attempts;
std::wstring succeeding;  // the one path whose creation succeeds; every other fails with 5

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

}  // namespace

extern "C" BOOL __wrap_CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
    attempts.emplace_back(path);
    if (attempts.back() == succeeding) return TRUE;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
