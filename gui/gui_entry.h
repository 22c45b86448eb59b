// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Entry points of the desktop window, called by the program's main.
#include <string>

namespace veltrane::gui {

// Opens the main window and runs the event loop; returns the exit status. Without a display
// it says so on stderr, with a hint at the batch usage, and returns non-zero.
int RunInteractive(int argc, char** argv, const std::string& programPath);

// Shows a failed batch split's message in a message box when a display is present.
void ShowBatchFailure(int argc, char** argv, const std::string& message);

}  // namespace veltrane::gui
