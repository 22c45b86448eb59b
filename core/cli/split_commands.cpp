// The command-line faces of the splitter: the batch split and --list.
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/batch.h"

namespace veltrane {
namespace {

// Without a window the list lines have nowhere to go and there are no events to process.
class QuietListener : public ScanListener {
public:
    QuietListener(std::ostream& err, std::string path, const char* consequence)
        : err_(err), path_(std::move(path)), consequence_(consequence) {}
    void AppendListLine(const std::string&) override {}
    void ProcessPendingEvents() override {}
    void ImageLimitReached(std::int64_t) override {
        err_ << "veltrane: warning: " << path_ << " holds more than " << kMaxImages
             << " images; images after the " << kMaxImages << "th were not " << consequence_
             << "\n";
    }
    void MpfIndexIgnored(const std::string& reason) override {
        ReportMpfIndexIgnored(err_, path_, reason);
    }

private:
    std::ostream& err_;
    std::string path_;
    const char* consequence_;
};

class PrintingListener : public QuietListener {
public:
    PrintingListener(std::ostream& out, std::ostream& err, std::string path)
        : QuietListener(err, std::move(path), "listed"), out_(out) {}
    void AppendListLine(const std::string& line) override { out_ << line << "\n"; }

private:
    std::ostream& out_;
};

std::string MessageOf(const InOutError& e) { return "veltrane: " + e.FileName() + ": " + e.what(); }

}  // namespace

int RunBatchSplitCommand(const std::vector<std::string>& params, std::ostream& err,
                         const CommandLineServices& services) {
    auto fail = [&](const std::string& message) {
        err << message << "\n";
        if (services.ReportBatchFailure) services.ReportBatchFailure(message);
        return kExitFailure;
    };
    if (!IsExistingFile(params[0]))
        return fail(MessageOf(InOutError(ioerr::FileNotFound, params[0])));

    ImageIndex index;
    ApplyBatchParameters(index, params);
    QuietListener listener(err, index.SourceFileName, "extracted");
    try {
        ScanAndExtract(index, ModeButton::All, listener);
    } catch (const InOutError& e) {
        return fail(MessageOf(e));
    }
    RefreshContextMenuRegistration(services.ProgramPath);
    return kExitOk;
}

int RunListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "veltrane: --list takes one file\nTry 'veltrane --help'.\n";
        return kExitUsage;
    }
    if (!IsExistingFile(args[0])) {
        err << MessageOf(InOutError(ioerr::FileNotFound, args[0])) << "\n";
        return kExitFailure;
    }
    ImageIndex index;
    index.SourceFileName = args[0];
    PrintingListener listener(out, err, args[0]);
    try {
        ScanImageOffsets(index, index.SourceFileName, ImageSignature, listener);
    } catch (const InOutError& e) {
        out.flush();
        err << MessageOf(e) << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace veltrane
