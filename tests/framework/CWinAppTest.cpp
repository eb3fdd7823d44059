#include "framework/CWinApp.h"

#include <gtest/gtest.h>

namespace {

class CountingApp : public CWinApp {
public:
    explicit CountingApp(BOOL result) : result_(result) {}
    BOOL InitInstance() override {
        CWinApp::InitInstance();
        ++runs;
        return result_;
    }
    int runs = 0;

private:
    BOOL result_;
};

TEST(AfxWinMain, RunsTheApplicationOnceAndEndsTheRun) {
    for (const BOOL wantsMessageLoop : {FALSE, TRUE}) {
        CountingApp app(wantsMessageLoop);
        ASSERT_EQ(AfxGetApp(), &app);
        // There are no windows, so no loop: the run ends either way, with
        // the application's exit status.
        EXPECT_EQ(AfxWinMain(nullptr, nullptr, nullptr, 0), 0);
        EXPECT_EQ(app.runs, 1);
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxWinMain(nullptr, nullptr, nullptr, 0), -1) << "no application object";
}

TEST(CWinApp, RecordsTheSettingsKey) {
    CountingApp app(FALSE);
    EXPECT_TRUE(app.RegistryKey().IsEmpty());
    app.SetRegistryKey(L"Local AppWizard-Generated Applications");
    EXPECT_EQ(app.RegistryKey(), L"Local AppWizard-Generated Applications");
}

}  // namespace
