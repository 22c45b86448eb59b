// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line faces of the splitter: the batch split and --list (any number of files).
#include <ostream>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/cli/metadata_files.h"
#include "core/common/image_list_line.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/common/file_io.h"
#include "core/images/batch.h"
#include "core/parts/file_parts.h"

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

// --list: the notices on stderr, and what the scan finds of each image.
class ListingListener : public ScanListener {
public:
    explicit ListingListener(FileOutput& output) : output_(output) {}
    void ImageLimitReached(std::int64_t) override { output_.Notice(TooManyImagesLine(output_.Path(), "listed")); }
    void MpfIndexIgnored(const std::string& reason) override {
        output_.Notice(MpfIndexIgnoredLine(output_.Path(), reason));
    }
    void ImageComplete(int n, std::int64_t sizeInBytes) override {
        if (output_.Record() == nullptr) {
            output_.Text() += ImageListLine(n, sizeInBytes);
            output_.Text() += '\n';
        } else {
            sizes_.push_back(sizeInBytes);
        }
    }
    const std::vector<std::int64_t>& Sizes() const { return sizes_; }

private:
    FileOutput& output_;
    std::vector<std::int64_t> sizes_;  // of images 1, 2, ... (record form)
};

// Whether the file begins FF D8 FF, as every JPEG file does (a JFIF file may hold images that
// the signature rule does not take).
bool BeginsJpegFile(const std::string& path) {
    InputFile file(path);
    std::uint8_t head[3] = {};
    if (file.Size() < 3) return false;
    file.ReadAt(0, head, 3);
    return head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

// One file of --list: a line per image, or the array "Images" of {"Number", "Start", "Size"},
// Size being the bytes that the split writes.
void ListFile(const ScanOptions& scan, FileOutput& output) {
    if (!IsExistingFile(output.Path()))
        return output.Fail(InOutError::TextOf(ioerr::FileNotFound));
    ImageIndex index;
    ListingListener listener(output);
    try {
        {
            InputFile file(output.Path());
            if (parts::IsHeifFile(file))
                return output.Fail("a HEIF file holds no JPEG image (--parts lists its parts)");
        }
        ScanImageOffsets(index, output.Path(), scan, listener);
        if (index.ImageCount == 0 && !BeginsJpegFile(output.Path()))
            return output.Fail("the file holds no JPEG image");
    } catch (const InOutError& e) {
        return output.Fail(e.what());
    }
    if (RecordWriter* record = output.Record()) {
        record->Key("Images");
        record->BeginArray();
        const std::vector<std::int64_t>& sizes = listener.Sizes();
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const int n = static_cast<int>(i) + 1;
            record->BeginObject();
            record->Key("Number");
            record->Integer(n);
            record->Key("Start");
            record->Integer(n <= index.ImageCount ? index.ImageStart(n) : 0);
            record->Key("Size");
            record->Integer(sizes[i]);
            record->EndObject();
        }
        record->EndArray();
    }
}

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
                   std::ostream& out, std::ostream& err, const CommandLineServices& services) {
    MetadataWords words = MetadataWordsOf(options);
    if (!ParseMetadataWords("--list", args, false, words, err)) return kExitUsage;
    return RunMetadataFiles(words, services, out, err, [&](FileOutput& output) { ListFile(options.scan, output); });
}

}  // namespace veltrane
