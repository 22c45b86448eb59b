// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/stereo_command.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <ostream>
#include <span>

#include "core/common/command_report.h"
#include "core/common/exit_codes.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/mpo/mpo_join.h"
#include "imaging/stereo/spatial_rewrite.h"
#include "imaging/stereo/stereo_files.h"

namespace veltrane::stereo {
namespace {

bool ParsePair(const std::string& text, int& first, int& second) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    const char* end = text.data() + text.size();
    auto a = std::from_chars(text.data(), text.data() + comma, first);
    auto b = std::from_chars(text.data() + comma + 1, end, second);
    return a.ec == std::errc() && a.ptr == text.data() + comma && b.ec == std::errc() && b.ptr == end &&
           first >= 1 && second >= 1 && first != second;
}

// A whole decimal number in [low, high], or nothing.
std::optional<int> ParseNumber(const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
    return value;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// What the report line says after the size.
std::string Description(const StereoPicture& picture, const StereoOptions& options) {
    if (picture.lossless) return "lossless";
    if (options.layout == Layout::Interlaced) return "PNG, rows alternating from the left eye";
    if (options.layout == Layout::Wiggle) {
        // GIF keeps hundredths of a second.
        const int delay = options.animation == AnimationFormat::Gif ? (options.frameDelayMs + 5) / 10 * 10
                                                                     : options.frameDelayMs;
        return std::string(options.animation == AnimationFormat::Gif ? "animated GIF" : "animated WebP") +
               ", 2 frames of " + std::to_string(delay) + " ms";
    }
    return picture.reencodeReason.empty() ? "re-encoded" : "re-encoded: " + picture.reencodeReason;
}

// The heic layout adds the cameras' values and where they came from.
std::string DescriptionWithCamera(const StereoPicture& picture, const StereoOptions& options) {
    const std::string text = Description(picture, options);
    return picture.cameraReport.empty() ? text : text + ", " + picture.cameraReport;
}

constexpr const char* kLayoutList =
    "cross, parallel, anaglyph, over-under, half-sbs, half-ou, interlaced, wiggle, mpo or heic";
constexpr const char* kKindList = "dubois, amber-blue, green-magenta, gray, color, half-color or optimized";

}  // namespace

int RunStereoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const ScanOptions& scan) {
    StereoOptions options;
    bool layoutGiven = false, kindGiven = false, delayGiven = false, sizeGiven = false, pairGiven = false,
         qualityGiven = false;
    int first = 1, second = 2;
    std::vector<std::string> files;
    auto usage = [&](const std::string& message) { return Usage(err, message); };
    // "--each FILE...": every word after it is a source, each picture named beside its file.
    std::size_t each = args.size();
    std::string cameraOption;  // the first of --baseline, --fov and --disparity given
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--each") {
            if (!files.empty()) return usage("--each takes the files after it; each picture is named beside its file");
            each = i;
            files.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            if (files.empty()) return usage("--each needs at least one file");
            break;
        }
        // The heic layout's cameras.
        if (a == "--baseline" || a == "--fov" || a == "--disparity") {
            if (i + 1 == args.size()) return usage(a + " needs a value");
            if (const auto message = ParseSpatialCameraOption(a, args[++i], options.camera)) return usage(*message);
            if (cameraOption.empty()) cameraOption = a;
            continue;
        }
        if (a == "--layout" || a == "--pair" || a == "--anaglyph" || a == "--parallax" || a == "--delay" ||
            a == "--max-size" || a == "--quality") {
            if (i + 1 == args.size()) return usage(a + " needs a value");
            const std::string& value = args[++i];
            if (a == "--layout") {
                const std::optional<Layout> layout = LayoutFromWord(value);
                if (!layout) return usage("unknown layout " + value + " (" + kLayoutList + ")");
                options.layout = *layout;
                layoutGiven = true;
            } else if (a == "--pair") {
                if (!ParsePair(value, first, second))
                    return usage("--pair takes two different image numbers, as in --pair 3,4");
                pairGiven = true;
            } else if (a == "--anaglyph") {
                const std::optional<AnaglyphKind> kind = AnaglyphKindFromWord(value);
                if (!kind) return usage("unknown anaglyph " + value + " (" + kKindList + ")");
                options.anaglyph = *kind;
                kindGiven = true;
            } else if (a == "--parallax") {
                const std::optional<int> px = ParseNumber(value, -100000, 100000);
                if (!px) return usage("--parallax takes a whole number of pixels, as in --parallax -20");
                options.parallax = *px;
            } else if (a == "--delay") {
                const std::optional<int> ms = ParseNumber(value, 10, 60000);
                if (!ms) return usage("--delay takes milliseconds from 10 to 60000");
                options.frameDelayMs = *ms;
                delayGiven = true;
            } else if (a == "--quality") {
                const std::optional<int> quality = ParseNumber(value, 0, 100);
                if (!quality) return usage("--quality takes a number from 0 to 100");
                options.heicQuality = *quality;
                qualityGiven = true;
            } else {
                const std::optional<int> size = ParseNumber(value, 16, 16383);
                if (!size) return usage("--max-size takes pixels from 16 to 16383");
                options.maxSize = *size;
                sizeGiven = true;
            }
        } else if (a == "--align") {
            // "--align full": the rotation, scale and vertical offset as well; "--align" alone
            // the lossless shift.
            if (i + 1 < args.size() && args[i + 1] == "full") {
                options.alignFull = true;
                ++i;
            } else {
                options.align = true;
            }
        } else if (a == "--keystone") {
            options.keystone = true;
        } else if (a == "--swap") {
            options.swap = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            return usage("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (options.keystone && !options.alignFull) return usage("--keystone is for --align full");
    if (files.empty()) return usage("--stereo needs a file");
    if (each < args.size() && files.size() > 1) {
        // One file at a time here; the command line runs them on every core (one call a file).
        int status = kExitOk;
        std::vector<std::string> one(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(each) + 1);
        for (const std::string& file : files) {
            one.push_back(file);
            status = std::max(status, RunStereoCommand(one, out, err, scan));
            one.pop_back();
        }
        return status;
    }
    if (files.size() > 3) return usage("--stereo takes FILE [OUTPUT] or LEFT RIGHT OUTPUT");
    if ((files.size() == 3 && (first != 1 || second != 2)) || (pairGiven && files.size() < 3 && HasJpsName(files[0])))
        return usage("--pair needs an MPO file");
    // Without --layout: --anaglyph asks for the anaglyph, and the output's extension may name
    // an animation (.gif, .webp), the interlaced picture (.png), the MPO layout (.mpo) or a
    // spatial photo (.heic).
    const std::string* named = files.size() > 1 ? &files.back() : nullptr;
    if (!layoutGiven) {
        if (kindGiven) options.layout = Layout::Anaglyph;
        else if (named && (EndsWith(*named, ".gif") || EndsWith(*named, ".webp"))) options.layout = Layout::Wiggle;
        else if (named && EndsWith(*named, ".png")) options.layout = Layout::Interlaced;
        else if (named && EndsWith(*named, ".mpo")) options.layout = Layout::Mpo;
        else if (named && EndsWith(*named, ".heic")) options.layout = Layout::Heic;
    }
    if (kindGiven && options.layout != Layout::Anaglyph) return usage("--anaglyph is for --layout anaglyph");
    if ((delayGiven || sizeGiven) && options.layout != Layout::Wiggle)
        return usage(std::string(delayGiven ? "--delay" : "--max-size") + " is for --layout wiggle");
    if (qualityGiven && options.layout != Layout::Heic) return usage("--quality is for --layout heic");
    if (!cameraOption.empty() && options.layout != Layout::Heic) return usage(cameraOption + " is for --layout heic");
    if (options.layout == Layout::Wiggle && named && EndsWith(*named, ".webp")) options.animation = AnimationFormat::Webp;

    const std::string& source = files[0];
    const std::string output = files.size() == 1 ? DefaultStereoName(source, options.layout) : files.back();
    // The inputs are read before the output replaces anything, but an input is never given up
    // for a picture of itself (the default name of a cross picture of a JPS file is its own).
    const std::size_t inputs = files.size() == 1 ? 1 : files.size() - 1;
    if (const int refused = CheckOutputFile(output, std::span(files).first(inputs), "is one of the inputs", err))
        return refused;
    try {
        // A spatial photo whose eyes stay as they are gets new camera values without decoding,
        // unless a quality asks for them to be coded again.
        std::optional<WrittenPicture> rewritten;
        if (files.size() < 3 && !pairGiven && !qualityGiven) rewritten = RewriteSpatialCamera(source, options, output);
        if (rewritten) {
            out << RewrittenLine(output, *rewritten) << "\n";
            return kExitOk;
        }
        StereoPair pair = files.size() == 3
                              ? StereoPair{ReadWholeFile(files[0]), ReadWholeFile(files[1]), {}}
                              : ReadStereoPair(source, first, second, pairGiven, options.limits, scan,
                                               [&](const std::string& reason) {
                                                   ReportMpfIndexIgnored(err, source, reason);
                                               });
        // Failures while composing are the source's; those of writing name the output themselves.
        const WrittenPicture written = WriteStereo(pair, options, output);
        const StereoPicture& picture = written.picture;
        // The MPO and heic layouts' eyes are whole images, not halves of a picture.
        const char* cropped = options.layout == Layout::Mpo || options.layout == Layout::Heic ? "images" : "halves";
        if (options.align)
            out << "shift: " << picture.measured.across << " pixels across, " << picture.measured.down << " down ("
                << cropped << " cropped by " << picture.applied.across << " across, " << picture.applied.down
                << " down)\n";
        else if (picture.cropped)
            out << cropped << " cropped by " << picture.applied.across << " pixels across\n";
        out << output << ": " << picture.width << " x " << picture.height << ", "
            << KiB(written.fileSize)
            << ", " << DescriptionWithCamera(picture, options)
            << (picture.correction.empty() ? "" : ", aligned: " + picture.correction) << "\n";
    } catch (const InOutError& e) {
        err << "veltrane: " << e.FileName() << ": " << e.what() << "\n";
        return kExitFailure;
    } catch (const StereoError& e) {
        err << "veltrane: " << source << ": " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace veltrane::stereo
