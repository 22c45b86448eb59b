#include "app/window_module.h"

#include <dlfcn.h>

#include "core/common/native_path.h"

namespace veltrane::app {

WindowModule LoadWindowModule(const std::string& programPath) {
    WindowModule module;
    const std::string folder = FolderPart(FullPath(programPath));
    void* handle = nullptr;
    for (const std::string& candidate : {folder + "/" VELTRANE_GUI_MODULE,
                                         folder + "/../" VELTRANE_MODULE_DIR "/" VELTRANE_GUI_MODULE}) {
        handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) break;
        module.Error = ::dlerror();
    }
    if (handle == nullptr) return module;
    module.RunInteractive =
        reinterpret_cast<RunInteractiveFunction>(::dlsym(handle, "veltrane_gui_run_interactive"));
    module.ShowBatchFailure =
        reinterpret_cast<ShowBatchFailureFunction>(::dlsym(handle, "veltrane_gui_show_batch_failure"));
    if (module.RunInteractive == nullptr || module.ShowBatchFailure == nullptr) {
        module.Error = "the window module " VELTRANE_GUI_MODULE " lacks its entry points";
        module.RunInteractive = nullptr;
        module.ShowBatchFailure = nullptr;
    }
    return module;  // the module stays loaded until the program ends
}

}  // namespace veltrane::app
