// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds and loads the window module beside the program (or, when installed, in the private
// library folder ../lib/<multiarch>/veltrane).
#include <string>

namespace veltrane::app {

using RunInteractiveFunction = int (*)(int argc, char** argv, const char* programPath);
using ShowBatchFailureFunction = void (*)(int argc, char** argv, const char* message);

struct WindowModule {
    RunInteractiveFunction RunInteractive = nullptr;
    ShowBatchFailureFunction ShowBatchFailure = nullptr;
    std::string Error;  // why it could not be loaded
};

WindowModule LoadWindowModule(const std::string& programPath);

}  // namespace veltrane::app
