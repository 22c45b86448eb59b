// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line faces of the EXIF reader: --exif, --info and --tags, over any number of
// files. The reader hands out UTF-8 texts, which are printed as they are.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <ostream>
#include <string_view>

#include "core/cli/command_line.h"
#include "core/cli/commands.h"
#include "core/cli/heif_exif_source.h"
#include "core/cli/metadata_files.h"
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

// Reports an MPF index that the scan did not use; nothing else of the scan is shown.
class NoticeListener : public ScanListener {
public:
    explicit NoticeListener(FileOutput& output) : output_(output) {}
    void MpfIndexIgnored(const std::string& reason) override {
        output_.Notice(MpfIndexIgnoredLine(output_.Path(), reason));
    }

private:
    FileOutput& output_;
};

// The lines of text, each introduced by "\r\n" (empty ones left out).
void AppendInfoLines(std::string_view text, std::vector<std::string_view>& lines) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = text.find("\r\n", pos);
        if (next == pos) {
            pos += 2;
            continue;
        }
        if (next == std::string_view::npos) next = text.size();
        lines.push_back(text.substr(pos, next - pos));
        pos = next;
    }
}

std::vector<std::string_view> InfoLines(const exif::ExifReader& reader) {
    std::vector<std::string_view> lines;
    if (const exif::TiffDirectory* directory = reader.Directory()) {
        AppendInfoLines(directory->InfoText(), lines);
        AppendInfoLines(directory->MakerNoteText(), lines);
    }
    return lines;
}

void AppendLine(std::string& text, std::string_view a, std::string_view b = {}, std::string_view c = {}) {
    text += a;
    text += b;
    text += c;
    text += '\n';
}

void WriteText(ExifCommand which, const exif::ExifReader& reader, const exif::ExifRows& rows, std::string& text) {
    switch (which) {
        case ExifCommand::Exif:
            for (const exif::ExifRow& row : rows) AppendLine(text, row.Caption, row.Value);
            break;
        case ExifCommand::Info:
            AppendLine(text, "Status: ", reader.StatusText());
            for (const std::string_view line : InfoLines(reader)) AppendLine(text, line);
            break;
        case ExifCommand::Tags:
            if (const exif::TiffDirectory* directory = reader.Directory()) {
                for (const exif::TagEntry& tag : directory->Tags()) AppendLine(text, tag.TagName, "\t", tag.DisplayText);
            }
            break;
    }
}

// The directories in the order their objects are written.
constexpr std::array kDirectoryOrder = {
    exif::TagDirectory::Ifd0,    exif::TagDirectory::ExifIfd,    exif::TagDirectory::Gps,
    exif::TagDirectory::Interop, exif::TagDirectory::SubIfd,     exif::TagDirectory::MakerNotes,
    exif::TagDirectory::Composite};

// --tags as a record: one object per directory that holds tags, mapping each tag name to the
// text --tags prints.
void WriteTagDirectories(const exif::TiffDirectory& directory, RecordWriter& record) {
    std::vector<NamedValue> values;
    for (const exif::TagDirectory which : kDirectoryOrder) {
        values.clear();
        for (const exif::TagEntry& tag : directory.Tags())
            if (tag.Directory == which) values.emplace_back(tag.TagName, tag.DisplayText);
        if (values.empty()) continue;
        record.Key(exif::TagDirectoryName(which));
        record.BeginObject();
        WriteNamedValues(record, values);
        record.EndObject();
    }
}

void WriteRecord(ExifCommand which, const exif::ExifReader& reader, const exif::ExifRows& rows,
                 RecordWriter& record) {
    switch (which) {
        case ExifCommand::Exif:
            record.Key("Rows");
            record.BeginObject();
            for (const exif::ExifRow& row : rows) {
                // "Date Taken: " names the member "Date Taken".
                std::string_view name = row.Caption;
                while (!name.empty() && (name.back() == ' ' || name.back() == ':')) name.remove_suffix(1);
                record.Member(name, row.Value);
            }
            record.EndObject();
            break;
        case ExifCommand::Info:
            record.Member("Status", reader.StatusText());
            record.Key("Lines");
            record.BeginArray();
            for (const std::string_view line : InfoLines(reader)) record.String(line);
            record.EndArray();
            break;
        case ExifCommand::Tags:
            if (const exif::TiffDirectory* directory = reader.Directory()) WriteTagDirectories(*directory, record);
            break;
    }
}

// A number with digits decimals, a '.' whatever the locale, and with sign a '+' before values
// that are not negative.
std::string Decimal(double value, int digits, bool sign = false) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    std::string text(buffer, result.ptr);
    if (text.starts_with("-") && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return sign && !text.starts_with("-") ? "+" + text : text;
}

// --info of a spatial photo: what its camera properties say, each line only when they say it.
void WriteCameraText(const heif_boxes::StereoCameraFacts& camera, std::string& text) {
    if (camera.baselineMm) AppendLine(text, "Stereo baseline: ", Decimal(*camera.baselineMm, 2), " mm");
    if (camera.horizontalFov) AppendLine(text, "Horizontal field of view: ", Decimal(*camera.horizontalFov, 1), "\xC2\xB0");
    if (camera.disparityAdjustment)
        AppendLine(text, "Disparity adjustment: ", Decimal(*camera.disparityAdjustment * 100, 2, true), "%");
}

// The same as numbers: millimetres to the micrometre, degrees to the hundredth, the adjustment as
// the fraction of the width the file stores.
void WriteCameraRecord(const heif_boxes::StereoCameraFacts& camera, RecordWriter& record) {
    // Divided by the steps per unit, so that 63810 / 1000 is the number nearest to 63.81.
    const auto rounded = [](const std::optional<double>& value, double steps) -> std::optional<double> {
        if (!value) return std::nullopt;
        return std::round(*value * steps) / steps;
    };
    const std::pair<const char*, std::optional<double>> members[] = {
        {"StereoBaselineMM", rounded(camera.baselineMm, 1000)},
        {"HorizontalFOV", rounded(camera.horizontalFov, 100)},
        {"DisparityAdjustment", rounded(camera.disparityAdjustment, 10000)}};
    for (const auto& [name, value] : members) {
        if (!value) continue;
        record.Key(name);
        record.Number(*value);
    }
}

std::string NoSuchImage(int imageNumber, int count) {
    return "there is no image " + std::to_string(imageNumber) + " (the file holds " + std::to_string(count) +
           (count == 1 ? " image)" : " images)");
}

// One file: image imageNumber of an .mpo file, read in place; any other file read itself.
void ReadExifFile(ExifCommand which, int imageNumber, const CommandLineOptions& options, FileOutput& output) {
    const std::string& path = output.Path();
    const NumberFormat& numbers = options.numbers;
    if (!IsExistingFile(path)) return output.Fail(InOutError::TextOf(ioerr::FileNotFound));

    exif::ExifReader reader(exif::FullReaderParts, exif::ReaderOptions{numbers});
    exif::ExifRows rows;
    heif_boxes::StereoCameraFacts camera;
    if (HasMpoExtension(path)) {
        // The image is read from the file at its offset, as if it had been extracted to a
        // .jpg file: only its head is read, whatever its size.
        std::int64_t start = 0, length = 0;
        try {
            ImageIndex index;
            NoticeListener listener(output);
            ScanImageOffsets(index, path, options.scan, listener);
            if (imageNumber > index.ImageCount) return output.Fail(NoSuchImage(imageNumber, index.ImageCount));
            start = index.ImageStart(imageNumber);
            length = std::max<std::int64_t>(index.ImageEnd(imageNumber, InputFile(path).Size()) - start, 0);
        } catch (const InOutError& e) {
            return output.Fail(e.what());
        }
        if (which == ExifCommand::Exif)
            rows = exif::ExifWindowRows(path, start, length, imageNumber, numbers);
        else
            reader.OpenFileRange(path, start, length, exif::SourceFormat::Jpeg);
    } else if (IsHeifFileQuietly(path)) {
        // A spatial photo (HEIF): image N's Exif item whole, read as a JPEG file's EXIF.
        HeifExifSource heif;
        try {
            heif = ReadHeifExifSource(path, imageNumber);
        } catch (const heif_boxes::HeifFormatError& e) {
            return output.Fail(e.what());
        } catch (const InOutError& e) {
            return output.Fail(e.what());
        }
        if (imageNumber > heif.imageCount) return output.Fail(NoSuchImage(imageNumber, heif.imageCount));
        camera = heif.camera;
        if (which == ExifCommand::Exif)
            rows = exif::ExifWindowRows(heif.exifTiff, exif::SourceFormat::ExifTiff, imageNumber, heif.codedSize,
                                        numbers);
        else
            reader.OpenBuffer(heif.exifTiff, exif::SourceFormat::ExifTiff);
    } else {
        if (imageNumber != 1) return output.Fail(NoSuchImage(imageNumber, 1));
        if (which == ExifCommand::Exif)
            rows = exif::ExifWindowRows(path, FileNamePart(path), numbers);
        else
            reader.OpenFile(path);
    }
    if (RecordWriter* record = output.Record()) {
        WriteRecord(which, reader, rows, *record);
        if (which == ExifCommand::Info) WriteCameraRecord(camera, *record);
    } else {
        WriteText(which, reader, rows, output.Text());
        if (which == ExifCommand::Info) WriteCameraText(camera, output.Text());
    }
}

}  // namespace

int RunExifCommand(ExifCommand which, const std::vector<std::string>& args, const CommandLineOptions& options,
                   std::ostream& out, std::ostream& err, const CommandLineServices& services) {
    MetadataWords words = MetadataWordsOf(options);
    if (!ParseMetadataWords(OptionWord(which), args, true, words, err)) return kExitUsage;
    const int imageNumber = std::max(words.ImageNumber, 1);
    return RunMetadataFiles(words, services, out, err, [&](FileOutput& output) {
        ReadExifFile(which, imageNumber, options, output);
    });
}

}  // namespace veltrane
