// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One image item of a HEIF file decoded to a PNG file: the primary, an auxiliary image (gain
// map, depth map, matte), a thumbnail. The item is first re-wrapped as a single-image HEIF file
// (its coded data as they are), which libheif then decodes as its primary image.
//
// Grey items (chroma 4:0:0: depth maps, gain maps, mattes) become grey PNG files, 16 bits a
// sample when the item has more than 8, its samples scaled to the full 16-bit range; colour
// items become 8-bit RGB.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::heif {

// Raises HeifError (or InOutError for the files) with a one-line cause.
void DecodeHeifItemToPng(const std::string& sourcePath, std::uint32_t itemId, const std::string& pngPath);

// The imaging module's command "--decode-heif-item SOURCE ITEM PNG": the same, its error on err
// as "veltrane: CAUSE"; returns the exit status.
int RunDecodeHeifItemCommand(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

}  // namespace veltrane::heif
