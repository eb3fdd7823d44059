#include "platform/posix/gtk/GtkFaces.h"

#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>

#include "platform/posix/Console.h"
#include "platform/posix/DesktopFaces.h"
#include "platform/posix/gtk/GtkDialogs.h"
#include "platform/posix/Names.h"

namespace posix {

bool NamesADisplay(const char* x11, const char* wayland) {
    const auto named = [](const char* value) { return value != nullptr && *value != '\0'; };
    return named(x11) || named(wayland);
}

bool InstallGtkFaces(std::string& whyNot) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!NamesADisplay(x11, wayland)) {
        whyNot = "no display is named (DISPLAY and WAYLAND_DISPLAY are not set)";
        return false;
    }
    // GTK would take the whole locale from the environment; the program
    // keeps the C library's behaviour as cuecarry has it (reasons in
    // English, the C locale's character classes), and GTK's own texts are
    // then English like the program's.
    gtk_disable_setlocale();
    // The windows' class and the name on the accessibility bus; the desktop
    // entry names the same class.
    g_set_prgname("cuecarry-gtk");
    g_set_application_name("Cuecarry");
    if (!gtk_init_check(nullptr, nullptr)) {
        const char* named = wayland != nullptr && *wayland != '\0' ? wayland : x11;
        whyNot = "the display " + DisplayText(WidenName(named, std::strlen(named))) + " cannot be opened";
        return false;
    }
    gtk_window_set_default_icon_name("cuecarry");
    InstallDesktopFaces({&RunGtkChooser, &ShowGtkMessage});
    return true;
}

}  // namespace posix
