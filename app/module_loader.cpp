// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/module_loader.h"

#include <dlfcn.h>

#include "core/common/native_path.h"

namespace veltrane::app {

void* LoadProgramModule(const std::string& programPath, const char* fileName, std::string& error) {
    const std::string folder = FolderPart(FullPath(programPath));
    for (const std::string& candidate :
         {folder + "/" + fileName, folder + "/../" VELTRANE_MODULE_DIR "/" + fileName}) {
        if (void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
        const char* reason = ::dlerror();
        error = reason != nullptr ? reason : candidate + ": cannot be loaded";
    }
    return nullptr;
}

void* ModuleSymbol(void* module, const char* symbol) { return ::dlsym(module, symbol); }

}  // namespace veltrane::app
