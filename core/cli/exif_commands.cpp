// The command-line faces of the EXIF reader: --exif, --info and --tags. The reader hands out
// UTF-8 texts, which are printed as they are.
#include <algorithm>
#include <ostream>
#include <string_view>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/cli/heif_exif_source.h"
#include "core/common/ascii.h"
#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/exif/exif_reader.h"
#include "core/heif_boxes/heif_image_metadata.h"
#include "core/images/scanner.h"
#include "core/metadata/exif_rows.h"
#include "core/metadata/metadata_reader.h"

namespace veltrane {
namespace {

const char* OptionWord(ExifCommand which) {
    switch (which) {
        case ExifCommand::Exif: return "--exif";
        case ExifCommand::Info: return "--info";
        case ExifCommand::Tags: return "--tags";
    }
    return "--exif";
}

bool HasMpoExtension(const std::string& path) {
    if (path.size() < 4) return false;
    return EqualIgnoringAsciiCase(std::string_view(path).substr(path.size() - 4), ".mpo");
}

// Whether the file starts like a HEIF file; a file that cannot be read is left to the reader,
// whose status says why.
bool IsHeifFileQuietly(const std::string& path) {
    try {
        return heif_boxes::IsHeifFile(path);
    } catch (const InOutError&) {
        return false;
    }
}

// A positive decimal image number, or 0 when the text is none.
int ParseImageNumber(const std::string& text) {
    if (text.empty() || text.size() > 6) return 0;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

// Reports an MPF index that the scan did not use; nothing else of the scan is shown.
class NoticeListener : public ScanListener {
public:
    NoticeListener(std::ostream& err, const std::string& path) : err_(err), path_(path) {}
    void MpfIndexIgnored(const std::string& reason) override {
        ReportMpfIndexIgnored(err_, path_, reason);
    }

private:
    std::ostream& err_;
    const std::string& path_;
};

// Prints every "\r\n"-introduced line of text on a line of its own.
void PrintLines(std::ostream& out, const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = text.find("\r\n", pos);
        if (next == pos) {
            pos += 2;
            continue;
        }
        if (next == std::string::npos) next = text.size();
        out << std::string_view(text).substr(pos, next - pos) << "\n";
        pos = next;
    }
}

void PrintOutput(ExifCommand which, const exif::ExifReader& reader, const exif::ExifRows& rows,
                 std::ostream& out) {
    switch (which) {
        case ExifCommand::Exif:
            for (const exif::ExifRow& row : rows) out << row.Caption << row.Value << "\n";
            break;
        case ExifCommand::Info:
            out << "Status: " << reader.StatusText() << "\n";
            if (const exif::TiffDirectory* directory = reader.Directory()) {
                PrintLines(out, directory->InfoText());
                PrintLines(out, directory->MakerNoteText());
            }
            break;
        case ExifCommand::Tags:
            if (const exif::TiffDirectory* directory = reader.Directory()) {
                for (const exif::TagEntry& tag : directory->Tags())
                    out << tag.TagName << '\t' << tag.DisplayText << "\n";
            }
            break;
    }
}

}  // namespace

int RunExifCommand(ExifCommand which, const std::vector<std::string>& args,
                   const CommandLineOptions& options, std::ostream& out, std::ostream& err) {
    const char* option = OptionWord(which);
    const NumberFormat& numbers = options.numbers;
    if (args.empty() || args.size() > 2) {
        err << "veltrane: " << option << " takes a file and an optional image number\n"
            << "Try 'veltrane --help'.\n";
        return kExitUsage;
    }
    int imageNumber = 1;
    if (args.size() == 2) {
        imageNumber = ParseImageNumber(args[1]);
        if (imageNumber < 1) {
            err << "veltrane: " << option << ": '" << args[1] << "' is not an image number\n"
                << "Try 'veltrane --help'.\n";
            return kExitUsage;
        }
    }
    const std::string& path = args[0];
    if (!IsExistingFile(path)) {
        err << "veltrane: " << path << ": " << InOutError::TextOf(ioerr::FileNotFound) << "\n";
        return kExitFailure;
    }
    const auto noSuchImage = [&](int count) {
        err << "veltrane: " << path << ": there is no image " << imageNumber << " (the file holds "
            << count << (count == 1 ? " image" : " images") << ")\n";
        return kExitFailure;
    };

    exif::ExifReader reader(exif::FullReaderParts, exif::ReaderOptions{numbers});
    exif::ExifRows rows;
    if (HasMpoExtension(path)) {
        // The image is read from the file at its offset, as if it had been extracted to a
        // .jpg file: only its head is read, whatever its size.
        std::int64_t start = 0, length = 0;
        try {
            ImageIndex index;
            NoticeListener listener(err, path);
            ScanImageOffsets(index, path, options.scan, listener);
            if (imageNumber > index.ImageCount) return noSuchImage(index.ImageCount);
            start = index.ImageStart(imageNumber);
            length = std::max<std::int64_t>(index.ImageEnd(imageNumber, InputFile(path).Size()) - start, 0);
        } catch (const InOutError& e) {
            err << "veltrane: " << e.FileName() << ": " << e.what() << "\n";
            return kExitFailure;
        }
        if (which == ExifCommand::Exif)
            rows = exif::ExifWindowRows(path, start, length, imageNumber, numbers);
        else
            reader.OpenFileRange(path, start, length, "image.jpg");
    } else if (IsHeifFileQuietly(path)) {
        // A spatial photo (HEIF): image N's Exif item, read as a JPEG file with that EXIF.
        HeifExifSource heif;
        try {
            heif = ReadHeifExifSource(path, imageNumber);
        } catch (const heif_boxes::HeifFormatError& e) {
            err << "veltrane: " << path << ": " << e.what() << "\n";
            return kExitFailure;
        } catch (const InOutError& e) {
            err << "veltrane: " << e.FileName() << ": " << e.what() << "\n";
            return kExitFailure;
        }
        if (imageNumber > heif.imageCount) return noSuchImage(heif.imageCount);
        if (which == ExifCommand::Exif)
            rows = exif::ExifWindowRows(heif.jpeg, imageNumber, heif.codedSize, numbers);
        else
            reader.OpenBuffer(heif.jpeg, "image.jpg");
    } else {
        if (imageNumber != 1) return noSuchImage(1);
        if (which == ExifCommand::Exif)
            rows = exif::ExifWindowRows(path, FileNamePart(path), numbers);
        else
            reader.OpenFile(path);
    }
    PrintOutput(which, reader, rows, out);
    return out ? kExitOk : kExitFailure;
}

}  // namespace veltrane
