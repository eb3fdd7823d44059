#include "framework/CWinApp.h"

namespace {
CWinApp* currentApp = nullptr;
}

CWinApp::CWinApp(const wchar_t* appName) : appName_(appName) { currentApp = this; }

CWinApp::~CWinApp() {
    if (currentApp == this) currentApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

void CWinApp::SetRegistryKey(const wchar_t* company) { registryKey_ = company; }

CWinApp* AfxGetApp() { return currentApp; }

int AfxWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return -1;
    app->InitInstance();
    return app->ExitInstance();
}
