// A reusable folder choice over the shell's folder browser. The owner sets
// the options, calls Browse, and after a result of 1 reads selectedPath (and
// imageIndex). The object must outlive the Browse call: the browser hands it
// back to BrowseCallback.
#pragma once

#include "framework/CString.h"
#include "platform/Platform.h"

class CDirDialog {
public:
    CDirDialog();
    virtual ~CDirDialog();

    // Shows the browser modally, with no owner window. 1 when a folder was
    // chosen and its file-system path obtained, 0 otherwise; selectedPath is
    // empty after a 0.
    int Browse();

    // The browser's callback; `data` is the CDirDialog. Always 0.
    static int CALLBACK BrowseCallback(HWND hwnd, UINT message, LPARAM lParam, LPARAM data);

    CString windowCaption;   // the browser window's title; empty leaves the browser's own
    CString selectedPath;    // the chosen folder's path, after Browse returned 1
    CString rootFolder;      // top of the browser's tree, shorter than 260; empty: the browser's default
    CString startSelection;  // folder selected on opening; Browse trims it in place
    CString promptText;      // instruction above the tree; empty shows "Open"
    int imageIndex;          // icon of the item chosen in the latest browse that returned one
    BOOL showStatus;         // gives the browser a status line, filled after each selection

protected:
    // Decides, after each change of selection, whether OK is enabled
    // (nonzero) and what the status line says. `path` is the selection's
    // file-system path, empty when it has none; `statusText` arrives empty.
    virtual int ValidateSelection(const wchar_t* path, CString& statusText);

private:
    void NormaliseStartSelection();
    void OnInitialized(HWND hwnd);
    void OnSelectionChanged(HWND hwnd, PCIDLIST_ABSOLUTE item);
};
