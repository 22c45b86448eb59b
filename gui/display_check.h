// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a window can be shown, decided from the environment before any Qt object exists
// (QApplication aborts the program when it cannot reach a display).
#include <functional>
#include <string>

namespace veltrane::gui {

enum class DisplayKind {
    None,      // nothing to show a window on
    Screen,    // a display that a person looks at (X11, Wayland, a framebuffer, VNC)
    Headless,  // Qt's offscreen or minimal platform: windows exist but nobody sees them
};

// Reads an environment variable; returns an empty string for an unset one.
using EnvironmentReader = std::function<std::string(const char* name)>;

// QT_QPA_PLATFORM, when set, names the platforms Qt tries in turn ("wayland;xcb", each entry
// possibly with ":options"): offscreen and minimal are Headless, the framebuffer and VNC
// platforms are a Screen of their own, xcb needs DISPLAY and wayland WAYLAND_DISPLAY; when no
// entry can work there is None. Without it, DISPLAY or WAYLAND_DISPLAY decides.
DisplayKind DetectDisplay(const EnvironmentReader& env);

// The process environment.
DisplayKind DetectDisplay();

}  // namespace veltrane::gui
