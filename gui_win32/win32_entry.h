// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Start-up of the window on Windows, and the message box of a failed batch run.
#include <string>

namespace veltrane::win32 {

// Opens the main window with the Win32 services and the registry's registration; returns when
// it is closed, with the program's exit status.
int RunWindow(const std::string& programPath);

// Shows message (UTF-8) in an error box captioned with the program's title.
void ShowBatchFailure(const std::string& message);

// A Windows program built for the GUI subsystem has no console. When it was started from a
// console with a command line, its output goes to that console (unless the standard handles
// were redirected already); returns whether the program can print anywhere.
bool AttachToParentConsole();

// The user guide beside the installed program, or the copy in the source tree; "" if none.
std::string UserGuidePath(const std::string& programPath);

}  // namespace veltrane::win32
