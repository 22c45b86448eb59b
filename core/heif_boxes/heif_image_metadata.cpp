// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/heif_boxes/heif_image_metadata.h"

#include <algorithm>

#include "core/common/file_io.h"

namespace veltrane::heif_boxes {

HeifImageMetadata ReadHeifImageMetadata(InputFile& file, int imageNumber, const HeifReadLimits& limits) {
    return ReadHeifImageMetadata(ReadHeifStructure(file, limits), file, imageNumber, limits);
}

HeifImageMetadata ReadHeifImageMetadata(const HeifStructure& structure, InputFile& file, int imageNumber,
                                        const HeifReadLimits& limits) {
    const auto images = structure.NumberedImages();
    if (imageNumber < 1 || static_cast<std::size_t>(imageNumber) > images.size())
        throw HeifFormatError("the file holds no image " + std::to_string(imageNumber) + " (it has " +
                              std::to_string(images.size()) + ")");
    HeifImageMetadata out;
    out.itemId = images[static_cast<std::size_t>(imageNumber - 1)];
    const auto exif = structure.MetadataItemsOf(out.itemId, MakeFourCc("Exif"));
    if (!exif.empty()) out.exifTiff = ExifTiffFromPayload(ItemPayload(structure, file, exif.front(), limits));
    const auto icc = structure.IccProfileOf(out.itemId);
    out.iccProfile.assign(icc.begin(), icc.end());
    return out;
}

HeifImageMetadata ReadHeifImageMetadata(const std::string& path, int imageNumber) {
    InputFile file(path);
    return ReadHeifImageMetadata(file, imageNumber);
}

bool IsHeifFile(const std::string& path) {
    InputFile file(path);
    std::uint8_t head[32] = {};
    const std::size_t n = static_cast<std::size_t>(std::clamp<std::int64_t>(file.Size(), 0, sizeof head));
    if (n > 0) file.ReadAt(0, head, n);
    return LooksLikeHeif(std::span<const std::uint8_t>(head, n));
}

std::vector<std::uint8_t> HeifImageExifTiff(const std::string& path, int imageNumber) {
    return ReadHeifImageMetadata(path, imageNumber).exifTiff;
}

}  // namespace veltrane::heif_boxes
