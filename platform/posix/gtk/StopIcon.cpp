#include "platform/posix/gtk/StopIcon.h"

#include <cmath>

namespace posix {
namespace {

struct Colour {
    double red, green, blue;
};
constexpr Colour kLight = {0.93, 0.27, 0.23};
constexpr Colour kDark = {0.76, 0.09, 0.07};
constexpr Colour kRim = {0.55, 0.04, 0.03};

void AddStop(cairo_pattern_t* pattern, double offset, Colour colour) {
    cairo_pattern_add_color_stop_rgb(pattern, offset, colour.red, colour.green, colour.blue);
}

}  // namespace

void DrawStopIcon(cairo_t* cr, double size) {
    const double centre = size / 2;
    const double rim = size / 24;
    const double radius = centre - rim;
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_arc(cr, centre, centre, radius, 0, 2 * M_PI);
    // Lit from the top left, as the system's icons are.
    cairo_pattern_t* shade =
        cairo_pattern_create_radial(centre - radius / 3, centre - radius / 3, radius / 8, centre, centre, radius);
    AddStop(shade, 0, kLight);
    AddStop(shade, 1, kDark);
    cairo_set_source(cr, shade);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(shade);
    cairo_set_source_rgb(cr, kRim.red, kRim.green, kRim.blue);
    cairo_set_line_width(cr, rim);
    cairo_stroke(cr);

    const double arm = radius * 0.4;
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, size * 0.11);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, centre - arm, centre - arm);
    cairo_line_to(cr, centre + arm, centre + arm);
    cairo_move_to(cr, centre + arm, centre - arm);
    cairo_line_to(cr, centre - arm, centre + arm);
    cairo_stroke(cr);
    cairo_restore(cr);
}

}  // namespace posix
