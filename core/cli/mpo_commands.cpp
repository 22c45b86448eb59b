// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane --join [--type disparity|multi-angle|panorama] [--] FILE... OUTPUT
// veltrane --repair FILE [OUTPUT]
// Thin adapters over core/mpo: arguments, the checks that are the command line's (an output
// that is one of the inputs), and the report lines.
#include <functional>
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/mpo/mpo_error.h"
#include "core/mpo/mpo_join.h"
#include "core/mpo/mpo_repair.h"

namespace veltrane {
namespace {

// Runs job, turning its failures into the one stderr line and exit status 1.
template <typename Job>
int Guarded(std::ostream& out, std::ostream& err, Job&& job) {
    try {
        job();
    } catch (const InOutError& e) {
        out.flush();
        err << "veltrane: " << e.FileName() << ": " << e.what() << "\n";
        return kExitFailure;
    } catch (const MpoError& e) {
        out.flush();
        err << "veltrane: " << e.Subject() << ": " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int RunJoinCommand(const std::vector<std::string>& args, const CommandLineOptions& commandLine,
                   std::ostream& out, std::ostream& err) {
    std::uint32_t type = kMpTypeDisparity;
    std::vector<std::string> files;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && a == "--type") {
            if (i + 1 == args.size()) return Usage(err, "--type needs a value");
            const auto parsed = MpTypeFromWord(args[++i]);
            if (!parsed) return Usage(err, "unknown type " + args[i] + " (disparity, multi-angle or panorama)");
            type = *parsed;
        } else if (options && a.size() > 1 && a[0] == '-') {
            return Usage(err, "unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() < 2) return Usage(err, "--join takes FILE... OUTPUT");
    const std::string output = files.back();
    files.pop_back();
    if (const int refused = CheckOutputFile(output, files, "is one of the inputs", err)) return refused;

    // JPEG files are walked as they are written; should one turn out to be an MPO file after all,
    // the images are listed again, walking first, and written anew.
    JoinSources sources;
    std::function<int(JoinWalk)> collect = [&](JoinWalk when) {
        int status = Guarded(out, err, [&] {
            sources = CollectJoinSources(
                files, commandLine.scan,
                [&](const std::string& file, const std::string& reason) { ReportMpfIndexIgnored(err, file, reason); },
                when);
        });
        if (status != kExitOk) return status;
        const bool countOk = !sources.overLimit && sources.images.size() >= 2 && sources.images.size() <= kMaxMpoImages;
        // Files taken for JPEG files may hold more images: only a walk first tells.
        if (!countOk && when == JoinWalk::WhileWriting) return collect(JoinWalk::First);
        if (sources.overLimit || sources.images.size() > kMaxMpoImages) {
            err << "veltrane: --join takes at most " << kMaxMpoImages << " images; the files hold more\n";
            return kExitUsage;
        }
        if (sources.images.size() < 2) {
            err << "veltrane: --join needs at least two images; the files hold " << sources.images.size() << "\n";
            return kExitUsage;
        }
        for (MpoImage& image : sources.images) image.type = type;
        return kExitOk;
    };
    const std::vector<MpoImage>& images = sources.images;
    int status = collect(JoinWalk::WhileWriting);
    if (status != kExitOk) return status;
    auto report = [&](const MpoWriteResult& result) {
        out << output << ": " << Count(static_cast<std::int64_t>(images.size()), "image") << " ("
            << MpTypeWord(type) << "), " << KiB(result.fileSize);
        if (result.DroppedBytes() > 0) out << ", " << Count(result.DroppedBytes(), "stray byte") << " dropped";
        out << "\n";
        for (std::size_t i = 0; i < images.size(); ++i) {
            const MpoImageLayout& layout = result.images[i];
            if (layout.trailingJpegStart)
                err << "veltrane: " << images[i].source.name << ": the " << Count(layout.trailingBytes, "byte")
                    << " after the image's end, left out, hold a JPEG start; --repair finds the images of"
                       " a file without a usable index\n";
        }
    };
    bool rejected = false;
    status = Guarded(out, err, [&] {
        try {
            report(WriteMpoFile(images, output));
        } catch (const MpoSourceRejected&) {
            rejected = true;
        }
    });
    if (!rejected) return status;
    status = collect(JoinWalk::First);
    if (status != kExitOk) return status;
    return Guarded(out, err, [&] { report(WriteMpoFile(images, output)); });
}

int RunRepairCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> files;
    bool options = true;
    for (const std::string& a : args) {
        if (options && a == "--") options = false;
        else if (options && a.size() > 1 && a[0] == '-') return Usage(err, "unknown option " + a);
        else files.push_back(a);
    }
    if (files.empty() || files.size() > 2) return Usage(err, "--repair takes FILE [OUTPUT]");
    const std::string& input = files[0];
    const std::string output = files.size() == 2 ? files[1] : DefaultRepairName(input);
    if (const int refused = CheckOutputFile(output, {&input, 1}, "is the file to repair", err)) return refused;
    std::size_t leftOut = 0;
    const int status = Guarded(out, err, [&] {
        const RepairReport report = RepairMpoFile(input, output);
        for (const std::string& note : report.notes) out << note << "\n";
        out << output << ": " << Count(static_cast<std::int64_t>(report.images), "image") << " ("
            << (report.typesFromOldIndex ? "types from the old index" : "disparity") << "), "
            << KiB(report.fileSize) << ", " << Count(report.DroppedBytes(), "byte") << " dropped\n";
        leftOut = report.imagesLeftOut;
    });
    if (status != kExitOk || leftOut == 0) return status;
    // The repaired file holds what could be saved, but the repair is not whole.
    out.flush();
    err << "veltrane: " << input << ": " << Count(static_cast<std::int64_t>(leftOut), "image")
        << " left out of " << output << " (see above)\n";
    return kExitFailure;
}

}  // namespace veltrane
