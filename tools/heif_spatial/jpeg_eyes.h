// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The side-by-side ("parallel") JPEG of a spatial photo's decoded pair, streamed straight from
// the two decoded eyes into one JPEG encoder: the developer tool's reference for what the
// program's --stereo path (each eye coded as JPEG, then composed block for block) costs. The
// conversions of single eyes are the stereo library's (imaging/stereo/spatial_jpeg.h).
#include <cstdint>
#include <vector>

#include "imaging/heif/spatial_photo.h"

namespace veltrane::heif_tool {

// The left eye | right eye picture as a JPEG of the given quality, 4:2:0, with the left eye's
// Exif and ICC segments. The eyes are decoded one after the other and kept as the decoder gave
// them; when both are JPEG's YCbCr 4:2:0 and the left one's width is even, their planes go to
// the JPEG encoder as they are, otherwise a band of RGB rows at a time.
std::vector<std::uint8_t> ParallelJpeg(const heif::SpatialPhoto& photo, int quality);

}  // namespace veltrane::heif_tool
