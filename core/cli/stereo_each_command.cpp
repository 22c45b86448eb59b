// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane --stereo [OPTIONS] --each FILE...: a stereo picture of every file, each beside its
// file under the layout's default name, one file per processor core. The stereo command runs
// once a file (with the words before --each and that file after it) on the file runner's worker
// threads; its lines are printed in the files' order, then how it went.
#include <algorithm>
#include <ostream>
#include <sstream>

#include "core/cli/commands.h"
#include "core/cli/file_batch.h"
#include "core/common/exit_codes.h"

namespace veltrane {

int RunStereoEachCommand(const std::vector<std::string>& args, const CommandLineOptions& options,
                         std::ostream& out, std::ostream& err, const CommandLineServices& services) {
    const auto each = std::find(args.begin(), args.end(), std::string("--each"));
    std::vector<FileNameWord> files;
    for (auto word = each + (each == args.end() ? 0 : 1); word != args.end(); ++word) files.push_back({*word, false});
    if (files.size() < 2 || !services.RunStereo)  // one file, or the command's own refusal
        return services.RunStereo ? services.RunStereo(args, out, err, options.scan) : kExitFailure;
    const std::vector<std::string> settings(args.begin(), each + 1);
    // A refusal of the words (exit status 2) is the same for every file: said once.
    bool usage = false;
    std::string usageText;
    FileNameSource names(std::move(files));
    std::size_t written = 0, failed = 0;
    const FileJob job = [&](const std::string& path) {
        std::vector<std::string> words = settings;
        words.push_back(path);
        std::ostringstream fileOut, fileErr;
        const int status = services.RunStereo(words, fileOut, fileErr, options.scan);
        FileReport report;
        report.Out = fileOut.str();
        report.Err = fileErr.str();
        report.Failed = status != kExitOk;
        if (status == kExitUsage) report.Err = "usage:" + report.Err;  // marked for the sink
        return report;
    };
    const FileReportSink sink = [&](const std::string&, bool, FileReport& report) {
        out << report.Out;
        out.flush();
        if (report.Err.starts_with("usage:")) {
            if (!usage) err << report.Err.substr(6);
            usage = true;
        } else {
            err << report.Err;
        }
        (report.Failed ? failed : written) += 1;
    };
    RunFileJobs(names, job, sink);
    if (usage) return kExitUsage;
    out << written << (written == 1 ? " picture" : " pictures") << " written, " << failed << " failed\n";
    return failed > 0 ? kExitFailure : kExitOk;
}

}  // namespace veltrane
