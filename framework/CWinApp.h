// The framework's application object and entry point: the one application
// object registers itself when it is constructed, and AfxWinMain runs it.
#pragma once

#include "framework/CString.h"
#include "platform/Platform.h"

class CWinApp {
public:
    // A null name lets the framework take the program's own name.
    explicit CWinApp(const wchar_t* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The framework's per-run set-up; an application that does its work here
    // returns FALSE so that no message loop is entered.
    virtual BOOL InitInstance();
    // The exit status of the run.
    virtual int ExitInstance();

    // Names the per-user settings key. Nothing is stored by this framework,
    // so the name is only recorded.
    void SetRegistryKey(const wchar_t* company);
    const CString& RegistryKey() const { return registryKey_; }

private:
    CString appName_;
    CString registryKey_;
};

// The application object of this process, or null before one is built.
CWinApp* AfxGetApp();

// Runs the application object once: InitInstance, then ExitInstance, whose
// result is the exit status. This framework has no windows of its own and so
// no message loop; the command line is left to the application.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);
