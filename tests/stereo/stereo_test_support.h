// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the stereo tests: decoding every output format back to RGB (with the libraries'
// own decoders), synthetic pairs with a known shift, and picture comparisons.
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/stereo/rgb_image.h"
#include "tests/support/temp_dir.h"

namespace veltrane::stereo::testing_support {

using Bytes = std::vector<std::uint8_t>;

// A JPEG decoded as the program decodes (fancy upsampling, the accurate integer IDCT), or
// without fancy upsampling (as `djpeg -nosmooth`: each pixel from its own MCU only).
RgbImage DecodeJpeg(const Bytes& jpeg, bool fancyUpsampling = true);
RgbImage DecodePng(const Bytes& png);
// Every frame, and each frame's delay in milliseconds.
std::vector<RgbImage> DecodeGif(const Bytes& gif, std::vector<int>* delaysMs = nullptr, int* loopCount = nullptr);
std::vector<RgbImage> DecodeWebp(const Bytes& webp, std::vector<int>* delaysMs = nullptr, int* loopCount = nullptr);

// A JPEG of width x height of a smooth scene with fine texture seen from (dx, dy): pixel (x, y)
// shows the scene at (x - dx, y - dy), so that a right image made with (a, d) against a left
// one made with (0, 0) aligns at (a, d).
Bytes SceneJpeg(int width, int height, int dx, int dy, int quality = 92, int hSampling = 2, int vSampling = 2);

RgbImage Crop(const RgbImage& image, int x, int y, int width, int height);
// Each output pixel the mean of a factor x factor square (the last ones of a short edge
// averaged over what there is); factorX and factorY may differ.
RgbImage BoxReduce(const RgbImage& image, int factorX, int factorY);
// Peak signal-to-noise ratio in dB over all channels (infinite for equal pictures).
double Psnr(const RgbImage& a, const RgbImage& b);

}  // namespace veltrane::stereo::testing_support
