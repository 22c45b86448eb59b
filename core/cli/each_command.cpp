// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane --each [odd|even] [--] FILE...: splits several files in one process, each into its own
// folder, and says at the end how it went.
#include <chrono>
#include <ostream>
#include <sstream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/common/extract_mode.h"
#include "core/images/split_each.h"

namespace veltrane {
namespace {

// Failure lines that the message box for a run from a file manager shows at most.
constexpr int kMostFailuresShown = 10;

// "2 files split, 4 images written, 0 failed"; with the parts beyond the images (a motion
// photo's video, a depth map) "2 files split, 4 images and 3 other parts written, 0 failed".
std::string SummaryLine(const EachTotals& totals) {
    std::ostringstream line;
    line << totals.filesSplit << (totals.filesSplit == 1 ? " file" : " files") << " split, "
         << totals.imagesWritten << (totals.imagesWritten == 1 ? " image" : " images");
    if (totals.partsWritten > 0)
        line << " and " << totals.partsWritten << (totals.partsWritten == 1 ? " other part" : " other parts");
    line << " written, " << totals.failures << " failed";
    return line.str();
}

// Writes one line on err per failure and per file with too many images and, when err is a
// terminal and the run has taken more than a second, a progress line that is redrawn in place
// a few times a second and wiped before any other line.
class EachReporter : public EachListener {
public:
    EachReporter(std::ostream& err, bool progressLine) : err_(err), progressLine_(progressLine) {}

    void FileFinished(const EachFileOutcome& outcome, const EachTotals&) override {
        if (!outcome.mpfIgnored.empty()) {
            WipeProgress();
            ReportMpfIndexIgnored(err_, outcome.file, outcome.mpfIgnored);
        }
        if (outcome.failed) {
            const std::string line =
                "veltrane: " + outcome.failedFile + ": " + outcome.cause;
            WipeProgress();
            err_ << line << "\n";
            if (++failuresKept_ <= kMostFailuresShown) failureText_ += line + "\n";
        }
        if (outcome.limitReached) {
            WipeProgress();
            ReportTooManyImages(err_, outcome.file, "extracted");
        }
    }

    void StillWorking(const EachTotals& totals) override {
        if (progressLine_ && std::chrono::steady_clock::now() - start_ > std::chrono::seconds(1))
            Draw(totals);
    }

    void WipeProgress() {
        if (shown_ == 0) return;
        err_ << '\r' << std::string(shown_, ' ') << '\r';
        err_.flush();
        shown_ = 0;
    }

    // The failure lines for a message box, the first few of them and how many more there were.
    std::string FailureText() const {
        std::string text = failureText_;
        if (failuresKept_ > kMostFailuresShown)
            text += "and " + std::to_string(failuresKept_ - kMostFailuresShown) + " more\n";
        return text;
    }

private:
    void Draw(const EachTotals& totals) {
        // Short enough for a terminal of 80 columns, so that \r always returns to its start.
        const std::string line = "veltrane: " + std::to_string(totals.filesDone()) + " of " +
                                 std::to_string(totals.files) + " files, " +
                                 std::to_string(totals.imagesWritten) + " images written, " +
                                 std::to_string(totals.failures) + " failed";
        err_ << '\r' << line;
        if (line.size() < shown_) err_ << std::string(shown_ - line.size(), ' ') << '\r' << line;
        err_.flush();
        shown_ = line.size();
    }

    std::ostream& err_;
    const bool progressLine_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::size_t shown_ = 0;  // length of the progress line on the terminal, 0 when none is
    int failuresKept_ = 0;
    std::string failureText_;
};

}  // namespace

int RunEachCommand(const std::vector<std::string>& args, const CommandLineOptions& options,
                   std::ostream& out, std::ostream& err, const CommandLineServices& services) {
    // An optional mode word, an optional "--" (for a file called "odd" or "-x.mpo"), the files.
    std::size_t first = 0;
    ExtractMode mode = ExtractMode::All;
    if (first < args.size()) {
        if (const auto word = ParseModeWord(args[first])) {
            mode = *word;
            ++first;
        }
    }
    if (first < args.size() && args[first] == "--") ++first;
    const std::vector<std::string> files(args.begin() + static_cast<std::ptrdiff_t>(first),
                                         args.end());
    if (files.empty()) {
        err << "veltrane: --each needs at least one file\nTry 'veltrane --help'.\n";
        return kExitUsage;
    }

    EachReporter reporter(err, services.ProgressOnTerminal);
    const EachTotals totals = SplitEachBesideItself(files, mode, options.scan, reporter);
    reporter.WipeProgress();
    out << SummaryLine(totals) << "\n";
    out.flush();
    if (totals.failures > 0 && services.ReportBatchFailure)
        services.ReportBatchFailure(reporter.FailureText() + SummaryLine(totals));
    RefreshContextMenuRegistration(services.ProgramPath);
    return totals.failures > 0 ? kExitFailure : kExitOk;
}

}  // namespace veltrane
