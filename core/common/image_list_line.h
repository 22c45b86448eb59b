// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line that lists one image of a file, in the window's list and in --list:
// " Image 002:  1205 K", the image number padded to three digits and the size in whole KiB
// (rounded down).
#include <cstdint>
#include <string>
#include <string_view>

namespace veltrane {

std::string ImageListLine(int imageNumber, std::int64_t sizeInBytes);

// The line of another part of the file, in the same layout under its own word:
// " Video 003:  1286 K", " Depth 004:  196 K"; PartListLine("Image", n, size) is ImageListLine.
std::string PartListLine(std::string_view word, int partNumber, std::int64_t sizeInBytes);

}  // namespace veltrane
