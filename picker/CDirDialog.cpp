#include "picker/CDirDialog.h"

#include <algorithm>

namespace {

// Owns one reference to a shell interface and releases it on every way out.
template <typename Interface>
class InterfaceRef {
public:
    InterfaceRef() = default;
    ~InterfaceRef() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    InterfaceRef(const InterfaceRef&) = delete;
    InterfaceRef& operator=(const InterfaceRef&) = delete;

    // For the call that hands the interface out. Whatever it leaves there is
    // released, even after a failure result, so that a non-conforming
    // implementation cannot leak it.
    Interface** Receive() { return &pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    Interface* Get() const { return pointer_; }

private:
    Interface* pointer_ = nullptr;
};

// Owns an item list that the shell handed out, and frees it through the
// shell allocator, which must outlive it.
class ItemList {
public:
    explicit ItemList(IMalloc* allocator, LPITEMIDLIST pidl = nullptr) : allocator_(allocator), pidl_(pidl) {}
    ~ItemList() { allocator_->Free(pidl_); }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;

    LPITEMIDLIST* Receive() { return &pidl_; }
    LPITEMIDLIST Get() const { return pidl_; }
    explicit operator bool() const { return pidl_ != nullptr; }

private:
    IMalloc* allocator_;
    LPITEMIDLIST pidl_;
};

// Lends a string's storage to the shell as a buffer of MAX_PATH characters.
// Unless the buffer was kept, the string is left empty, so that nothing a
// browse that returned 0 left there (a display name, the previous choice)
// can pass for a result.
class PathBuffer {
public:
    explicit PathBuffer(CString& text) : text_(text), buffer_(text.GetBuffer(MAX_PATH)) {}
    ~PathBuffer() { text_.ReleaseBuffer(kept_ ? -1 : 0); }
    PathBuffer(const PathBuffer&) = delete;
    PathBuffer& operator=(const PathBuffer&) = delete;

    wchar_t* Get() const { return buffer_; }
    void Keep() { kept_ = true; }

private:
    CString& text_;
    wchar_t* buffer_;
    bool kept_ = false;
};

LPARAM TextParam(const wchar_t* text) { return reinterpret_cast<LPARAM>(text); }

// The root folder's item list, into `root`. False when the desktop folder
// was had and could not parse the path; without a desktop folder the browser
// simply opens at its own root.
bool ParseRootFolder(const CString& rootFolder, ItemList& root) {
    InterfaceRef<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.Receive())) || !desktop) return true;
    // ParseDisplayName takes a writable string; rootFolder is never changed.
    wchar_t path[MAX_PATH] = {};
    const int length = std::min(rootFolder.GetLength(), MAX_PATH - 1);
    std::copy(static_cast<const wchar_t*>(rootFolder), static_cast<const wchar_t*>(rootFolder) + length, path);
    ULONG parsed = 0;
    ULONG attributes = 0;
    return SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, path, &parsed, root.Receive(), &attributes));
}

}  // namespace

// imageIndex is left unset: nothing reads it before a browse sets it.
CDirDialog::CDirDialog() : showStatus(FALSE) {}

CDirDialog::~CDirDialog() = default;

int CDirDialog::ValidateSelection(const wchar_t*, CString&) { return 1; }

int CDirDialog::Browse() {
    NormaliseStartSelection();
    PathBuffer path(selectedPath);

    InterfaceRef<IMalloc> allocator;
    if (SHGetMalloc(allocator.Receive()) != S_OK || !allocator) return 0;

    ItemList root(allocator.Get());
    if (!rootFolder.IsEmpty() && !ParseRootFolder(rootFolder, root)) return 0;

    BROWSEINFOW info = {};
    info.hwndOwner = nullptr;
    info.pidlRoot = root.Get();
    info.pszDisplayName = path.Get();
    info.lpszTitle = promptText.IsEmpty() ? L"Open" : static_cast<const wchar_t*>(promptText);
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | (showStatus ? BIF_STATUSTEXT : 0);
    info.lpfn = &CDirDialog::BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(this);
    info.iImage = 0;

    const ItemList chosen(allocator.Get(), SHBrowseForFolderW(&info));
    if (!chosen) return 0;
    imageIndex = info.iImage;
    // Replaces the display name that the browser wrote into the same storage.
    if (!SHGetPathFromIDListW(chosen.Get(), path.Get())) return 0;
    path.Keep();
    return 1;
}

int CALLBACK CDirDialog::BrowseCallback(HWND hwnd, UINT message, LPARAM lParam, LPARAM data) {
    CDirDialog* dialog = reinterpret_cast<CDirDialog*>(data);
    if (dialog == nullptr) return 0;
    if (message == BFFM_INITIALIZED) {
        dialog->OnInitialized(hwnd);
    } else if (message == BFFM_SELCHANGED) {
        dialog->OnSelectionChanged(hwnd, reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam));
    }
    return 0;
}

// Trailing blanks, then one separator: "D:\clips\  " opens D:\clips, and a
// drive root "C:\" is sent as "C:". One separator at most, so "D:\clips\\"
// keeps one until the next Browse.
void CDirDialog::NormaliseStartSelection() {
    if (startSelection.IsEmpty()) return;
    startSelection.TrimRight();
    const int length = startSelection.GetLength();
    if (length == 0) return;
    const wchar_t last = startSelection[length - 1];
    if (last == L'\\' || last == L'/') startSelection = startSelection.Left(length - 1);
}

void CDirDialog::OnInitialized(HWND hwnd) {
    if (!startSelection.IsEmpty()) SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, TextParam(startSelection));
    if (!windowCaption.IsEmpty()) SetWindowTextW(hwnd, windowCaption);

    // A failed query leaves the rectangle empty, and the window is then
    // placed by the screen size alone.
    RECT client = {};
    GetClientRect(hwnd, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    // Centred by the client size, but sized to the client plus room for the
    // frame: the dialog's layout has always looked this way.
    SetWindowPos(hwnd, HWND_TOPMOST, (screenWidth - width) / 2, (screenHeight - height) / 2, width + 25,
                 height + 60, SWP_SHOWWINDOW);
}

void CDirDialog::OnSelectionChanged(HWND hwnd, PCIDLIST_ABSOLUTE item) {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(item, path)) path[0] = L'\0';
    CString statusText;
    const int accepted = ValidateSelection(path, statusText);
    if (showStatus) SendMessageW(hwnd, BFFM_SETSTATUSTEXTW, 0, TextParam(statusText));
    SendMessageW(hwnd, BFFM_ENABLEOK, 0, accepted);
}
