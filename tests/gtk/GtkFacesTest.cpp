// What the GTK faces decide without a display: whether the environment
// names one, that a display that does not open leaves the terminal's faces
// in place, and the stop icon as it is drawn.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/posix/desktop_faces.h"
#include "platform/posix/gtk/gtk_faces.h"
#include "platform/posix/gtk/stop_icon.h"

namespace {

TEST(GtkFaces, ADisplayIsNamedByAValueOfEitherVariable) {
    const struct {
        const char* x11;
        const char* wayland;
        bool named;
    } cases[] = {
        {nullptr, nullptr, false}, {"", "", false},     {"", nullptr, false},
        {":0", nullptr, true},     {nullptr, "wayland-0", true}, {"", "wayland-1", true},
        {":99.0", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(posix::NamesADisplay(c.x11, c.wayland), c.named)
            << (c.x11 ? c.x11 : "<unset>") << " " << (c.wayland ? c.wayland : "<unset>");
    }
}

// Sets an environment variable for its lifetime, or unsets it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedVariable() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(GtkFaces, WhereNoDisplayOpensTheTerminalKeepsItsFaces) {
    // No display named at all, then one named that is not there (no X
    // server listens on display 4711).
    for (const char* display : {static_cast<const char*>(nullptr), ":4711"}) {
        SCOPED_TRACE(display ? display : "<unset>");
        const ScopedVariable x11("DISPLAY", display);
        const ScopedVariable wayland("WAYLAND_DISPLAY", nullptr);
        EXPECT_FALSE(posix::InstallGtkFaces());
        EXPECT_EQ(posix::InstalledDesktopFaces(), nullptr);
    }
}

struct SurfaceDestroy {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};

struct Pixel {
    int red, green, blue, alpha;
};

TEST(StopIcon, IsARedDiscWithAWhiteCrossOnNothing) {
    constexpr int kSize = 48;
    const std::unique_ptr<cairo_surface_t, SurfaceDestroy> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize));
    cairo_t* cr = cairo_create(surface.get());
    posix::DrawStopIcon(cr, kSize);
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const auto at = [&](int x, int y) {
        // Native-endian ARGB, premultiplied; the points tested are opaque
        // or empty.
        std::uint32_t value;
        std::memcpy(&value, data + y * stride + x * 4, sizeof value);
        return Pixel{static_cast<int>(value >> 16 & 0xFF), static_cast<int>(value >> 8 & 0xFF),
                     static_cast<int>(value & 0xFF), static_cast<int>(value >> 24)};
    };
    const auto red = [](Pixel p) { return p.alpha == 255 && p.red > 150 && p.green < 90 && p.blue < 90; };
    const auto white = [](Pixel p) { return p.alpha == 255 && p.red > 240 && p.green > 240 && p.blue > 240; };
    // The corners lie outside the disc.
    for (const auto& corner : {at(0, 0), at(kSize - 1, 0), at(0, kSize - 1), at(kSize - 1, kSize - 1)}) {
        EXPECT_EQ(corner.alpha, 0);
    }
    // Between the arms of the cross, above, below and beside the centre.
    for (const auto& disc : {at(kSize / 2, 6), at(kSize / 2, kSize - 7), at(6, kSize / 2), at(kSize - 7, kSize / 2)}) {
        EXPECT_TRUE(red(disc)) << disc.red << " " << disc.green << " " << disc.blue << " " << disc.alpha;
    }
    // The cross: its centre and a point along each arm.
    for (const auto& cross : {at(kSize / 2, kSize / 2), at(17, 17), at(kSize - 18, 17), at(17, kSize - 18),
                              at(kSize - 18, kSize - 18)}) {
        EXPECT_TRUE(white(cross)) << cross.red << " " << cross.green << " " << cross.blue << " " << cross.alpha;
    }
}

}  // namespace
