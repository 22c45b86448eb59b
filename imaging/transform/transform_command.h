// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// veltrane --transform OP [--crop WxH+X+Y] [--perfect] [--force] [--] FILE [OUTPUT]
//
// The command-line adapter over the transform library: reads the words, prints the report
// lines and the messages, returns the exit status.
#include <iosfwd>
#include <string>
#include <vector>

#include "core/images/scanner.h"

namespace veltrane::transform {

// The command; arguments after --transform, the images of an MPO file found as scan says.
int RunTransformCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                        const ScanOptions& scan = {});

}  // namespace veltrane::transform
