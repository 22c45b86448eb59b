// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

namespace veltrane {

// The running executable's full path (UTF-8 on every platform); empty when it cannot tell.
std::string RunningProgramPath();

}  // namespace veltrane
