#include "platform/posix/DesktopFaces.h"

namespace posix {
namespace {

DesktopFaces& Installed() {
    static DesktopFaces faces{};
    return faces;
}

}  // namespace

void InstallDesktopFaces(const DesktopFaces& faces) { Installed() = faces; }

const DesktopFaces* InstalledDesktopFaces() {
    const DesktopFaces& faces = Installed();
    return faces.browse != nullptr && faces.message != nullptr ? &faces : nullptr;
}

}  // namespace posix
