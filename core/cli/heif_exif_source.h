// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The EXIF commands on HEIF files (spatial photos): image N's Exif item, its TIFF structure
// whole, which the EXIF reader reads as the EXIF section of a JPEG file
// (exif::SourceFormat::ExifTiff), so that the rows are exactly those of a JPEG file with the
// same EXIF, however large the item.
#include <cstdint>
#include <string>
#include <vector>

#include "core/heif_boxes/stereo_camera.h"

namespace veltrane {

struct HeifExifSource {
    int imageCount = 0;            // the file's images, numbered as the stereo pair's eyes first
    std::vector<std::uint8_t> exifTiff;  // the Exif item's TIFF structure; empty without one
    std::int64_t codedSize = 0;    // the bytes of the image's coded data (its tiles' for a grid)
    heif_boxes::StereoCameraFacts camera;  // what the stereo pair's camera properties say
};

// Image imageNumber (1 the left eye of a spatial photo, 2 the right one; else 1 the primary
// image) of the HEIF file at path, when the file has that image (else only imageCount is set).
// Raises HeifFormatError for a malformed file, InOutError when it cannot be read.
HeifExifSource ReadHeifExifSource(const std::string& path, int imageNumber);

}  // namespace veltrane
