// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the program's command line in process and keeps what it printed.
#include <sstream>
#include <string>
#include <vector>

#include "core/cli/command_line.h"

namespace veltrane::testing {

struct RunResult {
    int status;
    std::string out, err;
};

inline RunResult RunVeltrane(const std::vector<std::string>& args,
                             const CommandLineServices& services = {}) {
    std::ostringstream out, err;
    const int status = RunCommandLine(args, out, err, services);
    return {status, out.str(), err.str()};
}

}  // namespace veltrane::testing
