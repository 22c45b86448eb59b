#include "stereo/stereo_command.h"

#include <charconv>
#include <ostream>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "core/cli/command_line.h"
#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/extraction.h"
#include "core/images/scanner.h"

namespace veltrane::stereo {
namespace {

// Lists nothing; says on stderr why the file's MPF index was not used, as the other commands do.
class NoticeListener : public ScanListener {
public:
    NoticeListener(std::ostream& err, const std::string& path) : err_(err), path_(path) {}
    void MpfIndexIgnored(const std::string& reason) override { ReportMpfIndexIgnored(err_, path_, reason); }

private:
    std::ostream& err_;
    const std::string& path_;
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    if (!IsExistingFile(path)) throw InOutError(ioerr::FileNotFound, path);
    InputFile file(path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(file.Size(), 0)));
    if (!bytes.empty()) file.ReadAt(0, bytes.data(), bytes.size());
    return bytes;
}

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

std::string DefaultStereoName(const std::string& source, Layout layout) {
    std::size_t nameStart = source.size();
    while (nameStart > 0 && !IsPathSeparator(source[nameStart - 1])) --nameStart;
    const std::size_t dot = source.rfind('.');
    const std::string stem = dot != std::string::npos && dot > nameStart ? source.substr(0, dot) : source;
    switch (layout) {
        case Layout::Cross: return stem + ".jps";
        case Layout::Parallel: return stem + "_parallel.jpg";
        case Layout::Anaglyph: return stem + "_anaglyph.jpg";
    }
    return stem;
}

std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> ReadPair(const std::string& file, int first,
                                                                        int second, std::ostream& err,
                                                                        const ScanOptions& options) {
    if (!IsExistingFile(file)) throw InOutError(ioerr::FileNotFound, file);
    ImageIndex index;
    NoticeListener listener(err, file);
    ScanImageOffsets(index, file, options, listener);
    if (index.ImageCount < 2)
        throw StereoError("holds " + std::to_string(index.ImageCount) + (index.ImageCount == 1 ? " image" : " images") +
                          "; a stereo pair needs two");
    if (first > index.ImageCount || second > index.ImageCount)
        throw StereoError("--pair " + std::to_string(first) + "," + std::to_string(second) +
                          ": the file holds only " + std::to_string(index.ImageCount) + " images");
    return {ReadImageBytes(file, index, first), ReadImageBytes(file, index, second)};
}

void WritePicture(const StereoPicture& picture, const std::string& path) {
    AtomicOutputFile file(path);
    file.Write(picture.jpeg.data(), picture.jpeg.size());
    file.Commit();
}

int RunStereoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const ScanOptions& scan) {
#ifdef __GLIBC__
    // The codec's large arrays (tens of MiB each) come and go one after another: keeping them
    // in the heap lets the next reuse the pages of the last instead of faulting in fresh ones.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
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
                                      : ReadPair(source, first, second, err, scan);
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
