// The message that ends a run, on both builds: what the copy left behind,
// the copies that replaced one the run made earlier, and that a source of
// neither layout copied nothing.
#include <gtest/gtest.h>

#include <string>

#include "app/CompletionText.h"

namespace {

TEST(CompletionText, SaysWhatTheCopyLeftBehind) {
    const struct {
        CopyOutcome outcome;
        const wchar_t* text;
    } cases[] = {
        // not copied, not read, layout, not made, copied, replaced
        {{0, 0, true}, L"Cuecarry complete"},
        {{0, 0, true, 0, 7, 0}, L"Cuecarry complete"},
        {{1, 0, true}, L"Cuecarry complete\n\n1 caption file could not be copied."},
        {{2, 0, true}, L"Cuecarry complete\n\n2 caption files could not be copied."},
        {{0, 1, true}, L"Cuecarry complete\n\n1 folder could not be read."},
        {{3, 12, true}, L"Cuecarry complete\n\n3 caption files could not be copied.\n\n12 folders could not be read."},
        {{0, 0, true, 1, 0, 0}, L"Cuecarry complete\n\n1 folder could not be made."},
        {{0, 0, true, 0, 5, 1}, L"Cuecarry complete\n\n1 caption file replaced a copy made earlier in this run."},
        {{2, 1, true, 3, 9, 4},
         L"Cuecarry complete\n\n2 caption files could not be copied.\n\n1 folder could not be read.\n\n3 folders could "
         L"not be made.\n\n4 caption files replaced a copy made earlier in this run."},
        {{0, 0, false},
         L"Cuecarry complete\n\nNothing was copied: the starting folder is named neither VOD nor Zelvora."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(CompletionText(c.outcome)), c.text);
    }
}

}  // namespace
