// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Adding and replacing boxes in the meta box of a finished HEIF file, for what the encoding
// library cannot write itself: the 'grpl' box with the 'ster' group of a spatial photo, and the
// cameras' properties (stereo_camera.h).
//
// The meta box usually precedes the coded data ('mdat'), so every byte behind the changed part
// moves by the size change. The item locations ('iloc') that address the file (construction
// method 0) are corrected: a stored base offset behind the changed part, or else each such
// extent offset, grows (or shrinks) by that size; 'iloc' itself may lie behind the changed part. Anything that cannot be corrected safely is
// refused with a HeifFormatError: a field too small for the corrected offset, an extent that
// straddles the insertion point, movie boxes (whose chunk offsets would move too), a meta box
// that runs to the end of the file.
#include <cstdint>
#include <span>
#include <vector>

#include "core/heif_boxes/heif_structure.h"

namespace veltrane::heif_boxes {

// A 'grpl' box holding one 'ster' group: the left eye's item first, then the right eye's.
//   grpl: u32 size, 'grpl'
//     ster: u32 size, 'ster', u8 version 0, u24 flags 0, u32 group_id, u32 2, u32 left, u32 right
std::vector<std::uint8_t> StereoGroupBox(std::uint32_t groupId, std::uint32_t leftItem, std::uint32_t rightItem);

// Whether a file-level box of this type addresses the file by absolute offsets that these
// writers do not correct ('moov', 'moof', 'sidx', 'mfra', 'ssix', 'meco'): files with one are
// refused.
bool CarriesFileOffsets(FourCc type);

// The file with the length bytes at file position at (inside the meta box's payload, or at its
// end) replaced by bytes, the meta box's size and the item locations corrected.
std::vector<std::uint8_t> ReplaceInMetaBox(std::span<const std::uint8_t> file, std::uint64_t at, std::uint64_t length,
                                           std::span<const std::uint8_t> bytes);

// The file with boxes (complete boxes, headers included) added at the end of its meta box, the
// meta box's size and the item locations corrected.
std::vector<std::uint8_t> AppendToMetaBox(std::span<const std::uint8_t> file, std::span<const std::uint8_t> boxes);

// The file with a 'grpl' box holding the 'ster' group of the two image items; the group's ID is
// one more than the largest item ID. Refuses a file that already has a 'grpl' box or items that
// are not images.
std::vector<std::uint8_t> InsertStereoGroup(std::span<const std::uint8_t> file, std::uint32_t leftItem,
                                            std::uint32_t rightItem);

}  // namespace veltrane::heif_boxes
