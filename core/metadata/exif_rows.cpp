// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/metadata/exif_rows.h"

#include <iterator>

#include "core/common/image_list_line.h"
#include "core/exif/exif_reader.h"
#include "core/exif/tag_rendering.h"
#include "core/metadata/metadata_reader.h"

namespace veltrane::exif {
namespace {

constexpr std::string_view kCaptions[19] = {
    "Image: ",         "Description: ",     "Manufacturer: ",      "Camera: ",
    "Software: ",      "Orientation: ",     "Date Taken: ",        "Exposure: ",
    "Exposure Mode: ", "Exposure Program: ", "F-Number: ",         "Metering Method: ",
    "Flash: ",         "ISO speed: ",       "EXIF Image width: ",  "EXIF Image height: ",
    "X resolution: ",  "Y resolution: ",    "Focal Length: "};

// The tag names the rows look up, and for each the row that shows it. A reader given these
// names renders and keeps only these tags.
constexpr std::string_view kRowTagNames[] = {
    "ImageDescription", "Software", "Orientation",     "Datetime", "ExposureTime",
    "ExposureMode",     "ExposureProgram", "FNumber",  "MeteringMode", "Flash",
    "ISOSpeedRatings",  "XResolution",     "YResolution", "Focallength"};
constexpr std::size_t kRowOfTagName[] = {1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17, 18};
static_assert(std::size(kRowTagNames) == std::size(kRowOfTagName));

// The rows of what reader read, row 0 showing imageName without the blanks around it.
ExifRows RowsOf(const ExifReader& reader, std::string_view imageName) {
    ExifRows rows;
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].Caption = kCaptions[i];
    rows[0].Value.assign(TrimmedView(imageName));
    const TiffDirectory* directory = reader.Directory();
    if (!reader.HasExifSection() || directory == nullptr) {
        // Into the empty strings' own buffers: nothing allocated.
        for (std::size_t i = 1; i < rows.size(); ++i) rows[i].Value.push_back('-');
        return rows;
    }

    // A tag the directory does not hold shows as nothing.
    for (std::size_t k = 0; k < std::size(kRowTagNames); ++k) {
        const int i = directory->TagCount() > 0 ? directory->IndexOfTagName(kRowTagNames[k]) : -1;
        std::string& value = rows[kRowOfTagName[k]].Value;
        if (i >= 0)
            value = directory->Tags()[static_cast<std::size_t>(i)].DisplayText;
        else
            value.clear();
    }
    rows[2].Value = directory->MakeText();
    rows[3].Value = directory->ModelText();
    rows[14].Value = std::to_string(directory->PixelWidth());
    rows[15].Value = std::to_string(directory->PixelHeight());
    return rows;
}

// The options of a full reader that keeps only the tags the rows look up: the rows come out
// exactly as from a reader that keeps everything, at a fraction of the work.
ReaderOptions RowsReaderOptions(const NumberFormat& numbers) {
    return {numbers, CollectMode::Everything, kRowTagNames};
}

}  // namespace

std::span<const std::string_view> ExifRowTagNames() { return kRowTagNames; }

ExifRows ExifWindowRows(const std::string& imagePath, int imageNumber, std::int64_t sizeInBytes,
                        const NumberFormat& numbers) {
    return ExifWindowRows(imagePath, ImageListLine(imageNumber, sizeInBytes), numbers);
}

ExifRows ExifWindowRows(std::span<const std::uint8_t> jpegBytes, int imageNumber, std::int64_t sizeInBytes,
                        const NumberFormat& numbers) {
    return ExifWindowRows(jpegBytes, SourceFormat::Jpeg, imageNumber, sizeInBytes, numbers);
}

ExifRows ExifWindowRows(std::span<const std::uint8_t> bytes, SourceFormat format, int imageNumber,
                        std::int64_t sizeInBytes, const NumberFormat& numbers) {
    ExifReader reader(FullReaderParts, RowsReaderOptions(numbers));
    reader.OpenBuffer(bytes, format);
    return RowsOf(reader, ImageListLine(imageNumber, sizeInBytes));
}

ExifRows ExifWindowRows(const std::string& path, std::int64_t offset, std::int64_t length, int imageNumber,
                        const NumberFormat& numbers) {
    ExifReader reader(FullReaderParts, RowsReaderOptions(numbers));
    reader.OpenFileRange(path, offset, length, exif::SourceFormat::Jpeg);
    return RowsOf(reader, ImageListLine(imageNumber, length));
}

ExifRows ExifWindowRows(const std::string& imagePath, std::string_view caption, const NumberFormat& numbers) {
    ExifReader reader(FullReaderParts, RowsReaderOptions(numbers));
    reader.OpenFile(imagePath);
    return RowsOf(reader, caption);
}

ExifRows ExifWindowRows(const ExifReader& reader, int imageNumber, std::int64_t sizeInBytes) {
    return RowsOf(reader, ImageListLine(imageNumber, sizeInBytes));
}

}  // namespace veltrane::exif
