// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The eyes of spatial photos in and out of JPEG images, with libjpeg-turbo: a JPEG image decoded
// for the HEVC encoder, and a decoded HEVC eye coded as a JPEG image. Where both sides use JPEG's
// YCbCr 4:2:0 (BT.601 matrix, full range, chroma halved both ways) the planes pass as they are,
// through libjpeg's raw data interface; otherwise as RGB rows. The metadata travels along:
//
//   APP1  "Exif\0\0" + TIFF data            <->  the eye's Exif item (TIFF data after its offset)
//   APP2  "ICC_PROFILE\0", n, count, piece  <->  the eye's 'colr' profile
//
// An ICC profile is cut into pieces of at most 65519 bytes, numbered from 1 (the segment's
// length field counts 2 bytes, the name 12, the two numbers 2: 65535 in all).
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/heif/spatial_photo.h"
#include "imaging/stereo/jpeg_codec.h"

namespace veltrane::stereo {

// A JPEG image decoded for the HEVC encoder: its planes when it is coded in YCbCr 4:2:0
// (padded to whole 16 x 16 blocks, as libjpeg decodes them), else RGB rows.
struct JpegEye {
    int width = 0;
    int height = 0;
    bool ycbcr420 = false;
    std::vector<std::uint8_t> y, cb, cr;
    std::size_t yStride = 0, chromaStride = 0;
    std::vector<std::uint8_t> rgb;  // width * 3 bytes a row, when !ycbcr420
    heif::EyeMetadata metadata;     // from the APP1 Exif and APP2 ICC segments
};

// Decodes a JPEG image; to RGB also when it is 4:2:0 if rawWhenPossible is false. name says
// which image it is in messages ("left image"). Raises StereoError.
JpegEye DecodeJpegEye(std::span<const std::uint8_t> jpeg, const CodecLimits& limits, bool rawWhenPossible = true,
                      const char* name = "image");

// Hands the eye to the writer in whichever form it was decoded (it is encoded there and then).
void AddJpegEye(heif::SpatialPhotoWriter& writer, heif::Eye eye, const JpegEye& jpeg);

// The decoded eye as a JPEG image of the given quality, 4:2:0, with metadata's Exif data
// (Orientation set to 1, the pixel size to the eye's) and ICC profile. Raises StereoError.
std::vector<std::uint8_t> EyeJpeg(const heif::DecodedEye& eye, const heif::EyeMetadata& metadata, int quality);

// Starts coding a 4:2:0 JPEG image of quality on out: from YCbCr planes through libjpeg's raw
// data interface when raw is set, else from RGB rows; then writes the APP1 payload exif (when
// there is one; else a JFIF header) and the APP2 payloads icc. Raises StereoError with failure.
void StartEyeEncoding(Encoder& out, int width, int height, int quality, bool raw, std::span<const std::uint8_t> exif,
                      const std::vector<std::vector<std::uint8_t>>& icc, const char* failure);

// The APP2 payloads that carry profile; none for an empty profile or one of more than 255
// pieces.
std::vector<std::vector<std::uint8_t>> IccSegments(std::span<const std::uint8_t> profile);
// The profile of APP2 payloads (any order; the pieces are joined by their numbers), empty
// when their numbers do not make one whole profile.
std::vector<std::uint8_t> IccProfileOf(const std::vector<std::vector<std::uint8_t>>& segments);

}  // namespace veltrane::stereo
