// User-interface calls of the stand-in: window messages, title, placement,
// the screen size and the message box. A window handle points to a window
// object, so whoever owns a window (the terminal folder browser, or a test's
// recording window) decides what each call does to it.
#pragma once

#include <cstdint>

#include "platform/posix/Types.h"

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;

namespace posix {

// What a window handle points to. Each call below is forwarded to the window
// it names, with the same arguments and result.
class Window {
public:
    virtual ~Window();
    virtual LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual BOOL SetText(LPCWSTR text) = 0;
    virtual BOOL ClientRect(RECT* rect) = 0;
    virtual BOOL SetPos(Window* insertAfter, int x, int y, int cx, int cy, UINT flags) = 0;
};

}  // namespace posix

// Placement bands and flags, as Win32 numbers them. HWND_TOPMOST names no
// window: it is never called through.
#define HWND_TOPMOST (reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)))
#define SWP_SHOWWINDOW 0x0040

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

#define WM_USER 0x0400

#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define MB_SYSTEMMODAL 0x00001000L
#define IDOK 1

extern "C" {
LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString);
BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect);
BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);
int WINAPI GetSystemMetrics(int nIndex);
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
}  // extern "C"
