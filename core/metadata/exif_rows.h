// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The nineteen rows of the EXIF information window, built without any window: the window and
// `veltrane --exif` both show exactly these. Texts are UTF-8.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/common/number_format.h"

namespace veltrane::exif {

enum class SourceFormat;  // core/exif/exif_reader.h

struct ExifRow {
    std::string_view Caption;  // "Image: ", "Description: ", ... (constant ASCII text)
    std::string Value;
};

using ExifRows = std::array<ExifRow, 19>;

// Row 0 ("Image: ") names the image by its number and size, as the list of the file's images
// shows it ("Image 002:  1205 K", core/common/image_list_line.h), or by a caption of its own.

// Reads the JPEG file at imagePath with a fresh full reader (metadata_reader.h) that writes
// numbers in the given format, and fills the rows of image imageNumber of sizeInBytes bytes.
ExifRows ExifWindowRows(const std::string& imagePath, int imageNumber, std::int64_t sizeInBytes,
                        const NumberFormat& numbers);

// The same for a JPEG image held in memory, read exactly as if it were a ".jpg" file.
ExifRows ExifWindowRows(std::span<const std::uint8_t> jpegBytes, int imageNumber, std::int64_t sizeInBytes,
                        const NumberFormat& numbers);

// The same for bytes in memory of the given format: the TIFF structure of a HEIF file's Exif
// item (SourceFormat::ExifTiff) gives the rows of a JPEG file with that EXIF, read whole.
ExifRows ExifWindowRows(std::span<const std::uint8_t> bytes, SourceFormat format, int imageNumber,
                        std::int64_t sizeInBytes, const NumberFormat& numbers);

// The same for image imageNumber, the length bytes at offset of the file at path (an image
// inside an MPO file), read exactly as if they were a ".jpg" file. Only the image's head is
// read.
ExifRows ExifWindowRows(const std::string& path, std::int64_t offset, std::int64_t length, int imageNumber,
                        const NumberFormat& numbers);

// The same for a JPEG file of its own, row 0 showing caption (the file's name) without the
// blanks around it.
ExifRows ExifWindowRows(const std::string& imagePath, std::string_view caption, const NumberFormat& numbers);

class ExifReader;
// The rows from a reader that has already read image imageNumber of sizeInBytes bytes.
ExifRows ExifWindowRows(const ExifReader& reader, int imageNumber, std::int64_t sizeInBytes);

// The tag names the rows look up (the OnlyTagNames of the rows' reader).
std::span<const std::string_view> ExifRowTagNames();

}  // namespace veltrane::exif
