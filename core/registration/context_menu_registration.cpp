// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/registration/context_menu_registration.h"

#include <cstdlib>

#include "core/common/native_path.h"

#ifdef _WIN32
#include "core/registration/registry_registration.h"
#else
#include "core/registration/freedesktop_registration.h"
#endif

namespace veltrane {

std::unique_ptr<ContextMenuRegistration> CreatePlatformRegistration() {
#ifdef _WIN32
    return std::make_unique<RegistryRegistration>(CreateClassesRootStore());
#else
    return std::make_unique<FreedesktopRegistration>(
        UserDataHome(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")));
#endif
}

bool RefreshRegistration(ContextMenuRegistration& registration, const std::string& programPath) {
    if (!registration.IsRegistered()) return false;
    // Without a path of its own the program cannot name itself: the entry stays as it is.
    if (programPath.empty()) return true;
    const std::string registered = registration.RegisteredProgramPath();
    if (!registered.empty() && registered != programPath && IsExistingFile(registered))
        return true;
    registration.Register(programPath, registration.RegisteredModeWord());
    return true;
}

}  // namespace veltrane
