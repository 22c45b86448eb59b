// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command-line faces of the context-menu registration, on a given registration (the commands
// of core/cli/commands.h run them on the platform's own).
#include <iosfwd>
#include <string>
#include <vector>

#include "core/registration/context_menu_registration.h"

namespace veltrane {

// --register-context-menu [odd|even]: prints one line on success; 1 on a failure (the error on
// err), 2 on wrong arguments.
int RunRegisterCommandOn(ContextMenuRegistration& registration,
                         const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                         const std::string& programPath);

// --unregister-context-menu: prints one line; 1 when the entry is still there afterwards, 2 on
// wrong arguments.
int RunUnregisterCommandOn(ContextMenuRegistration& registration,
                           const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err);

}  // namespace veltrane
