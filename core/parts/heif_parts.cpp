// SPDX-License-Identifier: GPL-3.0-or-later
// The HEIF side of the part finder as far as this build reads it: nothing yet.
#include "core/parts/heif_parts.h"

#include <stdexcept>

namespace veltrane::parts {

PartList FindHeifParts(InputFile& /*file*/) {
    PartList list;
    list.problems.push_back("HEIF parts are not read in this build");
    return list;
}

void WriteHeifPartFile(InputFile& /*source*/, const FilePart& /*part*/, const std::string& /*destPath*/) {
    throw std::runtime_error("HEIF parts are not written in this build");
}

}  // namespace veltrane::parts
