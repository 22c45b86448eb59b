#include "stereo/stereo_command.h"

#include <charconv>
#include <ostream>

#include "core/common/exit_codes.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "stereo/stereo_files.h"

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

bool ParseLayout(const std::string& word, Layout& layout) {
    if (word == "cross") layout = Layout::Cross;
    else if (word == "parallel") layout = Layout::Parallel;
    else if (word == "anaglyph") layout = Layout::Anaglyph;
    else return false;
    return true;
}

std::string KiB(std::size_t bytes) { return std::to_string((bytes + 1023) / 1024) + " K"; }

}  // namespace

int RunStereoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    StereoOptions options;
    int first = 1, second = 2;
    std::vector<std::string> files;
    auto usage = [&](const std::string& message) {
        err << "veltrane: " << message << "\nTry 'veltrane --help'.\n";
        return kExitUsage;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--layout" || a == "--pair") {
            if (i + 1 == args.size()) return usage(a + " needs a value");
            const std::string& value = args[++i];
            if (a == "--layout" && !ParseLayout(value, options.layout))
                return usage("unknown layout " + value + " (cross, parallel or anaglyph)");
            if (a == "--pair" && !ParsePair(value, first, second))
                return usage("--pair takes two different image numbers, as in --pair 3,4");
        } else if (a == "--align") {
            options.align = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            return usage("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) return usage("--stereo needs a file");
    if (files.size() > 3) return usage("--stereo takes FILE [OUTPUT] or LEFT RIGHT OUTPUT");
    if (files.size() == 3 && (first != 1 || second != 2)) return usage("--pair needs an MPO file");

    const std::string& source = files[0];
    const std::string output = files.size() == 1 ? DefaultStereoName(source, options.layout) : files.back();
    std::string failing = source;
    try {
        if (KindOf(output) == PathKind::Directory) {
            failing = output;
            throw StereoError("is a folder; give the output file's name");
        }
        auto pair = files.size() == 3 ? std::pair{ReadWholeFile(files[0]), ReadWholeFile(files[1])}
                                      : ReadPair(source, first, second, [&](const std::string& reason) {
                                            // The notice line that the other commands print.
                                            err << "veltrane: " << source << ": MPF index ignored: " << reason << "\n";
                                        });
        const StereoPicture picture = ComposeStereo(pair.first, pair.second, options);
        pair = {};
        failing = output;
        WritePicture(picture, output);
        if (options.align)
            out << "shift: " << picture.measuredShift << " pixels (halves cropped by "
                << picture.appliedShift << ")\n";
        out << output << ": " << picture.width << " x " << picture.height << ", " << KiB(picture.jpeg.size())
            << ", "
            << (picture.lossless ? std::string("lossless")
                : options.layout == Layout::Anaglyph ? std::string("re-encoded: anaglyph")
                                                      : "re-encoded: " + picture.reencodeReason)
            << "\n";
    } catch (const InOutError& e) {
        err << "veltrane: " << e.FileName() << ": " << e.what() << "\n";
        return kExitFailure;
    } catch (const StereoError& e) {
        err << "veltrane: " << failing << ": " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace veltrane::stereo
