// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds and loads a module of the program (a shared object with C entry points) beside the
// program or, when installed, in its private library folder ../lib/<multiarch>/veltrane.
#include <string>

namespace veltrane::app {

// The module's handle, or null with the reason in error. A module stays loaded until the
// program ends.
void* LoadProgramModule(const std::string& programPath, const char* fileName, std::string& error);

// The address of the entry point symbol of module, or null.
void* ModuleSymbol(void* module, const char* symbol);

}  // namespace veltrane::app
