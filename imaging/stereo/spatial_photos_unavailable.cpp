// SPDX-License-Identifier: GPL-3.0-or-later
// A build without libheif: HEIF files are recognised (stereo_files.cpp), but not read or written.
#include "imaging/stereo/spatial_photos.h"

namespace veltrane::stereo {

bool SpatialPhotosAvailable() { return false; }

StereoPair ReadSpatialPair(const std::string&, const CodecLimits&) { throw StereoError(kSpatialPhotosUnavailable); }

Eyes DecodeSpatialEyes(const std::string&, int, const CodecLimits&, int&, int&) {
    throw StereoError(kSpatialPhotosUnavailable);
}

std::vector<std::uint8_t> EncodeSpatialPhoto(std::span<const std::uint8_t>, std::span<const std::uint8_t>, int,
                                             const heif_boxes::StereoCamera&, const CodecLimits&) {
    throw StereoError(kSpatialPhotosUnavailable);
}

}  // namespace veltrane::stereo
