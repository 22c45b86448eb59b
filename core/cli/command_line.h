#pragma once
// The program's command line: the batch split and the headless commands. The executable only
// collects its arguments and hands them here.
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/common/exit_codes.h"
#include "core/common/number_format.h"

namespace veltrane {

struct CommandLineServices {
    // The running executable's full path (for the context-menu registration).
    std::string ProgramPath;
    // Called with the one-line message when a batch split fails, after it went to stderr; the
    // desktop build shows it in a message box when a display is present.
    std::function<void(const std::string& message)> ReportBatchFailure;
    // Whether stderr is a terminal: a run over several files then shows a progress line.
    bool ProgressOnTerminal = false;
    // --stereo, from the stereo module that links libjpeg; empty in builds without it.
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)> RunStereo;
    // How --exif, --info and --tags write numbers with decimals (the user's decimal separator).
    NumberFormat Numbers{};
};

// Runs the command line given without the program name; returns the exit status.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const CommandLineServices& services);

// The text of --help.
std::string UsageText();

// The stderr line saying that the MPF index of the file at path was not used, and why.
void ReportMpfIndexIgnored(std::ostream& err, const std::string& path, const std::string& reason);

}  // namespace veltrane
