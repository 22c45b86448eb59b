#pragma once
#include <string>

namespace veltrane {

// The running executable's full path as the platform reports it; empty when it cannot tell.
std::string RunningProgramPath();

}  // namespace veltrane
