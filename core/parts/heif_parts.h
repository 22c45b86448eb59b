// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts of a HEIF file, found through the box reader without decoding anything:
//
//   - the images a viewer shows: the primary item first, then the other top-level images; a
//     grid (or any derived image) is one part with its tiles;
//   - auxiliary images ('auxl' references, their kind from the 'auxC' URN): gain maps, depth
//     maps, alpha planes, Apple's mattes; the gain-map input of an ISO 21496-1 'tmap' image;
//   - thumbnails ('thmb'), Exif items and XMP items ('mime' of application/rdf+xml);
//   - the file-level 'mpvd' box of a motion photo (its video; when the MP4 is followed by a
//     Samsung trailer, the video is the MP4 alone and the trailer's records are parts of their
//     own), and a file-level 'sefd' box (a Samsung trailer's records).
//
// Numbering: the images first (primary, then the structure's NumberedImages order), then every
// other part in file order. What does not add up (an extent outside the file, an 'mpvd' box cut
// short, parts that overlap) is a problem line; the parts that could be located are listed all
// the same.
//
// Writing: image items become single-image HEIF files of their own, their coded data and
// properties copied without re-encoding; every other part is copied byte-exact from its ranges.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/parts/file_part.h"

namespace veltrane {
class InputFile;
}

namespace veltrane::parts {

// Raises heif_boxes::HeifFormatError when the file does not start with an 'ftyp' box; every
// other fault of the file is a problem line of the list.
PartList FindHeifParts(InputFile& file);
// The same for a whole file in memory (the fuzz target's and the tests' way in).
PartList FindHeifParts(std::span<const std::uint8_t> file);

// Writes part (found by FindHeifParts in source) to destPath, replacing it: an image item as a
// single-image HEIF file, anything else byte-exact. Raises InOutError or HeifFormatError.
void WriteHeifPartFile(InputFile& source, const FilePart& part, const std::string& destPath);

// The single-image HEIF file of one image item of source in memory: the item (with the inputs
// of a derived image) as the primary image, with its codec configuration, size, colour and
// orientation properties. Raises HeifFormatError for an item that is not an image or whose
// coded data exceed maxBytes.
std::vector<std::uint8_t> SingleImageHeif(InputFile& source, std::uint32_t itemId,
                                          std::uint64_t maxBytes = 256u << 20);

// Whether a part of a HEIF file is written as an image of its own (a single-image HEIF file).
bool IsHeifImagePart(const FilePart& part);

}  // namespace veltrane::parts
