// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/command_report.h"

#include <ostream>

#include "core/common/exit_codes.h"
#include "core/common/native_path.h"

namespace veltrane {

int Usage(std::ostream& err, const std::string& message) {
    err << "veltrane: " << message << "\nTry 'veltrane --help'.\n";
    return kExitUsage;
}

std::string KiB(std::int64_t bytes) { return std::to_string((bytes + 1023) / 1024) + " K"; }

std::string Count(std::int64_t n, std::string_view word) {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

std::string MpfIndexIgnoredLine(const std::string& path, const std::string& reason) {
    return "veltrane: " + path + ": MPF index ignored: " + reason;
}

void ReportMpfIndexIgnored(std::ostream& err, const std::string& path, const std::string& reason) {
    err << MpfIndexIgnoredLine(path, reason) << "\n";
}

int CheckOutputFile(const std::string& output, std::span<const std::string> inputs, std::string_view isInput,
                    std::ostream& err) {
    for (const std::string& input : inputs) {
        if (IsSameFile(input, output)) {
            err << "veltrane: " << output << ": " << isInput << "; give another output file\n";
            return kExitUsage;
        }
    }
    if (KindOf(output) == PathKind::Directory) {
        err << "veltrane: " << output << ": is a folder; give the output file's name\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace veltrane
