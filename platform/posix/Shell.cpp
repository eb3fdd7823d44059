// Shell calls of the stand-in. The shell allocator and the desktop folder are
// process-wide objects that count what they have out, so that a test can
// tell whether every item list was freed and every interface released. The
// allocator hands out nothing but item lists; a Free of any other pointer is
// counted and otherwise ignored, never passed to the heap.
#include "platform/posix/Shell.h"

#include <map>
#include <memory>
#include <utility>

#include "platform/posix/Console.h"
#include "platform/posix/Folders.h"
#include "platform/posix/ShellInternal.h"

namespace posix {
namespace {

// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), as the desktop answers on Windows.
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);

class ShellAllocator final : public IMalloc {
public:
    void STDMETHODCALLTYPE Free(void* pv) override {
        if (pv == nullptr) return;
        if (live_.erase(pv) == 0) ++strayFrees_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        --references_;
        return Count(references_);
    }

    IMalloc* Acquire() {
        ++references_;
        return this;
    }
    PIDLIST_ABSOLUTE Allocate(ITEMIDLIST content) {
        auto item = std::make_unique<ITEMIDLIST>(std::move(content));
        PIDLIST_ABSOLUTE pidl = item.get();
        live_.emplace(pidl, std::move(item));
        return pidl;
    }
    const ITEMIDLIST* Find(const void* pidl) const {
        const auto found = live_.find(pidl);
        return found == live_.end() ? nullptr : found->second.get();
    }
    testing::ShellCounts Counts() const {
        return {static_cast<long>(live_.size()), references_, 0, strayFrees_};
    }

private:
    static ULONG Count(long references) { return references > 0 ? static_cast<ULONG>(references) : 0; }

    std::map<const void*, std::unique_ptr<ITEMIDLIST>> live_;
    long references_ = 0;
    long strayFrees_ = 0;
};

ShellAllocator& Allocator() {
    static ShellAllocator allocator;
    return allocator;
}

// The desktop parses absolute folder paths, in either separator, to folder
// items; it has no items of its own.
class DesktopFolder final : public IShellFolder {
public:
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR pszDisplayName, ULONG* pchEaten,
                                               PIDLIST_RELATIVE* ppidl, ULONG* pdwAttributes) override {
        if (ppidl == nullptr) return E_INVALIDARG;
        *ppidl = nullptr;
        if (pszDisplayName == nullptr) return E_INVALIDARG;
        const std::wstring text = pszDisplayName;
        if (!IsAbsoluteFolderPath(text)) return E_INVALIDARG;
        const std::wstring folder = NormalFolderPath(text);
        if (!IsFolder(folder)) return kFileNotFound;
        *ppidl = NewItemList(folder, FolderName(folder), true);
        if (pchEaten != nullptr) *pchEaten = static_cast<ULONG>(text.size());
        // No attribute that a caller could ask for is reported.
        if (pdwAttributes != nullptr) *pdwAttributes = 0;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        --references_;
        return references_ > 0 ? static_cast<ULONG>(references_) : 0;
    }

    IShellFolder* Acquire() {
        ++references_;
        return this;
    }
    long References() const { return references_; }

private:
    long references_ = 0;
};

DesktopFolder& Desktop() {
    static DesktopFolder desktop;
    return desktop;
}

testing::Overrides& OverridesInForce() {
    static testing::Overrides overrides;
    return overrides;
}

}  // namespace

const testing::Overrides& ActiveOverrides() { return OverridesInForce(); }

Console ActiveConsole() {
    const testing::Overrides& overrides = ActiveOverrides();
    // A person types the input; with it redirected, a script is at work. The
    // output may go to a pipe (`cuecarry | tee log`): the browser then draws
    // on the terminal itself.
    const bool interactive = overrides.interactive.value_or(IsTerminal(overrides.input));
    return {overrides.input, overrides.output, overrides.error, interactive};
}

PIDLIST_ABSOLUTE NewItemList(const std::wstring& path, const std::wstring& displayName, bool hasPath) {
    return Allocator().Allocate({path, displayName, hasPath});
}

void FreeItemList(PIDLIST_ABSOLUTE pidl) { Allocator().Free(pidl); }

const ITEMIDLIST* LiveItemList(PCIDLIST_ABSOLUTE pidl) { return Allocator().Find(pidl); }

namespace testing {

ShellCounts GetShellCounts() {
    ShellCounts counts = Allocator().Counts();
    counts.folderReferences = Desktop().References();
    return counts;
}

ScopedOverrides::ScopedOverrides(Overrides overrides)
    : previous_(std::exchange(OverridesInForce(), std::move(overrides))) {}

ScopedOverrides::~ScopedOverrides() { OverridesInForce() = std::move(previous_); }

PIDLIST_ABSOLUTE NewFolderItem(LPCWSTR path) {
    const std::wstring text = path != nullptr ? path : L"";
    return NewItemList(text, text.substr(text.find_last_of(L"\\/") + 1), true);
}

PIDLIST_ABSOLUTE NewVirtualItem(LPCWSTR displayName) {
    return NewItemList(L"", displayName != nullptr ? displayName : L"", false);
}

}  // namespace testing
}  // namespace posix

HRESULT WINAPI SHGetMalloc(IMalloc** ppMalloc) {
    if (ppMalloc == nullptr) return E_INVALIDARG;
    *ppMalloc = nullptr;
    if (posix::ActiveOverrides().failShellMalloc) return E_FAIL;
    *ppMalloc = posix::Allocator().Acquire();
    return S_OK;
}

HRESULT WINAPI SHGetDesktopFolder(IShellFolder** ppshf) {
    if (ppshf == nullptr) return E_INVALIDARG;
    *ppshf = nullptr;
    if (posix::ActiveOverrides().failDesktopFolder) return E_FAIL;
    *ppshf = posix::Desktop().Acquire();
    return S_OK;
}

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW lpbi) {
    if (lpbi == nullptr) return nullptr;
    // A copy: the script may put overrides of its own in force while it runs.
    const posix::testing::ScriptedBrowser script = posix::ActiveOverrides().browser;
    if (script) return script(*lpbi);
    return posix::RunTerminalBrowser(*lpbi, posix::ActiveConsole());
}

BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR pszPath) {
    if (pszPath == nullptr) return FALSE;
    pszPath[0] = L'\0';
    const ITEMIDLIST* item = posix::LiveItemList(pidl);
    // The caller's buffer holds MAX_PATH units, the terminator included.
    if (item == nullptr || !item->hasPath || item->path.size() >= MAX_PATH) return FALSE;
    item->path.copy(pszPath, item->path.size());
    pszPath[item->path.size()] = L'\0';
    return TRUE;
}
