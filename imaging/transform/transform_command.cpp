// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/transform/transform_command.h"

#include <ostream>

#include "core/common/command_report.h"
#include "core/common/exit_codes.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/mpo/mpo_error.h"
#include "core/mpo/mpo_join.h"
#include "imaging/transform/image_set_transform.h"

namespace veltrane::transform {
namespace {

std::string SizeText(Size size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

// "4 -> 2 (3 pixel rows trimmed)", "(kept 48x32+16+16)".
std::string ImageText(const ImageOutcome& image) {
    std::string text = SizeText(image.before) + " -> " + SizeText(image.after);
    if (image.kept) {
        text += " (kept " + image.kept->Text();
        if (image.cornerMoved) text += ", its corner moved onto the block grid";
        text += ")";
    } else if (image.trimmed.width > 0 || image.trimmed.height > 0) {
        std::string trimmed;
        if (image.trimmed.width > 0) trimmed = Count(image.trimmed.width, "pixel column");
        if (image.trimmed.height > 0)
            trimmed += (trimmed.empty() ? "" : " and ") + Count(image.trimmed.height, "pixel row");
        text += " (" + trimmed + " trimmed)";
    }
    return text;
}

// "rotate90", "auto: Orientation 6, rotate90", "auto: no Orientation, nothing turned".
std::string WhatWasDone(Operation operation, const SetTransformResult& result) {
    if (operation != Operation::Auto) return OperationWord(operation);
    std::string text = result.orientation == 0 ? "auto: no Orientation" : "auto: Orientation " + std::to_string(result.orientation);
    return text + ", " + (result.turn == Turn::None ? "nothing turned" : TurnWord(result.turn));
}

// The bytes after the images (a motion photo's video, a maker's trailer), when the file has any.
void ReportTrailer(std::ostream& out, const SetTransformResult& result) {
    if (result.trailerBytes > 0) out << "  after the images, kept byte for byte: " << KiB(result.trailerBytes) << "\n";
}

}  // namespace

int RunTransformCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                        const ScanOptions& scan) {
    SetTransformOptions options;
    options.scan = scan;
    std::optional<Operation> operation;
    bool cropGiven = false;
    std::vector<std::string> files;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnd && a == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && a == "--crop") {
            if (i + 1 == args.size()) return Usage(err, "--crop needs a region WxH+X+Y");
            const auto region = ParseRegion(args[++i]);
            if (!region) return Usage(err, "--crop takes a region WxH+X+Y in pixels, not " + args[i]);
            if (region->width == 0 || region->height == 0) return Usage(err, "the region " + args[i] + " is empty");
            options.crop = *region;
            cropGiven = true;
        } else if (!optionsEnd && a == "--perfect") {
            options.perfect = true;
        } else if (!optionsEnd && a == "--force") {
            options.force = true;
        } else if (!optionsEnd && a.size() > 1 && a[0] == '-') {
            return Usage(err, "unknown option " + a);
        } else if (!operation) {
            operation = OperationFromWord(a);
            if (!operation) return Usage(err, "unknown operation " + a + " (" + kOperationList + ")");
        } else {
            files.push_back(a);
        }
    }
    if (!operation) return Usage(err, "--transform takes OP [--crop WxH+X+Y] [--perfect] [--force] FILE [OUTPUT]");
    if (*operation == Operation::Crop && !cropGiven) return Usage(err, "crop needs --crop WxH+X+Y");
    if (*operation != Operation::Crop && cropGiven) return Usage(err, "--crop goes with the operation crop");
    if (files.empty() || files.size() > 2) return Usage(err, "--transform takes OP [options] FILE [OUTPUT]");
    options.operation = *operation;
    const std::string& input = files[0];
    const std::string output = files.size() == 2 ? files[1] : "";
    if (!output.empty())
        if (const int refused = CheckOutputFile(output, {&input, 1}, "is the file to transform", err)) return refused;
    try {
        const SetTransformResult result = TransformImageSet(input, output, options, [&](const std::string& reason) {
            ReportMpfIndexIgnored(err, input, reason);
        });
        const std::string what = WhatWasDone(*operation, result);
        if (result.images.size() == 1 && !result.indexed) {
            out << result.outputPath << ": " << what << ", " << ImageText(result.images[0]) << ", "
                << KiB(result.fileSize) << "\n";
            ReportTrailer(out, result);
            return kExitOk;
        }
        out << result.outputPath << ": " << Count(static_cast<std::int64_t>(result.images.size()), "image") << ", "
            << what << (result.eyesExchanged ? ", eyes exchanged" : "") << ", " << KiB(result.fileSize) << "\n";
        for (std::size_t p = 0; p < result.images.size(); ++p) {
            const ImageOutcome& image = result.images[p];
            out << "  image " << p + 1;
            std::string notes;
            if (image.role != ImageRole::None) notes = ImageRoleText(image.role);
            if (image.sourceNumber != p + 1)
                notes += (notes.empty() ? "" : ", ") + std::string("was image ") + std::to_string(image.sourceNumber);
            if (!notes.empty()) out << " (" << notes << ")";
            out << ": " << ImageText(image) << "\n";
        }
        ReportTrailer(out, result);
        return kExitOk;
    } catch (const TransformError& e) {
        out.flush();
        err << "veltrane: " << e.Subject() << ": " << e.what() << "\n";
        return e.BadRequest() ? kExitUsage : kExitFailure;
    } catch (const MpoError& e) {
        out.flush();
        err << "veltrane: " << e.Subject() << ": " << e.what() << "\n";
        return kExitFailure;
    } catch (const InOutError& e) {
        out.flush();
        err << "veltrane: " << e.FileName() << ": " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace veltrane::transform
