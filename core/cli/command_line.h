// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's command line: the batch split and the headless commands. The executable only
// collects its arguments and hands them here.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "core/common/command_report.h"
#include "core/common/exit_codes.h"
#include "core/common/record_writer.h"
#include "core/common/number_format.h"
#include "core/images/scanner.h"

namespace veltrane {

// What the words before a command set for it: the command line builds this value and hands it
// to every command that needs it.
struct CommandLineOptions {
    // How images are found: --no-mpf leaves the MPF index aside.
    ScanOptions scan;
    // How --exif, --info and --tags write numbers with decimals (main sets the user's decimal
    // separator).
    NumberFormat numbers{};
    // --json and --image N before a metadata command: the same as after it.
    bool json = false;
    int imageNumber = 0;  // 0: none given
};

struct CommandLineServices {
    // The running executable's full path (for the context-menu registration).
    std::string ProgramPath;
    // Called with the one-line message when a batch split fails, after it went to stderr; the
    // desktop build shows it in a message box when a display is present.
    std::function<void(const std::string& message)> ReportBatchFailure;
    // Whether stderr is a terminal: a run over several files then shows a progress line.
    bool ProgressOnTerminal = false;
    // --stereo, from the stereo module that links libjpeg; empty in builds without it. scan says
    // how the images of an MPO file are found.
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const ScanOptions& scan)>
        RunStereo;
    // --transform, from the transform module that links libjpeg; empty in builds without it.
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const ScanOptions& scan)>
        RunTransform;
    // Image item ITEM of the HEIF file SOURCE decoded into a PNG file (split --decode), from the
    // module that links libheif; empty in builds without it. Returns the exit status; the
    // cause of a failure goes to err.
    std::function<int(const std::string& source, std::uint32_t item, const std::string& pngPath, std::ostream& err)>
        DecodeHeifItem;
    // A fresh writer of one record for --json (the JSON writer of json/); empty in builds without
    // it. Called on the threads that read the files.
    std::function<std::unique_ptr<RecordWriter>()> NewRecordWriter;
};

// Runs the command line given without the program name with the settings of options (which
// --no-mpf changes for the command after it); returns the exit status.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const CommandLineServices& services, const CommandLineOptions& options = {});

// The text of --help.
std::string UsageText();


// The stderr warning that the file at path holds more images than a split takes: "veltrane:
// warning: PATH holds more than 999 images; images after the 999th were not " + consequence
// ("extracted", "listed").
void ReportTooManyImages(std::ostream& err, const std::string& path, const char* consequence);
std::string TooManyImagesLine(const std::string& path, const char* consequence);  // without "\n"

}  // namespace veltrane
