// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a loadable module: the program loads it (and with it Qt) only when it opens a
// window or shows a message box, so a batch split starts as fast as a plain command-line tool.
#include "gui/gui_entry.h"
#include "imaging/module/window_abi.h"

// The names and signatures are those of imaging/module/window_abi.h, which the program uses.
#define VELTRANE_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

VELTRANE_MODULE_EXPORT int veltrane_gui_run_interactive(int argc, char** argv, const char* programPath) {
    return veltrane::gui::RunInteractive(argc, argv, programPath);
}

VELTRANE_MODULE_EXPORT void veltrane_gui_show_batch_failure(int argc, char** argv, const char* message) {
    veltrane::gui::ShowBatchFailure(argc, argv, message);
}
