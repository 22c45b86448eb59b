// Placeholder until the EXIF reader lands.
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"

namespace veltrane {

int RunExifCommand(ExifCommand, const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "veltrane: the EXIF reader is not available in this build\n";
    return kExitFailure;
}

}  // namespace veltrane
