// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_module.h"

#include "app/module_loader.h"

namespace veltrane::app {

WindowModule LoadWindowModule(const std::string& programPath) {
    WindowModule module;
    void* handle = LoadProgramModule(programPath, VELTRANE_GUI_MODULE, module.Error);
    if (handle == nullptr) return module;
    module.RunInteractive =
        reinterpret_cast<RunInteractiveFunction>(ModuleSymbol(handle, VELTRANE_GUI_RUN_INTERACTIVE_SYMBOL));
    module.ShowBatchFailure =
        reinterpret_cast<ShowBatchFailureFunction>(ModuleSymbol(handle, VELTRANE_GUI_SHOW_BATCH_FAILURE_SYMBOL));
    if (module.RunInteractive == nullptr || module.ShowBatchFailure == nullptr) {
        module.Error = "the window module " VELTRANE_GUI_MODULE " lacks its entry points";
        module.RunInteractive = nullptr;
        module.ShowBatchFailure = nullptr;
    }
    return module;  // the module stays loaded until the program ends
}

}  // namespace veltrane::app
