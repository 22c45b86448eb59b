// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// veltrane --stereo [--layout LAYOUT] [--pair L,R] [--align] ... FILE [OUTPUT]
// veltrane --stereo [options] LEFT.jpg RIGHT.jpg OUTPUT
// FILE is an MPO file, a JPS file or a spatial photo.
//
// The command-line adapter over the stereo library: reads the words, prints the report line
// and the messages, returns the exit status.
#include <iosfwd>
#include <string>
#include <vector>

#include "core/images/scanner.h"

namespace veltrane::stereo {

// The command; arguments after --stereo, the images of an MPO file found as scan says. Returns
// the exit status.
int RunStereoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const ScanOptions& scan = {});

}  // namespace veltrane::stereo
