// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the commands print alike: the command line's own (core/cli), --stereo's and
// --transform's (the imaging wing's command adapters). One wording for all of them.
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace veltrane {

// "veltrane: MESSAGE" and the hint at --help on err; returns the usage exit status.
int Usage(std::ostream& err, const std::string& message);

// A size in KiB, rounded up: "12 K".
std::string KiB(std::int64_t bytes);

// A count with its word, plural but for 1: "1 image", "3 images".
std::string Count(std::int64_t n, std::string_view word);

// The stderr line saying that the MPF index of the file at path was not used, and why.
void ReportMpfIndexIgnored(std::ostream& err, const std::string& path, const std::string& reason);
std::string MpfIndexIgnoredLine(const std::string& path, const std::string& reason);  // without "\n"

// The output file of a command that writes one, checked before anything is read: the usage
// status when it is one of inputs ("veltrane: OUTPUT: <isInput>; give another output file",
// isInput e.g. "is the file to repair"), the failure status when it is a folder, else 0.
int CheckOutputFile(const std::string& output, std::span<const std::string> inputs, std::string_view isInput,
                    std::ostream& err);

}  // namespace veltrane
