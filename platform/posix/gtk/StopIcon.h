// The stop icon of the desktop's message box, drawn rather than taken from
// the icon theme: GTK 3.24 draws no icon for an error message of its own,
// and a theme may have none, or a grey symbolic one.
#pragma once

#include <cairo.h>

namespace posix {

// A red disc with a darker rim and a white cross, filling the square of
// `size` units at the origin, as the Windows stop icon shows it.
void DrawStopIcon(cairo_t* cr, double size);

}  // namespace posix
