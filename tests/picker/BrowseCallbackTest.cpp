// The picker's browse callback against a recording window: what it tells the
// browser when it opens and after each change of selection.
#include <gtest/gtest.h>

#include "picker/CDirDialog.h"
#include "platform/posix/ShellTesting.h"
#include "tests/posix/ShellTestKit.h"

namespace {

using posix::testing::NewFolderItem;
using posix::testing::NewVirtualItem;
using Calls = std::vector<std::wstring>;

Calls Deliver(CDirDialog& dialog, UINT message, LPARAM lParam = 0, std::optional<RECT> client = RECT{0, 0, 400, 300}) {
    RecordingWindow window;
    window.client = client;
    EXPECT_EQ(0, CDirDialog::BrowseCallback(&window, message, lParam, reinterpret_cast<LPARAM>(&dialog)));
    return window.calls;
}

TEST(BrowseCallbackTest, OpeningSelectsThenTitlesThenPlaces) {
    CDirDialog dialog;
    EXPECT_EQ((Calls{L"client", L"pos topmost 760 390 425x360 flags 64"}), Deliver(dialog, BFFM_INITIALIZED));
    dialog.startSelection = L"D:\\clips";
    dialog.windowCaption = L"Browse to the starting folder:";
    EXPECT_EQ((Calls{L"select 1 \"D:\\clips\"", L"title \"Browse to the starting folder:\"", L"client",
                     L"pos topmost 760 390 425x360 flags 64"}),
              Deliver(dialog, BFFM_INITIALIZED));
}

TEST(BrowseCallbackTest, CentresByClientSizeAndAddsTheFrame) {
    struct Case {
        int screenWidth, screenHeight;
        std::optional<RECT> client;
        const wchar_t* placement;
    };
    const Case cases[] = {
        {1920, 1080, RECT{0, 0, 400, 300}, L"pos topmost 760 390 425x360 flags 64"},
        {1366, 768, RECT{0, 0, 401, 301}, L"pos topmost 482 233 426x361 flags 64"},
        {800, 600, RECT{0, 0, 1001, 300}, L"pos topmost -100 150 1026x360 flags 64"},  // toward zero
        {800, 600, RECT{0, 0, 1001, 701}, L"pos topmost -100 -50 1026x761 flags 64"},  // both odd and negative
        {1920, 1080, RECT{10, 20, 410, 320}, L"pos topmost 760 390 425x360 flags 64"},
        {1366, 768, std::nullopt, L"pos topmost 683 384 25x60 flags 64"},  // failed query: zero client
    };
    for (const Case& c : cases) {
        posix::testing::Overrides screen;
        screen.screenWidth = c.screenWidth;
        screen.screenHeight = c.screenHeight;
        const posix::testing::ScopedOverrides scope(screen);
        CDirDialog dialog;
        EXPECT_EQ(c.placement, Deliver(dialog, BFFM_INITIALIZED, 0, c.client).back());
    }
}

TEST(BrowseCallbackTest, OwnHookEnablesOkForEverySelection) {
    const OwnedItem folder(NewFolderItem(L"\\srv\\media"));
    const OwnedItem computer(NewVirtualItem(L"Computer"));
    CDirDialog dialog;
    for (const OwnedItem* item : {&folder, &computer}) {
        dialog.showStatus = FALSE;
        EXPECT_EQ((Calls{L"enable 0 1"}), Deliver(dialog, BFFM_SELCHANGED, item->param()));
        dialog.showStatus = TRUE;
        EXPECT_EQ((Calls{L"status 0 \"\"", L"enable 0 1"}), Deliver(dialog, BFFM_SELCHANGED, item->param()));
    }
}

// Accepts only folders named VOD, with 2 (any nonzero enables OK, and reaches
// the browser as it is), and says why in the status line.
class VodOnlyDialog : public CDirDialog {
public:
    Calls seen;

protected:
    int ValidateSelection(const wchar_t* path, CString& statusText) override {
        seen.push_back(path);
        EXPECT_TRUE(statusText.IsEmpty());
        const bool vod = seen.back().size() >= 4 && seen.back().substr(seen.back().size() - 4) == L"\\VOD";
        statusText = vod ? L"Flat layout" : L"Not a caption tree";
        return vod ? 2 : 0;
    }
};

TEST(BrowseCallbackTest, DerivedHookDecidesOkAndStatus) {
    const OwnedItem vod(NewFolderItem(L"\\srv\\VOD"));
    const OwnedItem media(NewFolderItem(L"\\srv\\media"));
    const OwnedItem computer(NewVirtualItem(L"Computer"));
    VodOnlyDialog dialog;
    dialog.showStatus = TRUE;
    EXPECT_EQ((Calls{L"status 0 \"Flat layout\"", L"enable 0 2"}), Deliver(dialog, BFFM_SELCHANGED, vod.param()));
    EXPECT_EQ((Calls{L"status 0 \"Not a caption tree\"", L"enable 0 0"}),
              Deliver(dialog, BFFM_SELCHANGED, computer.param()));
    dialog.showStatus = FALSE;
    EXPECT_EQ((Calls{L"enable 0 0"}), Deliver(dialog, BFFM_SELCHANGED, media.param()));
    EXPECT_EQ((Calls{L"\\srv\\VOD", L"", L"\\srv\\media"}), dialog.seen);
}

TEST(BrowseCallbackTest, OtherMessagesAreIgnored) {
    CDirDialog dialog;
    dialog.startSelection = L"D:\\clips";
    for (const UINT message : {0u, 3u, 4u, static_cast<UINT>(BFFM_SETSELECTIONW)}) {
        EXPECT_EQ(Calls{}, Deliver(dialog, message));
    }
}

}  // namespace
