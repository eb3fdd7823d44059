/*
 * probe.exe: the GUI test's view from inside Wine, for what the X side
 * cannot show of Cuecarry's windows, and the launcher that records the
 * program's exit status. It never sends input to the program:
 * run_gui_tests.sh drives the program with xdotool. Built by that script
 * with the MinGW compiler, as a GUI-subsystem program (no console window
 * appears when it runs on a desktop; its output still reaches a pipe).
 *
 *   probe.exe [--desktop NAME] windows TITLE
 *       every visible top-level window whose title is exactly TITLE: class,
 *       topmost flag, window and client rectangles, the screen size, the
 *       control that has the keyboard focus, and each child control's class,
 *       id, state, rectangle (screen coordinates) and text.
 *   probe.exe [--desktop NAME] tree TITLE
 *       the selected item of the folder tree in the window titled TITLE, as
 *       the chain of display names from the tree's root, joined with " > ",
 *       and whether that item is expanded.
 *   probe.exe run RESULTFILE SECONDS [--trace CHANNELS] PROGRAM
 *       starts PROGRAM, writes "pid=N" (its Windows process id) to
 *       RESULTFILE.pid, waits for it and writes "exit=N" to RESULTFILE; after
 *       SECONDS it ends the program and writes "timeout". With --trace,
 *       the program (only) runs with WINEDEBUG=CHANNELS.
 *
 * --desktop reads the windows of that Wine desktop instead of the default.
 * Output is UTF-8, one "key=value" fact a line; line breaks inside a text
 * are written as \n (and \r, \t likewise), a backslash as \\.
 * Exit status: 0 when it could read what was asked, 1 when no such window
 * (or, for tree, no selected item), 2 on a usage or read error.
 */
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

static void put(const char *text) {
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)strlen(text), &written, NULL);
}

/* Writes TEXT as UTF-8 with control characters and backslashes escaped. */
static void put_text(const wchar_t *text) {
    static char utf8[8192];
    wchar_t escaped[4096];
    size_t n = 0;
    for (; *text != 0 && n + 3 < sizeof escaped / sizeof escaped[0]; ++text) {
        wchar_t c = *text;
        if (c == L'\n' || c == L'\r' || c == L'\t' || c == L'\\') {
            escaped[n++] = L'\\';
            escaped[n++] = c == L'\n' ? L'n' : c == L'\r' ? L'r' : c == L'\t' ? L't' : L'\\';
        } else {
            escaped[n++] = c;
        }
    }
    escaped[n] = 0;
    if (WideCharToMultiByte(CP_UTF8, 0, escaped, -1, utf8, sizeof utf8, NULL, NULL) > 0) put(utf8);
}

static void putf(const char *format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    put(line);
}

/* The window's text, read with WM_GETTEXT (marshalled across processes). */
static void window_text(HWND hwnd, wchar_t *buffer, int size) {
    buffer[0] = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, (WPARAM)size, (LPARAM)buffer, SMTO_ABORTIFHUNG, 2000, NULL);
    buffer[size - 1] = 0;
}

struct search {
    const wchar_t *title;
    HWND found[16];
    int count;
};

static BOOL CALLBACK collect(HWND hwnd, LPARAM data) {
    struct search *search = (struct search *)data;
    wchar_t title[512];
    if (!IsWindowVisible(hwnd)) return TRUE;
    window_text(hwnd, title, 512);
    if (wcscmp(title, search->title) == 0 && search->count < 16) search->found[search->count++] = hwnd;
    return TRUE;
}

static BOOL CALLBACK print_child(HWND child, LPARAM unused) {
    wchar_t name[256], text[2048];
    (void)unused;
    GetClassNameW(child, name, 256);
    window_text(child, text, 2048);
    RECT box;
    GetWindowRect(child, &box);
    put("child class=");
    put_text(name);
    putf(" id=%d visible=%d enabled=%d rect=%ld,%ld,%ld,%ld text=", (int)GetDlgCtrlID(child),
         IsWindowVisible(child) ? 1 : 0, IsWindowEnabled(child) ? 1 : 0, box.left, box.top,
         box.right - box.left, box.bottom - box.top);
    put_text(text);
    put("\n");
    return TRUE;
}

static int list_windows(const wchar_t *title) {
    struct search search = {title, {0}, 0};
    EnumWindows(collect, (LPARAM)&search);
    putf("count=%d\n", search.count);
    putf("screen=%d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    for (int i = 0; i < search.count; ++i) {
        HWND hwnd = search.found[i];
        wchar_t name[256];
        RECT window, client;
        LONG exstyle = GetWindowLongW(hwnd, GWL_EXSTYLE);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        GetClassNameW(hwnd, name, 256);
        GetWindowRect(hwnd, &window);
        GetClientRect(hwnd, &client);
        putf("window=%d hwnd=%p pid=%lu class=", i, (void *)hwnd, (unsigned long)pid);
        put_text(name);
        putf("\ntopmost=%d\n", (exstyle & WS_EX_TOPMOST) ? 1 : 0);
        putf("rect=%ld %ld %ld %ld\n", window.left, window.top, window.right - window.left,
             window.bottom - window.top);
        putf("client=%ld %ld\n", client.right - client.left, client.bottom - client.top);
        GUITHREADINFO thread;
        memset(&thread, 0, sizeof thread);
        thread.cbSize = sizeof thread;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, NULL), &thread) && thread.hwndFocus != NULL) {
            GetClassNameW(thread.hwndFocus, name, 256);
            putf("focus=");
            put_text(name);
            putf(" id=%d\n", (int)GetDlgCtrlID(thread.hwndFocus));
        } else {
            put("focus=\n");
        }
        EnumChildWindows(hwnd, print_child, 0);
    }
    return search.count > 0 ? 0 : 1;
}

/* Sends a tree-view message whose item lives in the tree's own process. */
static int tree_selection(const wchar_t *title) {
    struct search search = {title, {0}, 0};
    EnumWindows(collect, (LPARAM)&search);
    if (search.count != 1) {
        putf("count=%d\n", search.count);
        return 1;
    }
    HWND tree = FindWindowExW(search.found[0], NULL, WC_TREEVIEWW, NULL);
    if (tree == NULL) {
        put("error=no tree view\n");
        return 2;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process == NULL) {
        put("error=cannot open the program's process\n");
        return 2;
    }
    const SIZE_T textUnits = 520;
    BYTE *remote = VirtualAllocEx(process, NULL, sizeof(TVITEMW) + textUnits * sizeof(wchar_t),
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == NULL) {
        CloseHandle(process);
        put("error=cannot allocate in the program's process\n");
        return 2;
    }
    wchar_t *remoteText = (wchar_t *)(remote + sizeof(TVITEMW));

    wchar_t chain[32][260];
    int depth = 0;
    HTREEITEM item = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    int status = item == NULL ? 1 : 0;
    while (item != NULL && depth < 32) {
        TVITEMW query;
        SIZE_T moved = 0;
        memset(&query, 0, sizeof query);
        query.mask = TVIF_TEXT | TVIF_STATE;
        query.stateMask = TVIS_EXPANDED;
        query.hItem = item;
        query.pszText = remoteText;
        query.cchTextMax = 260;
        if (!WriteProcessMemory(process, remote, &query, sizeof query, &moved) ||
            !SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)remote) ||
            !ReadProcessMemory(process, remote, &query, sizeof query, &moved)) {
            put("error=cannot read a tree item\n");
            status = 2;
            break;
        }
        /* The tree may hand back its own text pointer instead of filling ours. */
        if (!ReadProcessMemory(process, query.pszText, chain[depth], sizeof chain[depth], &moved)) {
            put("error=cannot read a tree item's text\n");
            status = 2;
            break;
        }
        chain[depth][259] = 0;
        if (depth == 0) putf("expanded=%d\n", (query.state & TVIS_EXPANDED) ? 1 : 0);
        ++depth;
        item = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)item);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (status != 2) {
        put("selection=");
        for (int i = depth - 1; i >= 0; --i) {
            put_text(chain[i]);
            if (i > 0) put(" > ");
        }
        put("\n");
    }
    return status;
}

/* Writes "pid=N" to FILE: the test ends the program by that id if it must. */
static void write_file(const wchar_t *file, DWORD pid) {
    char text[32];
    DWORD written;
    HANDLE handle = CreateFileW(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return;
    snprintf(text, sizeof text, "pid=%lu\n", (unsigned long)pid);
    WriteFile(handle, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(handle);
}

static int run(const wchar_t *resultFile, const wchar_t *seconds, const wchar_t *trace, const wchar_t *program) {
    wchar_t commandLine[4096], pidFile[1024];
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    char result[64];
    DWORD written, code = 0;
    _snwprintf(pidFile, 1024, L"%ls.pid", resultFile);
    pidFile[1023] = 0;
    _snwprintf(commandLine, 4096, L"\"%ls\"", program);
    commandLine[4095] = 0;
    if (trace != NULL) SetEnvironmentVariableW(L"WINEDEBUG", trace);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessW(program, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        snprintf(result, sizeof result, "error=cannot start (%lu)\n", (unsigned long)GetLastError());
    } else {
        write_file(pidFile, process.dwProcessId);
        if (WaitForSingleObject(process.hProcess, (DWORD)_wtoi(seconds) * 1000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 255);
            WaitForSingleObject(process.hProcess, 5000);
            snprintf(result, sizeof result, "timeout\n");
        } else {
            GetExitCodeProcess(process.hProcess, &code);
            snprintf(result, sizeof result, "exit=%lu\n", (unsigned long)code);
        }
    }
    HANDLE file = CreateFileW(resultFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 2;
    WriteFile(file, result, (DWORD)strlen(result), &written, NULL);
    CloseHandle(file);
    return 0;
}

int wmain(int argc, wchar_t **argv) {
    int next = 1;
    if (argc >= 3 && wcscmp(argv[1], L"--desktop") == 0) {
        HDESK desktop = OpenDesktopW(argv[2], 0, FALSE, GENERIC_ALL);
        if (desktop == NULL || !SetThreadDesktop(desktop)) {
            put("error=cannot open that desktop\n");
            return 2;
        }
        next = 3;
    }
    if (argc == next + 2 && wcscmp(argv[next], L"windows") == 0) return list_windows(argv[next + 1]);
    if (argc == next + 2 && wcscmp(argv[next], L"tree") == 0) return tree_selection(argv[next + 1]);
    if (next == 1 && argc == 5 && wcscmp(argv[1], L"run") == 0) return run(argv[2], argv[3], NULL, argv[4]);
    if (next == 1 && argc == 7 && wcscmp(argv[1], L"run") == 0 && wcscmp(argv[4], L"--trace") == 0)
        return run(argv[2], argv[3], argv[5], argv[6]);
    put("usage: probe.exe [--desktop NAME] windows|tree TITLE\n"
        "       probe.exe run RESULTFILE SECONDS [--trace CHANNELS] PROGRAM\n");
    return 2;
}
