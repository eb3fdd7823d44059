// Shared by the shell and picker tests on the stand-in: a window that records
// every call made to it, and item lists that give themselves back.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

// Frees its item list through the shell allocator, as every holder must.
class OwnedItem {
public:
    explicit OwnedItem(PIDLIST_ABSOLUTE pidl) : pidl_(pidl) {}
    ~OwnedItem() {
        IMalloc* allocator = nullptr;
        if (pidl_ == nullptr || SHGetMalloc(&allocator) != S_OK) return;
        allocator->Free(pidl_);
        allocator->Release();
    }
    OwnedItem(const OwnedItem&) = delete;
    OwnedItem& operator=(const OwnedItem&) = delete;
    PIDLIST_ABSOLUTE get() const { return pidl_; }
    LPARAM param() const { return reinterpret_cast<LPARAM>(pidl_); }

private:
    PIDLIST_ABSOLUTE pidl_;
};

inline std::wstring PathOf(PCIDLIST_ABSOLUTE pidl) {
    wchar_t path[MAX_PATH];
    return SHGetPathFromIDListW(pidl, path) ? std::wstring(path) : std::wstring(L"<none>");
}

// Keeps each call as one line of text, so that a whole conversation compares
// (and prints) as a list.
class RecordingWindow : public posix::Window {
public:
    std::vector<std::wstring> calls;
    std::optional<RECT> client = RECT{0, 0, 400, 300};  // nothing: the query fails

    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) override {
        const std::wstring parameters = std::to_wstring(wParam) + L" ";
        if (message == BFFM_SETSELECTIONW) calls.push_back(L"select " + parameters + Quoted(lParam));
        else if (message == BFFM_SETSTATUSTEXTW) calls.push_back(L"status " + parameters + Quoted(lParam));
        else if (message == BFFM_ENABLEOK) calls.push_back(L"enable " + parameters + std::to_wstring(lParam));
        else calls.push_back(L"message " + std::to_wstring(message));
        return 0;
    }
    BOOL SetText(LPCWSTR text) override {
        calls.push_back(L"title " + Quoted(reinterpret_cast<LPARAM>(text)));
        return TRUE;
    }
    BOOL ClientRect(RECT* rect) override {
        calls.push_back(L"client");
        if (client) *rect = *client;
        return client ? TRUE : FALSE;
    }
    BOOL SetPos(posix::Window* after, int x, int y, int cx, int cy, UINT flags) override {
        calls.push_back(L"pos " + std::wstring(after == HWND_TOPMOST ? L"topmost " : L"other ") +
                        std::to_wstring(x) + L" " + std::to_wstring(y) + L" " + std::to_wstring(cx) + L"x" +
                        std::to_wstring(cy) + L" flags " + std::to_wstring(flags));
        return TRUE;
    }

private:
    static std::wstring Quoted(LPARAM text) {
        return text == 0 ? L"<null>" : L"\"" + std::wstring(reinterpret_cast<LPCWSTR>(text)) + L"\"";
    }
};
