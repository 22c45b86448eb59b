// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop services of the main window are the window model's (core/window): the Qt
// implementations live in qt_services.h, the tests bring recording fakes.
#include "core/window/window_services.h"

namespace veltrane::gui {

using window::DesktopLauncher;
using window::FolderPicker;
using window::kApplicationTitle;
using window::MessageBoxes;
using window::OpenFileDialog;
using window::SaveFileDialog;
using window::StereoWriter;
using window::TempFolderProvider;
using window::TickCounter;
using window::WindowServices;

}  // namespace veltrane::gui
