// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds and loads the window module beside the program (or, when installed, in the private
// library folder ../lib/<multiarch>/veltrane).
#include <string>

#include "imaging/module/window_abi.h"

namespace veltrane::app {

using RunInteractiveFunction = decltype(&veltrane_gui_run_interactive);
using ShowBatchFailureFunction = decltype(&veltrane_gui_show_batch_failure);

struct WindowModule {
    RunInteractiveFunction RunInteractive = nullptr;
    ShowBatchFailureFunction ShowBatchFailure = nullptr;
    std::string Error;  // why it could not be loaded
};

WindowModule LoadWindowModule(const std::string& programPath);

}  // namespace veltrane::app
