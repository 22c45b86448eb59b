// SPDX-License-Identifier: GPL-3.0-or-later
// Veltrane: one executable that is the desktop window (no arguments) and the headless splitter
// and metadata dumper (with arguments).
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/cli/command_line.h"
#include "core/common/exit_codes.h"
#include "core/common/number_format.h"
#include "core/common/program_io.h"
#include "core/common/program_path.h"
#include "json/json_record_writer.h"

#ifdef VELTRANE_WITH_GUI
#include "app/window_module.h"
#endif
#ifdef VELTRANE_WITH_WIN32_GUI
#include "gui_win32/win32_entry.h"
#endif
#ifdef VELTRANE_LOADS_IMAGING_MODULES
#include "app/imaging_module.h"
#else
#ifdef VELTRANE_WITH_STEREO
#include "imaging/stereo/stereo_command.h"
#endif
#ifdef VELTRANE_WITH_TRANSFORM
#include "imaging/transform/transform_command.h"
#endif
#ifdef VELTRANE_WITH_HEIF_DECODE
#include "imaging/heif/heif_part_decoder.h"
#endif
#endif
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
// A run over many files shows its progress only where someone watches it.
bool StderrIsTerminal() {
#ifdef _WIN32
    return ::_isatty(2) != 0;
#else
    return ::isatty(2) != 0;
#endif
}

#if defined(VELTRANE_WITH_STEREO) || defined(VELTRANE_WITH_TRANSFORM)
// --stereo and --transform: the commands of the image libraries.
int RunImaging(const char* command, const std::string& programPath, const std::vector<std::string>& args,
               std::ostream& out, std::ostream& err, const veltrane::ScanOptions& scan) {
#ifdef __GLIBC__
    // The codec's large arrays (tens of MiB each) come and go one after another: keeping them
    // in the heap lets the next reuse the pages of the last instead of faulting in fresh ones.
    // A setting of the whole process, so it is made here and nowhere else.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // The codec threads come and go too (alignment, then the crops of the MPO layout): with one
    // heap for all of them a thread reuses the pages that an ended one gave back, where a heap
    // per thread would keep those resident and fault in new ones.
    mallopt(M_ARENA_MAX, 1);
#endif
#ifdef VELTRANE_LOADS_IMAGING_MODULES
    // The image libraries are loaded with the module, for this command only.
    return veltrane::app::RunImagingCommand(programPath, command, args, out, err, scan);
#else
    (void)programPath;
#ifdef VELTRANE_WITH_STEREO
    if (std::string(command) == "--stereo") return veltrane::stereo::RunStereoCommand(args, out, err, scan);
#endif
#ifdef VELTRANE_WITH_TRANSFORM
    if (std::string(command) == "--transform") return veltrane::transform::RunTransformCommand(args, out, err, scan);
#endif
#ifdef VELTRANE_WITH_HEIF_DECODE
    if (std::string(command) == "--decode-heif-item") return veltrane::heif::RunDecodeHeifItemCommand(args, out, err);
#endif
    return veltrane::kExitUsage;
#endif
}
#endif
}  // namespace

int main(int argc, char** argv) {
#ifdef VELTRANE_WITH_WIN32_GUI
    // Without a console of its own, a batch run that fails says so in a message box.
    const bool canPrint = argc < 2 || veltrane::win32::AttachToParentConsole();
#endif
    std::ios::sync_with_stdio(false);
    const veltrane::Utf8Console console;
    const std::vector<std::string> args = veltrane::ProgramArguments(argc, argv);

    veltrane::CommandLineServices services;
    services.ProgramPath = veltrane::RunningProgramPath();
    if (services.ProgramPath.empty() && argc > 0) services.ProgramPath = argv[0];
    services.ProgressOnTerminal = StderrIsTerminal();
    services.NewRecordWriter = veltrane::json::NewJsonRecordWriter;
#ifdef VELTRANE_WITH_STEREO
    services.RunStereo = [&services](const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                                     const veltrane::ScanOptions& scan) {
        return RunImaging("--stereo", services.ProgramPath, words, out, err, scan);
    };
#endif
#ifdef VELTRANE_WITH_TRANSFORM
    services.RunTransform = [&services](const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                                        const veltrane::ScanOptions& scan) {
        return RunImaging("--transform", services.ProgramPath, words, out, err, scan);
    };
#endif

#ifdef VELTRANE_WITH_HEIF_DECODE
    services.DecodeHeifItem = [&services](const std::string& source, std::uint32_t item, const std::string& png,
                                          std::ostream& err) {
        std::ostringstream ignored;
        return RunImaging("--decode-heif-item", services.ProgramPath, {source, std::to_string(item), png}, ignored, err, {});
    };
#endif

    if (args.empty()) {
#ifdef VELTRANE_WITH_GUI
        const veltrane::app::WindowModule window = veltrane::app::LoadWindowModule(services.ProgramPath);
        if (window.RunInteractive == nullptr) {
            std::cerr << "veltrane: cannot open the window: " << window.Error << "\n"
                      << "Try 'veltrane --help' for the command line.\n";
            return veltrane::kExitFailure;
        }
        return window.RunInteractive(argc, argv, services.ProgramPath.c_str());
#elif defined(VELTRANE_WITH_WIN32_GUI)
        return veltrane::win32::RunWindow(services.ProgramPath);
#else
        std::cerr << "veltrane: this build has no window; give it an MPO file to split.\n"
                  << "Try 'veltrane --help'.\n";
        return veltrane::kExitUsage;
#endif
    }
#ifdef VELTRANE_WITH_GUI
    services.ReportBatchFailure = [argc, argv, &services](const std::string& message) {
        const veltrane::app::WindowModule window = veltrane::app::LoadWindowModule(services.ProgramPath);
        if (window.ShowBatchFailure != nullptr) window.ShowBatchFailure(argc, argv, message.c_str());
    };
#endif
#ifdef VELTRANE_WITH_WIN32_GUI
    if (!canPrint) services.ReportBatchFailure = [](const std::string& message) { veltrane::win32::ShowBatchFailure(message); };
#endif
    veltrane::CommandLineOptions options;
    options.numbers = veltrane::NumberFormatOfUserLocale();
    const int status = veltrane::RunCommandLine(args, std::cout, std::cerr, services, options);
    std::cout.flush();
    return status;
}
