// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An 8-bit RGB picture in memory.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrane::stereo {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // R, G, B; row-major, no padding

    RgbImage() = default;
    RgbImage(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3) {}
    std::size_t RowBytes() const { return static_cast<std::size_t>(width) * 3; }
    std::uint8_t* Row(int y) { return pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
    const std::uint8_t* Row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
};

}  // namespace veltrane::stereo
