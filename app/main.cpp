// Veltrane: one executable that is the desktop window (no arguments) and the headless splitter
// and metadata dumper (with arguments).
#include <iostream>
#include <string>
#include <vector>

#include "core/cli/command_line.h"
#include "core/common/number_format.h"
#include "core/common/program_path.h"

#ifdef VELTRANE_WITH_GUI
#include "gui/gui_entry.h"
#endif

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    veltrane::UseDecimalSeparatorOfUserLocale();
    std::vector<std::string> args(argv + 1, argv + argc);

    veltrane::CommandLineServices services;
    services.ProgramPath = veltrane::RunningProgramPath();
    if (services.ProgramPath.empty() && argc > 0) services.ProgramPath = argv[0];

    if (args.empty()) {
#ifdef VELTRANE_WITH_GUI
        return veltrane::gui::RunInteractive(argc, argv, services.ProgramPath);
#else
        std::cerr << "veltrane: this build has no window; give it an MPO file to split.\n"
                  << "Try 'veltrane --help'.\n";
        return veltrane::kExitUsage;
#endif
    }
#ifdef VELTRANE_WITH_GUI
    services.ReportBatchFailure = [argc, argv](const std::string& message) {
        veltrane::gui::ShowBatchFailure(argc, argv, message);
    };
#endif
    const int status = veltrane::RunCommandLine(args, std::cout, std::cerr, services);
    std::cout.flush();
    return status;
}
