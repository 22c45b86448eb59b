// SPDX-License-Identifier: GPL-3.0-or-later
// The wiggle animation: the two eyes' pictures shown in turn. Each eye is decoded at the
// smallest of libjpeg's DCT scales (1/8 to 8/8) that still gives at least the frame's size,
// which spares most of the decoding work of a large image, then resampled to the frame's size
// with the Lanczos filter; the two eyes decode on two threads. Only the two frames are held.
#include <algorithm>
#include <cmath>
#include <future>

#include "imaging/stereo/compose_internal.h"

namespace veltrane::stereo {

RgbImage DecodeAreaScaled(const EyeArea& area, const CodecLimits& limits, int width, int height) {
    Decoder decoder(area.bytes, limits, area.name);
    decoder.ReadHeader(false);
    jpeg_decompress_struct& info = decoder.info;
    // The smallest scale m / 8 at which the area covers the frame.
    int m = 1;
    while (m < DCTSIZE && (area.width * m < width * DCTSIZE || area.height * m < height * DCTSIZE)) ++m;
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
        info.out_color_space = JCS_RGB;
        info.scale_num = static_cast<unsigned>(m);
        info.scale_denom = DCTSIZE;
        jpeg_start_decompress(&info);
    });
    const int scaledWidth = static_cast<int>(info.output_width), scaledHeight = static_cast<int>(info.output_height);
    // The area in the scaled picture's pixels.
    const double scale = static_cast<double>(m) / DCTSIZE;
    const double x0 = area.x * scale, y0 = area.y * scale;
    const double areaWidth = area.width * scale, areaHeight = area.height * scale;
    const FilterTaps across = LanczosTaps(x0, areaWidth, scaledWidth, width);
    VerticalResampler down(LanczosTaps(y0, areaHeight, scaledHeight, height), static_cast<std::size_t>(width) * 3);
    RgbImage frame(width, height);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(scaledWidth) * 3), narrow(frame.RowBytes());
    const int rowsNeeded = down.SourceRowsNeeded();
    for (int y = 0; y < rowsNeeded; ++y) {
        JSAMPROW p = row.data();
        Guarded(decoder.errors, decoder.Failure().c_str(), [&] { jpeg_read_scanlines(&info, &p, 1); });
        ResampleRow(row.data(), narrow.data(), across);
        down.Add(narrow.data(), [&](int out, const std::uint8_t* resampled) {
            std::copy(resampled, resampled + frame.RowBytes(), frame.Row(out));
        });
    }
    return frame;
}

void ComposeWiggle(const EyeArea& left, const EyeArea& right, const StereoOptions& options, StereoPicture& picture) {
    // The frame: the area, shrunk to maxSize on its longer side when larger.
    const double shrink = std::min(1.0, static_cast<double>(options.maxSize) / std::max(left.width, left.height));
    const int width = std::max(1, static_cast<int>(std::lround(left.width * shrink)));
    const int height = std::max(1, static_cast<int>(std::lround(left.height * shrink)));
    auto rightFrame = std::async(std::launch::async, [&] { return DecodeAreaScaled(right, options.limits, width, height); });
    const RgbImage leftFrame = DecodeAreaScaled(left, options.limits, width, height);
    const RgbImage second = rightFrame.get();
    const std::vector<const RgbImage*> frames = {&leftFrame, &second};
    picture.bytes = options.animation == AnimationFormat::Webp ? EncodeAnimatedWebp(frames, options.frameDelayMs, 90)
                                                               : EncodeAnimatedGif(frames, options.frameDelayMs);
    picture.width = width;
    picture.height = height;
}

}  // namespace veltrane::stereo
