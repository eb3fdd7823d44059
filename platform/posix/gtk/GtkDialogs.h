// The GTK faces themselves, installed by GtkFaces.cpp once GTK runs, and
// what both hold their GTK objects with.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "platform/posix/ShellInternal.h"

namespace posix {

// One SHBrowseForFolderW call as a file chooser (GtkChooser.cpp).
PIDLIST_ABSOLUTE RunGtkChooser(BROWSEINFOW& info, const Console& console);

// MessageBoxW as a modal dialog with one OK button (GtkMessage.cpp).
void ShowGtkMessage(const std::wstring& caption, const std::wstring& text, UINT style);

// A top-level window of ours: destroyed, and taken off the screen before
// the run goes on (the copy after the second chooser gives GTK no chance
// to do it later).
struct WindowDestroy {
    void operator()(GtkWidget* window) const {
        gtk_widget_destroy(window);
        while (gtk_events_pending()) gtk_main_iteration();
    }
};
using OwnedWindow = std::unique_ptr<GtkWidget, WindowDestroy>;

// Text that GTK allocated for us.
struct TextFree {
    void operator()(gchar* text) const { g_free(text); }
};
using OwnedText = std::unique_ptr<gchar, TextFree>;

}  // namespace posix
