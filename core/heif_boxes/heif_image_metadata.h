// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The metadata of one image of a HEIF file, for the EXIF commands: its Exif item's TIFF bytes and
// its ICC profile, read from the file without any codec.
#include <cstdint>
#include <string>
#include <vector>

#include "core/heif_boxes/heif_structure.h"

namespace veltrane::heif_boxes {

struct HeifImageMetadata {
    std::uint32_t itemId = 0;
    std::vector<std::uint8_t> exifTiff;    // empty when the image has no Exif item
    std::vector<std::uint8_t> iccProfile;  // empty when it has no ICC profile
};

// Image imageNumber (1-based) in HeifStructure::NumberedImages order: for a spatial photo 1 is
// the left eye and 2 the right eye, otherwise 1 is the primary image. Raises HeifFormatError for
// a malformed file or an image number it does not have, InOutError when the file cannot be read.
HeifImageMetadata ReadHeifImageMetadata(InputFile& file, int imageNumber, const HeifReadLimits& limits = {});
// The same of a file whose structure has been read already.
HeifImageMetadata ReadHeifImageMetadata(const HeifStructure& structure, InputFile& file, int imageNumber,
                                        const HeifReadLimits& limits = {});
HeifImageMetadata ReadHeifImageMetadata(const std::string& path, int imageNumber);

// Whether the file at path (UTF-8) starts like a HEIF file (LooksLikeHeif of its first bytes).
// Raises InOutError when it cannot be read.
bool IsHeifFile(const std::string& path);

// The Exif TIFF bytes of image imageNumber of the HEIF file at path (UTF-8); what the EXIF
// reader takes as a TIFF buffer.
std::vector<std::uint8_t> HeifImageExifTiff(const std::string& path, int imageNumber);

}  // namespace veltrane::heif_boxes
