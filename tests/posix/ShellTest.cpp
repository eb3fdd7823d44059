// The stand-in's desktop folder, item lists, shell allocator and message box.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/posix/Console.h"
#include "platform/posix/ShellTesting.h"
#include "tests/posix/ShellTestKit.h"
#include "tests/support/TempTree.h"

namespace {

using namespace posix::testing;

TEST(ShellTest, DesktopParsesAbsolutePathsOfExistingFoldersOnly) {
    TempTree tree;
    tree.MakeDir(L"media\\VOD");
    tree.WriteFile(L"media\\notes.txt", "n");
    const std::wstring vod(tree.Path(L"media\\VOD"));
    std::wstring unixForm = vod;
    std::replace(unixForm.begin(), unixForm.end(), L'\\', L'/');
    const struct {
        std::wstring text;
        const wchar_t* path;  // what the item answers; null: not parsed
    } cases[] = {
        {vod, vod.c_str()},
        {unixForm, vod.c_str()},
        {std::wstring(tree.Path(L"media\\\\.\\VOD\\..\\VOD\\")), vod.c_str()},
        {std::wstring(tree.Path(L"media\\notes.txt")), nullptr},
        {std::wstring(tree.Path(L"media\\missing")), nullptr},
        {L"media\\VOD", nullptr},  // relative
    };
    const ShellCounts before = GetShellCounts();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text);
        IShellFolder* desktop = nullptr;
        ASSERT_EQ(S_OK, SHGetDesktopFolder(&desktop));
        std::wstring text = c.text;
        PIDLIST_RELATIVE pidl = reinterpret_cast<PIDLIST_RELATIVE>(&desktop);  // must be overwritten
        ULONG eaten = 0, attributes = 0;
        const HRESULT result = desktop->ParseDisplayName(nullptr, nullptr, &text[0], &eaten, &pidl, &attributes);
        desktop->Release();
        const OwnedItem item(pidl);
        EXPECT_EQ(c.path != nullptr, SUCCEEDED(result));
        EXPECT_EQ(c.path != nullptr ? c.path : L"<none>", PathOf(item.get()));
    }
    EXPECT_EQ(before.itemLists, GetShellCounts().itemLists);
    EXPECT_EQ(before.folderReferences, GetShellCounts().folderReferences);
}

TEST(ShellTest, PathFromItemListFitsMaxPathOrFailsEmpty) {
    const std::wstring longest = L"\\" + std::wstring(MAX_PATH - 2, L'a');  // 259 units
    const OwnedItem fits(NewFolderItem(longest.c_str()));
    const OwnedItem tooLong(NewFolderItem((longest + L"b").c_str()));
    const OwnedItem computer(NewVirtualItem(L"Computer"));
    wchar_t buffer[MAX_PATH];
    EXPECT_TRUE(SHGetPathFromIDListW(fits.get(), buffer));
    EXPECT_EQ(longest, buffer);
    for (PCIDLIST_ABSOLUTE pidl : {tooLong.get(), computer.get(), static_cast<PIDLIST_ABSOLUTE>(nullptr)}) {
        buffer[0] = L'x';
        EXPECT_FALSE(SHGetPathFromIDListW(pidl, buffer));
        EXPECT_EQ(L'\0', buffer[0]);
    }
}

TEST(ShellTest, AllocatorCountsWhatItHasOutAndCatchesStrayFrees) {
    const ShellCounts before = GetShellCounts();
    IMalloc* allocator = nullptr;
    ASSERT_EQ(S_OK, SHGetMalloc(&allocator));
    PIDLIST_ABSOLUTE item = NewFolderItem(L"\\srv");
    EXPECT_EQ(before.allocatorReferences + 1, GetShellCounts().allocatorReferences);
    EXPECT_EQ(before.itemLists + 1, GetShellCounts().itemLists);
    int local = 0;
    allocator->Free(item);
    allocator->Free(item);    // a second time
    allocator->Free(&local);  // never handed out
    allocator->Free(nullptr);
    wchar_t buffer[MAX_PATH];
    EXPECT_FALSE(SHGetPathFromIDListW(item, buffer));  // not read after its Free
    allocator->Release();
    const ShellCounts after = GetShellCounts();
    EXPECT_EQ(before.itemLists, after.itemLists);
    EXPECT_EQ(before.allocatorReferences, after.allocatorReferences);
    EXPECT_EQ(before.strayFrees + 2, after.strayFrees);
}

// Shows a box with `typed` waiting on its input; returns what it printed
// and what it left unread.
std::pair<std::string, std::string> ShowMessageBox(const wchar_t* text, bool interactive, const std::string& typed) {
    int input[2];
    EXPECT_EQ(0, ::pipe(input));
    EXPECT_EQ(static_cast<ssize_t>(typed.size()), ::write(input[1], typed.data(), typed.size()));
    ::close(input[1]);
    FILE* output = std::tmpfile();
    Overrides overrides;
    overrides.input = input[0];
    overrides.output = ::fileno(output);
    overrides.interactive = interactive;
    {
        const ScopedOverrides scope(overrides);
        EXPECT_EQ(IDOK, MessageBoxW(nullptr, text, L"Cuecarry", MB_ICONERROR | MB_SYSTEMMODAL));
    }
    std::string printed(4096, '\0');
    printed.resize(static_cast<std::size_t>(::pread(::fileno(output), &printed[0], printed.size(), 0)));
    // The line that the program reads next, wherever it waits.
    const std::optional<posix::InputLine> next = posix::ReadLine(input[0], 4096);
    const std::string unread = next ? next->text : "<end>";
    std::fclose(output);
    ::close(input[0]);
    return {printed, unread};
}

// The message is the run's last word: the program ends after it without
// waiting, at a terminal too (--pause waits, not the box), and leaves the
// input alone.
TEST(ShellTest, MessageBoxPrintsCaptionAndTextAndNeverWaits) {
    for (const bool interactive : {false, true}) {
        SCOPED_TRACE(interactive);
        EXPECT_EQ(std::make_pair(std::string("Cuecarry: Cuecarry complete\n"), std::string("next")),
                  ShowMessageBox(L"Cuecarry complete", interactive, "next\n"));
        EXPECT_EQ(std::make_pair(std::string("Cuecarry: Cuecarry complete\n\n2 caption files could not be copied.\n"),
                                 std::string("<end>")),
                  ShowMessageBox(L"Cuecarry complete\n\n2 caption files could not be copied.", interactive, ""));
        EXPECT_EQ("Cuecarry: a?]0;x?b <U+202E>\n", ShowMessageBox(L"a\x1b]0;x\x07" L"b \u202E", interactive, "\n").first);
    }
}

}  // namespace
