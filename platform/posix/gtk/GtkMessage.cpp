// The desktop's face of MessageBoxW: a modal dialog with the caption as its
// title, the stop icon when the style asks for it (MB_ICONERROR), the text
// with all its lines and one OK button, kept above other windows when the
// style says system-modal (MB_SYSTEMMODAL), as the run's message always
// does. OK, Return, Esc and closing the window all dismiss it.
#include <algorithm>
#include <string>

#include "platform/posix/Console.h"
#include "platform/posix/gtk/GtkDialogs.h"
#include "platform/posix/gtk/StopIcon.h"
#include "platform/posix/User.h"

namespace posix {
namespace {

constexpr int kIconSize = 48;
constexpr int kSpacing = 12;
// Around everything, the OK button included.
constexpr int kBorder = 6;
// The icon bits of a message box style; MB_ICONERROR is one value of them.
constexpr UINT kIconMask = 0xF0;
// Longer lines wrap. An entry that names a caption left behind, with its
// folders and the reason, takes about as much; the folders at its top and
// the record's path may take more.
constexpr int kWidestLine = 90;

gboolean DrawIcon(GtkWidget* area, cairo_t* cr, gpointer) {
    DrawStopIcon(cr, std::min(gtk_widget_get_allocated_width(area), gtk_widget_get_allocated_height(area)));
    return FALSE;
}

GtkWidget* StopIcon() {
    GtkWidget* area = gtk_drawing_area_new();
    gtk_widget_set_size_request(area, kIconSize, kIconSize);
    gtk_widget_set_valign(area, GTK_ALIGN_START);
    g_signal_connect(area, "draw", G_CALLBACK(&DrawIcon), nullptr);
    AtkObject* accessible = gtk_widget_get_accessible(area);
    atk_object_set_role(accessible, ATK_ROLE_ICON);
    atk_object_set_name(accessible, "Error");
    return area;
}

GtkWidget* Text(const std::wstring& text) {
    GtkWidget* label = gtk_label_new(DisplayText(text, true).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_yalign(GTK_LABEL(label), 0);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), kWidestLine);
    return label;
}

}  // namespace

void ShowGtkMessage(const std::wstring& caption, const std::wstring& text, UINT style) {
    const OwnedWindow window(gtk_dialog_new_with_buttons(DisplayText(caption).c_str(), nullptr, GTK_DIALOG_MODAL,
                                                         "_OK", GTK_RESPONSE_OK, nullptr));
    GtkWindow* dialog = GTK_WINDOW(window.get());
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_window_set_resizable(dialog, FALSE);
    gtk_container_set_border_width(GTK_CONTAINER(dialog), kBorder);
    gtk_window_set_position(dialog, GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(dialog, (style & MB_SYSTEMMODAL) != 0 ? TRUE : FALSE);
    atk_object_set_role(gtk_widget_get_accessible(window.get()), ATK_ROLE_ALERT);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kSpacing);
    gtk_container_set_border_width(GTK_CONTAINER(row), kSpacing - kBorder);
    if ((style & kIconMask) == MB_ICONERROR) gtk_box_pack_start(GTK_BOX(row), StopIcon(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), Text(text), TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row, TRUE, TRUE, 0);
    gtk_widget_show_all(row);
    gtk_dialog_run(GTK_DIALOG(dialog));
}

}  // namespace posix
