// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/cli/heif_exif_source.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "core/common/file_io.h"
#include "core/heif_boxes/heif_image_metadata.h"
#include "core/heif_boxes/heif_structure.h"

namespace veltrane {
namespace {

namespace hb = heif_boxes;

// The bytes of an image item's coded data in the file: its extents, and for a derived image
// (a grid of tiles, an overlay) those of the images it is made of. Items stored elsewhere
// count nothing; an extent of length 0 runs to the end of the file (or of 'idat').
std::int64_t CodedSize(const hb::HeifStructure& s, std::uint32_t id, std::unordered_set<std::uint32_t>& seen) {
    if (!seen.insert(id).second) return 0;  // every item once, whatever the references say
    const hb::HeifItem* item = s.FindItem(id);
    if (item == nullptr) return 0;
    std::uint64_t size = 0;
    if (item->location && item->location->dataReferenceIndex == 0) {
        const std::uint64_t end = item->location->constructionMethod == 1 ? s.idatSize : s.fileSize;
        for (const hb::HeifExtent& extent : item->location->extents)
            size += extent.length != 0 ? extent.length : end - std::min(end, item->location->baseOffset + extent.offset);
    }
    for (const hb::HeifReference& ref : s.references)
        if (ref.type == hb::MakeFourCc("dimg") && ref.from == id)
            for (const std::uint32_t input : ref.to) size += static_cast<std::uint64_t>(CodedSize(s, input, seen));
    return static_cast<std::int64_t>(std::min<std::uint64_t>(size, static_cast<std::uint64_t>(INT64_MAX)));
}

}  // namespace

HeifExifSource ReadHeifExifSource(const std::string& path, int imageNumber) {
    InputFile file(path);
    const hb::HeifStructure structure = hb::ReadHeifStructure(file);
    const std::vector<std::uint32_t> images = structure.NumberedImages();
    HeifExifSource source;
    source.imageCount = static_cast<int>(images.size());
    source.camera = hb::ReadStereoCamera(structure);
    if (imageNumber < 1 || imageNumber > source.imageCount) return source;
    std::unordered_set<std::uint32_t> seen;
    source.codedSize = CodedSize(structure, images[static_cast<std::size_t>(imageNumber - 1)], seen);
    source.exifTiff = hb::ReadHeifImageMetadata(structure, file, imageNumber).exifTiff;
    return source;
}

}  // namespace veltrane
