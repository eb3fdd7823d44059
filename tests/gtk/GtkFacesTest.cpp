// What the GTK faces decide without a display: whether the environment
// names one, that a display that does not open leaves the terminal's faces
// in place, and the stop icon as it is drawn.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/DesktopFaces.h"
#include "platform/posix/gtk/GtkFaces.h"
#include "platform/posix/gtk/StopIcon.h"

namespace {

TEST(GtkFaces, ADisplayIsNamedByAValueOfEitherVariable) {
    const struct {
        const char* x11;
        const char* wayland;
        bool named;
    } cases[] = {
        {nullptr, nullptr, false}, {"", "", false}, {":0", nullptr, true}, {nullptr, "wayland-0", true},
        {"", "wayland-1", true},   {":99.0", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(posix::NamesADisplay(c.x11, c.wayland), c.named) << (c.x11 ? c.x11 : "-") << (c.wayland ? c.wayland : "-");
    }
}

TEST(GtkFaces, WhereNoDisplayOpensTheTerminalKeepsItsFacesAndSaysWhy) {
    ::unsetenv("WAYLAND_DISPLAY");
    // None named, then one that no X server serves (its name cleaned).
    const struct {
        const char* display;
        const char* why;
    } cases[] = {
        {nullptr, "no display is named (DISPLAY and WAYLAND_DISPLAY are not set)"},
        {":4711\x1b", "the display :4711? cannot be opened"},
    };
    for (const auto& c : cases) {
        if (c.display != nullptr) ::setenv("DISPLAY", c.display, 1);
        else ::unsetenv("DISPLAY");
        std::string whyNot;
        EXPECT_FALSE(posix::InstallGtkFaces(whyNot));
        EXPECT_EQ(whyNot, c.why);
        EXPECT_EQ(posix::InstalledDesktopFaces(), nullptr);
    }
}

TEST(StopIcon, IsARedDiscWithAWhiteCrossOnNothing) {
    constexpr int kSize = 48;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize);
    cairo_t* cr = cairo_create(surface);
    posix::DrawStopIcon(cr, kSize);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    // Native-endian premultiplied ARGB; every point looked at is opaque or
    // empty. 'r' red, 'w' white, ' ' nothing.
    const auto kind = [&](int x, int y) {
        std::uint32_t pixel;
        std::memcpy(&pixel, cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + x * 4,
                    sizeof pixel);
        const unsigned alpha = pixel >> 24, red = pixel >> 16 & 0xFF, green = pixel >> 8 & 0xFF, blue = pixel & 0xFF;
        if (alpha == 0) return ' ';
        if (alpha == 255 && red > 240 && green > 240 && blue > 240) return 'w';
        if (alpha == 255 && red > 150 && green < 90 && blue < 90) return 'r';
        return '?';
    };
    constexpr int kLast = kSize - 1, kMiddle = kSize / 2;
    // The corners, the disc between the cross's arms, the cross's centre
    // and a point along each arm.
    const std::string seen = {kind(0, 0),           kind(kLast, 0),       kind(0, kLast),       kind(kLast, kLast),
                              kind(kMiddle, 6),     kind(kMiddle, kLast - 6), kind(6, kMiddle), kind(kLast - 6, kMiddle),
                              kind(kMiddle, kMiddle), kind(17, 17),       kind(kLast - 17, 17), kind(17, kLast - 17),
                              kind(kLast - 17, kLast - 17)};
    EXPECT_EQ(seen, "    rrrrwwwww");
    cairo_surface_destroy(surface);
}

}  // namespace
