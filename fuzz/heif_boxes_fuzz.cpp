// SPDX-License-Identifier: GPL-3.0-or-later
// Reads arbitrary bytes as a HEIF file: the box structure, every item's payload, the Exif TIFF
// data, the images, the stereo pair and its cameras, then adds a stereo group to whatever was
// read, or sets the cameras' properties of a file that has a pair;
// and the file's parts: items, the motion photo's 'mpvd' box, Samsung trailers, overlaps.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/heif_boxes/entity_group_writer.h"
#include "core/heif_boxes/heif_structure.h"
#include "core/heif_boxes/stereo_camera.h"
#include "core/parts/heif_parts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrane::heif_boxes;
    const std::span<const std::uint8_t> file(data, size);
    HeifReadLimits limits;
    limits.maxItemBytes = 1u << 20;
    try {
        const auto s = ParseHeif(file, limits);
        for (const auto& item : s.items) {
            try {
                const auto payload = ItemPayload(s, file, item.id, limits);
                if (item.type == MakeFourCc("Exif")) (void)ExifTiffFromPayload(payload);
            } catch (const HeifFormatError&) {
            }
            (void)s.IccProfileOf(item.id);
        }
        const auto images = s.NumberedImages();
        for (const auto id : images) (void)s.MetadataItemsOf(id, MakeFourCc("Exif"));
        (void)ReadStereoCamera(s);
        if (s.FindStereoPair()) (void)SetStereoCamera(file, StereoCamera{});
        else if (images.size() >= 2) (void)InsertStereoGroup(file, images[0], images[1]);
    } catch (const HeifFormatError&) {
    }
    try {
        const auto list = veltrane::parts::FindHeifParts(file);
        for (const auto& part : list.parts)
            for (const auto& r : part.ranges)
                if (r.offset < 0 || r.length < 0 || static_cast<std::uint64_t>(r.offset) > size ||
                    static_cast<std::uint64_t>(r.length) > size - static_cast<std::uint64_t>(r.offset))
                    __builtin_trap();  // a part outside the file
    } catch (const HeifFormatError&) {
    }
    return 0;
}
