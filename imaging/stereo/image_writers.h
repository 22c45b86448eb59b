// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The output formats of the stereo pictures, each behind a small interface so that the rest of
// the module knows nothing of the libraries that write them: libjpeg-turbo (JPEG), libpng
// (PNG), giflib with libimagequant's palettes (GIF) and libwebp's animation encoder (WebP).
// Every writer produces the complete file in memory; errors raise StereoError.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/stereo/rgb_image.h"

namespace veltrane::stereo {

// A picture written one RGB row (width * 3 bytes) at a time, top to bottom.
class RowWriter {
public:
    virtual ~RowWriter() = default;
    virtual void WriteRow(const std::uint8_t* rgb) = 0;
    // The complete file, once every row has been written.
    virtual std::vector<std::uint8_t> Finish() = 0;
};

struct JpegSettings {
    int quality = 95;
    int hSampling = 1, vSampling = 1;      // of luma; chroma is always 1 x 1
    std::vector<std::uint8_t> exif;        // APP1 payload ("Exif\0\0" ...), or empty for JFIF
    std::vector<std::vector<std::uint8_t>> icc;  // APP2 payloads of an ICC profile, or none
    std::vector<std::uint8_t> jps;         // APP3 payload, or empty
    std::size_t expectedSize = 0;          // room reserved for the output up front
};
std::unique_ptr<RowWriter> NewJpegWriter(int width, int height, const JpegSettings& settings);

// 8-bit RGB with libpng's adaptive row filters; rows stored in order (no Adam7 interlacing,
// which would only make the file larger).
std::unique_ptr<RowWriter> NewPngWriter(int width, int height);

// An animation of frames of equal size shown delayMs each, looping forever.
// GIF: one palette of at most 256 colours for all frames (libimagequant), dithered; the delay
// is rounded to GIF's hundredths of a second.
std::vector<std::uint8_t> EncodeAnimatedGif(const std::vector<const RgbImage*>& frames, int delayMs);
// WebP: lossy frames at the given quality.
std::vector<std::uint8_t> EncodeAnimatedWebp(const std::vector<const RgbImage*>& frames, int delayMs, int quality);

}  // namespace veltrane::stereo
