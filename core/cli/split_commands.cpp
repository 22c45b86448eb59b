// The command-line faces of the splitter: the batch split and --list.
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/common/image_list_line.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/batch.h"

namespace veltrane {
namespace {

// The scan's notices on stderr: the too-many-images warning, and why an MPF index was not used.
class NoticesOnStderr : public ScanListener {
public:
    NoticesOnStderr(std::ostream& err, std::string path, const char* consequence)
        : err_(err), path_(std::move(path)), consequence_(consequence) {}
    void ImageLimitReached(std::int64_t) override { ReportTooManyImages(err_, path_, consequence_); }
    void MpfIndexIgnored(const std::string& reason) override { ReportMpfIndexIgnored(err_, path_, reason); }

private:
    std::ostream& err_;
    std::string path_;
    const char* consequence_;
};

// --list: the notices, and one line per image on stdout.
class PrintingListener : public NoticesOnStderr {
public:
    PrintingListener(std::ostream& out, std::ostream& err, std::string path)
        : NoticesOnStderr(err, std::move(path), "listed"), out_(out) {}
    void ImageComplete(int n, std::int64_t sizeInBytes) override { out_ << ImageListLine(n, sizeInBytes) << "\n"; }

private:
    std::ostream& out_;
};

std::string MessageOf(const InOutError& e) { return "veltrane: " + e.FileName() + ": " + e.what(); }

}  // namespace

int RunBatchSplitCommand(const std::vector<std::string>& params, const CommandLineOptions& options,
                         std::ostream& err, const CommandLineServices& services) {
    auto fail = [&](const std::string& message) {
        err << message << "\n";
        if (services.ReportBatchFailure) services.ReportBatchFailure(message);
        return kExitFailure;
    };
    if (!IsExistingFile(params[0]))
        return fail(MessageOf(InOutError(ioerr::FileNotFound, params[0])));

    const ExtractJob job = BatchJob(params);
    NoticesOnStderr listener(err, job.source, "extracted");
    try {
        ImageIndex index;
        ScanAndExtract(job, index, options.scan, listener);
    } catch (const InOutError& e) {
        return fail(MessageOf(e));
    }
    RefreshContextMenuRegistration(services.ProgramPath);
    return kExitOk;
}

int RunListCommand(const std::vector<std::string>& args, const CommandLineOptions& options,
                   std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "veltrane: --list takes one file\nTry 'veltrane --help'.\n";
        return kExitUsage;
    }
    if (!IsExistingFile(args[0])) {
        err << MessageOf(InOutError(ioerr::FileNotFound, args[0])) << "\n";
        return kExitFailure;
    }
    ImageIndex index;
    PrintingListener listener(out, err, args[0]);
    try {
        ScanImageOffsets(index, args[0], options.scan, listener);
    } catch (const InOutError& e) {
        out.flush();
        err << MessageOf(e) << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace veltrane
