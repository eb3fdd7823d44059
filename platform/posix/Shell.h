// Shell calls of the stand-in: the shell allocator, the desktop folder's
// parser, the folder browser and item lists. An item list is opaque to the
// layers above: it comes from the shell and goes back through the allocator.
#pragma once

#include "platform/posix/Types.h"

// Defined by the stand-in; only pointers to it cross the interface.
struct ITEMIDLIST;
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;
typedef ITEMIDLIST* PIDLIST_RELATIVE;

// COM interfaces, reduced to the methods that Cuecarry calls. Objects are
// released, never deleted, hence the protected destructors.
struct IMalloc {
    virtual void STDMETHODCALLTYPE Free(void* pv) = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IMalloc() = default;
};
typedef IMalloc* LPMALLOC;

struct IBindCtx;

struct IShellFolder {
    virtual HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND hwnd, IBindCtx* pbc, LPWSTR pszDisplayName,
                                                       ULONG* pchEaten, PIDLIST_RELATIVE* ppidl,
                                                       ULONG* pdwAttributes) = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IShellFolder() = default;
};

typedef int(CALLBACK* BFFCALLBACK)(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

struct BROWSEINFOW {
    HWND hwndOwner;
    PCIDLIST_ABSOLUTE pidlRoot;
    LPWSTR pszDisplayName;
    LPCWSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
};
typedef BROWSEINFOW* LPBROWSEINFOW;

#define BIF_RETURNONLYFSDIRS 0x00000001
#define BIF_STATUSTEXT 0x00000004
#define BIF_RETURNFSANCESTORS 0x00000008

// Sent by the browser to its callback.
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
// Sent to the browser window.
#define BFFM_ENABLEOK (WM_USER + 101)
#define BFFM_SETSELECTIONW (WM_USER + 103)
#define BFFM_SETSTATUSTEXTW (WM_USER + 104)

extern "C" {
HRESULT WINAPI SHGetMalloc(IMalloc** ppMalloc);
HRESULT WINAPI SHGetDesktopFolder(IShellFolder** ppshf);
PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW lpbi);
BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR pszPath);
}  // extern "C"
