// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The entry points of the window module (veltrane-gui.so, with Qt): the program loads it only
// when it opens a window or shows a message box (app/window_module.cpp); the module defines them
// (gui/gui_module.cpp). Both sides include this header, so a name or a signature that changes on
// one side fails to build on the other.
//
// The interface is plain C: the program links the C++ library statically and the module links
// its own copy (through Qt's), so no C++ object crosses it.

extern "C" {

// Opens the main window and runs until it closes; returns the program's exit status.
int veltrane_gui_run_interactive(int argc, char** argv, const char* programPath);
// Shows message in a message box (a batch run started without a console that failed).
void veltrane_gui_show_batch_failure(int argc, char** argv, const char* message);

}  // extern "C"

// The names under which the program looks them up.
#define VELTRANE_GUI_RUN_INTERACTIVE_SYMBOL "veltrane_gui_run_interactive"
#define VELTRANE_GUI_SHOW_BATCH_FAILURE_SYMBOL "veltrane_gui_show_batch_failure"
