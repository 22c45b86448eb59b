// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Spatial photos as a stereo source and as a layout. A spatial photo is a HEIF file holding a
// stereo pair: two HEVC images tied together by a 'ster' entity group (in the 'grpl' box of its
// meta box), the left eye first, each with its own Exif item and colour profile.
//
// As a source, each eye is decoded (libheif, libde265) and coded as a JPEG image of quality 95,
// one eye at a time, so that the rest of the stereo library sees a pair of JPEG images like any
// other. As the heic layout, both eyes of a pair are encoded with x265 and the group added.
// A build without libheif recognises HEIF files and says that it cannot read them.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/stereo/jps_input.h"
#include "imaging/stereo/preview.h"

namespace veltrane::stereo {

// What a build without libheif says about a HEIF file.
inline constexpr const char* kSpatialPhotosUnavailable = "spatial photos are not available in this build";

// Whether this build reads and writes spatial photos.
bool SpatialPhotosAvailable();

// The two eyes of the spatial photo at path as JPEG images of quality 95 (JPEG's YCbCr 4:2:0;
// the decoder's planes go to the encoder as they are when they are JPEG-compatible 4:2:0), each
// with its own Exif data in an APP1 segment (its Orientation 1, as the pixels are decoded
// upright, and its pixel size the eye's) and its ICC profile in APP2 segments. The pair's
// reencodeReason is "from HEVC". Raises StereoError ("holds no stereo pair" for a HEIF file
// without the group, kSpatialPhotosUnavailable without libheif) or InOutError.
StereoPair ReadSpatialPair(const std::string& path, const CodecLimits& limits);

// Both eyes of a spatial photo at a reduced size, decoded one after the other and each scaled
// down (Lanczos-3) to the smallest M/8 of its size whose longer side is at least maxSide
// pixels, as DecodeEyes does for JPEG images. fullWidth and fullHeight get the left eye's size.
Eyes DecodeSpatialEyes(const std::string& path, int maxSide, const CodecLimits& limits, int& fullWidth,
                       int& fullHeight);

// A spatial photo of two JPEG images (left, right): both encoded as HEVC images at quality
// (0..100) with libheif's x265 encoder, the left eye the primary image, each with the Exif data
// of its APP1 segment and the ICC profile of its APP2 segments, the 'ster' group of the two and
// the cameras' properties. Raises StereoError.
std::vector<std::uint8_t> EncodeSpatialPhoto(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                                             int quality, const heif_boxes::StereoCamera& camera,
                                             const CodecLimits& limits);

}  // namespace veltrane::stereo
