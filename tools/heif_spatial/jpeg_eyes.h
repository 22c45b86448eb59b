#pragma once
// JPEG files in and out of spatial photos, with libjpeg: a JPEG eye decoded for the encoder
// (raw YCbCr 4:2:0 planes when the file is coded that way, so neither side converts colours),
// its Exif and ICC segments taken along, and the side-by-side ("parallel") JPEG of a decoded
// pair. Used by the developer tool veltrane-spatial, the tests and the benchmarks.
#include <cstdint>
#include <span>
#include <vector>

#include "heif/spatial_photo.h"

namespace veltrane::heif_tool {

struct JpegEye {
    int width = 0;
    int height = 0;
    bool ycbcr420 = false;  // planes y/cb/cr (padded strides) instead of rgb
    std::vector<std::uint8_t> y, cb, cr;
    std::size_t yStride = 0, chromaStride = 0;
    std::vector<std::uint8_t> rgb;  // width * 3 per row
    heif::EyeMetadata metadata;     // the APP1 Exif TIFF bytes and the APP2 ICC profile
};

// Decodes a JPEG file; to RGB when rawWhenPossible is false. Raises heif::HeifError with
// libjpeg's message.
JpegEye DecodeJpegEye(std::span<const std::uint8_t> jpeg, bool rawWhenPossible = true);

// Adds the eye to the writer in whichever form it was decoded.
void AddJpegEye(heif::SpatialPhotoWriter& writer, heif::Eye eye, const JpegEye& jpeg);

// The left eye | right eye picture as a JPEG of the given quality, 4:2:0, with the left eye's
// Exif and ICC segments. The eyes are decoded one after the other and kept as the decoder gave
// them; when both are JPEG's YCbCr 4:2:0 and the left one's width is even, their planes go to
// the JPEG encoder as they are, otherwise a band of RGB rows at a time.
std::vector<std::uint8_t> ParallelJpeg(const heif::SpatialPhoto& photo, int quality);

// The APP2 payloads ("ICC_PROFILE\0", sequence number, count, a piece) that carry profile.
std::vector<std::vector<std::uint8_t>> IccSegments(std::span<const std::uint8_t> profile);

}  // namespace veltrane::heif_tool
