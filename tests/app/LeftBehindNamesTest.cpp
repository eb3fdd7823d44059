// The first captions and folders a run left behind, named in the Windows
// program's message with the system's reason; on both builds.
#include <gtest/gtest.h>

#include <string>

#include "app/LeftBehindNames.h"
#include "platform/ErrorText.h"
#include "platform/platform.h"

namespace {

TEST(LeftBehindNames, TheFirstFiveWithTheirReasonsThenHowManyMore) {
    LeftBehindNames names;
    names.WalkStarted(L"C:\\media\\VOD", L"E:\\out");
    EXPECT_EQ(std::wstring(names.Text()), L"") << "nothing left behind, nothing named";

    SetLastError(ERROR_ACCESS_DENIED);
    const std::wstring denied = LastErrorInWords();
    names.CaptionNotCopied(L"C:\\a.vtt", L"E:\\out\\A_A\\a\\video\\vtt\\a.vtt", CopyListener::Loss::CallFailed);
    names.CaptionNotCopied(L"C:\\...vtt", L"E:\\out\\..\\video\\vtt\\...vtt", CopyListener::Loss::BaseNameDotDot);
    SetLastError(ERROR_PATH_NOT_FOUND);
    const std::wstring missing = LastErrorInWords();
    names.FolderNotRead(L"C:\\media\\VOD\\Gone", CopyListener::Loss::CallFailed);
    names.FolderNotMade(L"E:\\out\\Les_01");
    names.CaptionReplacedEarlierCopy(L"C:\\b.vtt", L"E:\\out\\b.vtt", L"C:\\earlier\\b.vtt");
    names.CaptionNotCopied(L"C:\\c.vtt", L"E:\\c.vtt", CopyListener::Loss::CallFailed);
    names.FolderNotRead(L"C:\\x", CopyListener::Loss::NotASingleName);

    EXPECT_FALSE(denied.empty());
    EXPECT_NE(denied, missing);
    EXPECT_EQ(std::wstring(names.Text()),
              L"\n\nC:\\a.vtt -> E:\\out\\A_A\\a\\video\\vtt\\a.vtt: " + denied +
                  L"\nC:\\...vtt -> E:\\out\\..\\video\\vtt\\...vtt: its base name is .."
                  L"\nC:\\media\\VOD\\Gone: " + missing +
                  L"\nE:\\out\\Les_01: could not be made: " + missing +
                  L"\nC:\\b.vtt -> E:\\out\\b.vtt: replaces the copy of C:\\earlier\\b.vtt made earlier in this run"
                  L"\nand 2 more.");

    names.WalkStarted(L"C:\\media\\VOD", L"E:\\out");
    EXPECT_EQ(std::wstring(names.Text()), L"") << "a new walk names afresh";
}

}  // namespace
