// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Cutting a rectangle out of a JPEG image as an image of its own.
//
// Losslessly (as `jpegtran -crop` does): the quantized DCT blocks of the rectangle are coded
// again as they are, so that the crop decodes to exactly the pixels it had in the image. The
// rectangle must then start on the image's iMCU grid (the MCU of an interleaved image: 8 pixels
// times the largest sampling factors), since blocks cannot be split; its far edges may lie
// anywhere. Otherwise the rectangle is decoded and coded again.
//
// Either way the crop keeps the image's APPn and COM segments, in order, but for its MPF
// segments (APP2 "MPF\0": the index of the file it came from) and its JPS descriptor (APP3
// "_JPSJPS_"); the EXIF pixel size (PixelXDimension, PixelYDimension) becomes the crop's.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/stereo/jpeg_codec.h"

namespace veltrane::stereo {

// A rectangle of an image, in pixels: [x, x + width) x [y, y + height).
struct PixelArea {
    int x = 0, y = 0;
    int width = 0, height = 0;
    bool operator==(const PixelArea&) const = default;
};

// An image's size and its iMCU, from its header.
struct JpegGeometry {
    int width = 0, height = 0;
    int imcuWidth = DCTSIZE, imcuHeight = DCTSIZE;
};

// name says which image it is in messages ("the <name> does not decode: ..."). Raises
// StereoError.
JpegGeometry ReadJpegGeometry(std::span<const std::uint8_t> jpeg, const CodecLimits& limits, const std::string& name);

// The blocks of area (inside the image, starting on its iMCU grid) as a JPEG image: one
// sequential scan with libjpeg's standard Huffman tables, the image's quantization tables and
// sampling. An image of one scan is decoded on a second thread while the crop is coded, the two
// handing each other a few rows of blocks: memory holds those rows, never the whole image's
// blocks. A progressive or multi-scan image is read whole first. The whole image is decoded,
// so that damage anywhere in it is an error. Raises StereoError.
std::vector<std::uint8_t> CropLossless(std::span<const std::uint8_t> jpeg, const PixelArea& area,
                                       const CodecLimits& limits, const std::string& name);

// area decoded and coded again at quality with the image's luma sampling (a three-component
// image's; 1 x 1 otherwise). Raises StereoError.
std::vector<std::uint8_t> CropReencoded(std::span<const std::uint8_t> jpeg, const PixelArea& area, int quality,
                                        const CodecLimits& limits, const std::string& name);

}  // namespace veltrane::stereo
