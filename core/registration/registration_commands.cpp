// Placeholder until the context-menu registration lands.
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"

namespace veltrane {

int RunRegisterCommand(const std::vector<std::string>&, std::ostream&, std::ostream& err,
                       const std::string&) {
    err << "veltrane: context-menu registration is not available in this build\n";
    return kExitFailure;
}

int RunUnregisterCommand(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "veltrane: context-menu registration is not available in this build\n";
    return kExitFailure;
}

bool RefreshContextMenuRegistration(const std::string&) { return false; }

}  // namespace veltrane
