#pragma once
// The nineteen rows of the EXIF information window, built without any window: the window and
// `veltrane --exif` both show exactly these.
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace veltrane::exif {

struct ExifRow {
    std::string Caption;  // "Image: ", "Description: ", ... (Windows-1252)
    std::string Value;    // Windows-1252
};

using ExifRows = std::array<ExifRow, 19>;

// Reads the JPEG file at imagePath with a fresh reader (collect mode 255) and fills the rows;
// listEntry is the image's list entry, shown trimmed in row 0.
ExifRows ExifWindowRows(const std::string& imagePath, const std::string& listEntry);

// The same for a JPEG image held in memory, read exactly as if it were a ".jpg" file.
ExifRows ExifWindowRows(std::span<const std::uint8_t> jpegBytes, const std::string& listEntry);

}  // namespace veltrane::exif
