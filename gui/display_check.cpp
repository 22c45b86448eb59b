// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/display_check.h"

#include <cstdlib>
#include <string_view>

namespace veltrane::gui {
namespace {

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
        if (name == n) return true;
    return false;
}

}  // namespace

DisplayKind DetectDisplay(const EnvironmentReader& env) {
    const bool x11 = !env("DISPLAY").empty();
    const bool wayland = !env("WAYLAND_DISPLAY").empty();
    const std::string platforms = env("QT_QPA_PLATFORM");
    if (platforms.empty()) return x11 || wayland ? DisplayKind::Screen : DisplayKind::None;

    // Qt tries the entries of a "wayland;xcb" list in turn; each may carry ":options".
    std::size_t start = 0;
    while (start <= platforms.size()) {
        std::size_t stop = platforms.find(';', start);
        if (stop == std::string::npos) stop = platforms.size();
        std::string_view entry(platforms.data() + start, stop - start);
        entry = entry.substr(0, entry.find(':'));
        if (OneOf(entry, {"offscreen", "minimal", "minimalegl"})) return DisplayKind::Headless;
        if (OneOf(entry, {"eglfs", "linuxfb", "vnc", "vkkhrdisplay", "directfb"}))
            return DisplayKind::Screen;
        if (entry == "xcb" && x11) return DisplayKind::Screen;
        if (entry.substr(0, 7) == "wayland" && wayland) return DisplayKind::Screen;
        start = stop + 1;
    }
    return DisplayKind::None;
}

DisplayKind DetectDisplay() {
    return DetectDisplay([](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    });
}

}  // namespace veltrane::gui
