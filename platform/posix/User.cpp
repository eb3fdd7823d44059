// User-interface calls of the stand-in. Window calls go to the window object
// that the handle points to; the screen and the message box belong to the
// terminal.
#include "platform/posix/User.h"

#include <optional>
#include <string>

#include "platform/posix/files/PlannedWrites.h"
#include "platform/posix/Console.h"
#include "platform/posix/DesktopFaces.h"
#include "platform/posix/ShellInternal.h"

namespace posix {

Window::~Window() = default;

}  // namespace posix

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return hWnd != nullptr ? hWnd->Send(Msg, wParam, lParam) : 0;
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    return hWnd != nullptr ? hWnd->SetText(lpString) : FALSE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    return hWnd != nullptr && lpRect != nullptr ? hWnd->ClientRect(lpRect) : FALSE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
    return hWnd != nullptr ? hWnd->SetPos(hWndInsertAfter, X, Y, cx, cy, uFlags) : FALSE;
}

// A terminal has no pixels. The stand-in's primary screen is a fixed
// 1920 x 1080 rather than the terminal's columns and rows: placement
// arithmetic stays in the units Windows code expects and gives the same
// numbers on every run.
int WINAPI GetSystemMetrics(int nIndex) {
    const posix::testing::Overrides& overrides = posix::ActiveOverrides();
    switch (nIndex) {
    case SM_CXSCREEN:
        return overrides.screenWidth;
    case SM_CYSCREEN:
        return overrides.screenHeight;
    default:
        return 0;
    }
}

// The message on standard output, "caption: text", line breaks kept, or in
// the desktop's message box when a desktop program installed one. The
// program ends after it without waiting, unless asked to (`--pause`). The
// only button is OK, whatever the style asks for. A dry run's message says
// that nothing was written, whatever the run says.
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    const posix::Console console = posix::ActiveConsole();
    const std::wstring caption = lpCaption != nullptr ? lpCaption : L"Error";
    std::wstring text = lpText != nullptr ? lpText : L"";
    std::vector<posix::testing::MessageBoxCall>* const kept = posix::ActiveOverrides().messageBoxes;
    if (kept != nullptr) kept->push_back({hWnd, text, caption, uType});
    if (posix::PlanningWritesOnly()) text += L"\n\nThis was a dry run: nothing was written.";
    if (const posix::DesktopFaces* desktop = posix::InstalledDesktopFaces()) {
        desktop->message(caption, text, uType);
        return IDOK;
    }
    posix::WriteText(console.output, posix::DisplayText(caption) + ": " + posix::DisplayText(text, true) + "\n");
    return IDOK;
}
