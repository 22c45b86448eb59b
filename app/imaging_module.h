// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a command of the imaging module (imaging_abi.h), loading the module on first use.
#include <iosfwd>
#include <string>
#include <vector>

#include "core/images/scanner.h"

namespace veltrane::app {

// `veltrane COMMAND ARGS...` in the module beside the program at programPath; its output goes
// to out and err. A module that cannot be loaded fails the command with the reason.
int RunImagingCommand(const std::string& programPath, const char* command, const std::vector<std::string>& args,
                      std::ostream& out, std::ostream& err, const ScanOptions& scan);

}  // namespace veltrane::app
