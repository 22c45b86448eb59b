#pragma once
// The nineteen rows of the EXIF information window, built without any window: the window and
// `veltrane --exif` both show exactly these.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/common/number_format.h"

namespace veltrane::exif {

struct ExifRow {
    std::string_view Caption;  // "Image: ", "Description: ", ... (constant text, Windows-1252)
    std::string Value;    // Windows-1252
};

using ExifRows = std::array<ExifRow, 19>;

// Reads the JPEG file at imagePath with a fresh full reader (metadata_reader.h) that writes
// numbers in the given format, and fills the rows; listEntry is the image's list entry, shown
// trimmed in row 0.
ExifRows ExifWindowRows(const std::string& imagePath, const std::string& listEntry, const NumberFormat& numbers);

// The same for a JPEG image held in memory, read exactly as if it were a ".jpg" file.
ExifRows ExifWindowRows(std::span<const std::uint8_t> jpegBytes, const std::string& listEntry,
                        const NumberFormat& numbers);

// The same for the length bytes at offset of the file at path (an image inside an MPO file),
// read exactly as if they were a ".jpg" file. Only the image's head is read.
ExifRows ExifWindowRows(const std::string& path, std::int64_t offset, std::int64_t length,
                        const std::string& listEntry, const NumberFormat& numbers);

class ExifReader;
// The rows from a reader that has already read its file.
ExifRows ExifWindowRows(const ExifReader& reader, const std::string& listEntry);

// The tag names the rows look up (the OnlyTagNames of the rows' reader).
std::span<const std::string_view> ExifRowTagNames();

}  // namespace veltrane::exif
