// CDirDialog::Browse against a scripted browser: what the browser is given,
// what comes back, and that every item list and interface is given back on
// every way out.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "picker/CDirDialog.h"
#include "platform/posix/ShellTesting.h"
#include "tests/posix/ShellTestKit.h"
#include "tests/support/TempTree.h"

namespace {

using namespace posix::testing;

// What the browser was given, and what the callback did when it opened.
struct BrowserView {
    int runs = 0;
    BROWSEINFOW info{};
    std::wstring root;  // "<none>" without a root, "" when never run
    std::vector<std::wstring> opening;
};

// Opens like a browser, fills the display name to the last unit, and on an
// item from `choose` announces it and gives it icon 7.
Overrides Scripted(BrowserView& view, std::function<PIDLIST_ABSOLUTE()> choose) {
    Overrides overrides;
    overrides.browser = [&view, choose](BROWSEINFOW& info) {
        ++view.runs;
        view.info = info;
        view.root = info.pidlRoot != nullptr ? PathOf(info.pidlRoot) : L"<none>";
        RecordingWindow window;
        info.lpfn(&window, BFFM_INITIALIZED, 0, info.lParam);
        view.opening = window.calls;
        std::fill(info.pszDisplayName, info.pszDisplayName + MAX_PATH - 1, L'n');
        info.pszDisplayName[MAX_PATH - 1] = L'\0';
        PIDLIST_ABSOLUTE chosen = choose();
        if (chosen != nullptr) {
            info.lpfn(&window, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(chosen), info.lParam);
            info.iImage = 7;
        }
        return chosen;
    };
    return overrides;
}

void ExpectAllGivenBack(const ShellCounts& before) {
    const ShellCounts after = GetShellCounts();
    EXPECT_EQ(before.itemLists, after.itemLists) << "item lists not freed";
    EXPECT_EQ(before.allocatorReferences, after.allocatorReferences) << "allocator not released";
    EXPECT_EQ(before.folderReferences, after.folderReferences) << "desktop folder not released";
    EXPECT_EQ(before.strayFrees, after.strayFrees) << "freed what the allocator never handed out";
}

TEST(BrowseTest, StartSelectionIsTrimmedInPlaceOneSeparatorPerBrowse) {
    const struct {
        const wchar_t* given;
        const wchar_t* first;  // sent by the first Browse; empty: nothing sent
        const wchar_t* second;
    } cases[] = {
        {L"C:\\", L"C:", L"C:"},
        {L"D:\\clips/", L"D:\\clips", L"D:\\clips"},
        {L"D:\\clips\\  ", L"D:\\clips", L"D:\\clips"},
        {L"D:\\clips\t\r\n", L"D:\\clips", L"D:\\clips"},
        {L"  D:\\clips\\", L"  D:\\clips", L"  D:\\clips"},
        {L"D:\\clips\\\\", L"D:\\clips\\", L"D:\\clips"},
        {L"D:\\clips/\\", L"D:\\clips/", L"D:\\clips"},
        {L"   ", L"", L""},
        {L"\\", L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "given \"" << c.given << "\"");
        BrowserView view;
        // Each Browse chooses a folder: its path must never pre-select.
        const ScopedOverrides scope(Scripted(view, [] { return NewFolderItem(L"\\srv\\chosen"); }));
        CDirDialog dialog;
        dialog.startSelection = c.given;
        for (const wchar_t* sent : {c.first, c.second}) {
            dialog.Browse();
            EXPECT_EQ(std::wstring(sent), std::wstring(dialog.startSelection));
            const std::wstring select = L"select 1 \"" + std::wstring(sent) + L"\"";
            EXPECT_EQ(*sent != L'\0' ? select : L"client", view.opening.front());
        }
    }
}

TEST(BrowseTest, BrowserIsGivenNoOwnerTheFlagsInstructionAndCallback) {
    const struct {
        BOOL showStatus;
        const wchar_t* promptText;
        UINT flags;
        const wchar_t* instruction;
    } cases[] = {{FALSE, L"", 9, L"Open"}, {TRUE, L"", 13, L"Open"}, {FALSE, L"Pick a tree", 9, L"Pick a tree"}};
    for (const auto& c : cases) {
        BrowserView view;
        const ScopedOverrides scope(Scripted(view, [] { return nullptr; }));
        CDirDialog dialog;
        dialog.showStatus = c.showStatus;
        dialog.promptText = c.promptText;
        dialog.Browse();
        EXPECT_EQ(nullptr, view.info.hwndOwner);
        EXPECT_EQ(c.flags, view.info.ulFlags);
        EXPECT_EQ(std::wstring(c.instruction), view.info.lpszTitle);
        EXPECT_EQ(&CDirDialog::BrowseCallback, view.info.lpfn);
        EXPECT_EQ(reinterpret_cast<LPARAM>(&dialog), view.info.lParam);
        EXPECT_EQ(0, view.info.iImage);
    }
}

TEST(BrowseTest, ResultsOnEveryWayOutAndEverythingGivenBack) {
    enum Root { kNone, kExisting, kMissing };
    static const std::wstring longPath = L"\\" + std::wstring(MAX_PATH - 1, L'p');
    const struct {
        const char* name;
        bool failShellMalloc, failDesktopFolder;
        Root rootFolder;
        std::function<PIDLIST_ABSOLUTE()> choose;
        int result, runs;
        const wchar_t* received;  // the root as the browser received it
        int imageIndex;           // -5: left as it was
        const wchar_t* selected;  // selectedPath afterwards
    } cases[] = {
        {"chosen", false, false, kNone, [] { return NewFolderItem(L"\\srv\\VOD"); }, 1, 1, L"<none>", 7, L"\\srv\\VOD"},
        {"cancelled", false, false, kNone, [] { return nullptr; }, 0, 1, L"<none>", -5, L""},
        {"no file-system path", false, false, kNone, [] { return NewVirtualItem(L"Computer"); }, 0, 1, L"<none>", 7,
         L""},
        {"path too long", false, false, kNone, [] { return NewFolderItem(longPath.c_str()); }, 0, 1, L"<none>", 7,
         L""},
        {"under a root", false, false, kExisting, [] { return NewFolderItem(L"\\srv"); }, 1, 1, L"<tree>", 7,
         L"\\srv"},
        {"root not parsed", false, false, kMissing, [] { return NewFolderItem(L"\\srv"); }, 0, 0, L"", -5, L""},
        {"no allocator", true, false, kExisting, [] { return NewFolderItem(L"\\srv"); }, 0, 0, L"", -5, L""},
        {"no desktop", false, true, kExisting, [] { return NewFolderItem(L"\\srv"); }, 1, 1, L"<none>", 7, L"\\srv"},
    };
    TempTree tree;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ShellCounts before = GetShellCounts();
        {
            BrowserView view;
            Overrides overrides = Scripted(view, c.choose);
            overrides.failShellMalloc = c.failShellMalloc;
            overrides.failDesktopFolder = c.failDesktopFolder;
            const ScopedOverrides scope(overrides);
            CDirDialog dialog;
            dialog.selectedPath = L"stale";
            dialog.imageIndex = -5;
            if (c.rootFolder != kNone) dialog.rootFolder = tree.Path(c.rootFolder == kExisting ? L"" : L"missing");
            const std::wstring rootFolder(dialog.rootFolder);

            EXPECT_EQ(c.result, dialog.Browse());
            EXPECT_EQ(c.runs, view.runs);
            EXPECT_EQ(c.received == std::wstring(L"<tree>") ? rootFolder : c.received, view.root);
            EXPECT_EQ(c.imageIndex, dialog.imageIndex);
            EXPECT_EQ(std::wstring(c.selected), std::wstring(dialog.selectedPath));
            EXPECT_EQ(rootFolder, std::wstring(dialog.rootFolder));
        }
        ExpectAllGivenBack(before);
    }
}

// A hook that throws leaves Browse through the callback: nothing may stay out.
class ThrowingDialog : public CDirDialog {
protected:
    int ValidateSelection(const wchar_t*, CString&) override { throw std::runtime_error("hook failed"); }
};

TEST(BrowseTest, ExceptionFromTheHookGivesEverythingBack) {
    TempTree tree;
    const ShellCounts before = GetShellCounts();
    {
        Overrides overrides;
        overrides.browser = [](BROWSEINFOW& info) -> PIDLIST_ABSOLUTE {
            const OwnedItem selection(NewFolderItem(L"\\srv"));
            info.lpfn(nullptr, BFFM_SELCHANGED, selection.param(), info.lParam);
            return nullptr;
        };
        const ScopedOverrides scope(overrides);
        ThrowingDialog dialog;
        dialog.rootFolder = tree.Root();
        dialog.selectedPath = L"stale";
        EXPECT_THROW(dialog.Browse(), std::runtime_error);
        EXPECT_EQ(L"", std::wstring(dialog.selectedPath));
    }
    ExpectAllGivenBack(before);
}

}  // namespace
