// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The words of stereo pictures that the stereo library (imaging/stereo) and the window model
// (core/window) share: the kinds of anaglyph, the shift between the eyes, and an RGB picture.
// The library names them as its own, the window model hands them to it and gets them back, so
// nothing is translated on the way; standard library only, so the window model stays free of
// the image libraries.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace veltrane {

// The anaglyph's glasses and method: Dubois' least-squares projections in linear light for
// red-cyan (the default), amber-blue and green-magenta glasses; the classic channel mixes for
// red-cyan glasses on sRGB values.
enum class AnaglyphKind { Dubois, AmberBlue, GreenMagenta, Gray, Color, HalfColor, Optimized };

// Where the right eye's picture shows what the left's shows at (x, y): at (x + across, y + down).
struct StereoShift {
    int across = 0;
    int down = 0;
    bool operator==(const StereoShift&) const = default;
};

// An 8-bit RGB picture: R, G, B, row-major, no padding.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    RgbPicture() = default;
    RgbPicture(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3) {}
    RgbPicture(int w, int h, std::vector<std::uint8_t> rgb) : width(w), height(h), pixels(std::move(rgb)) {}
    std::size_t RowBytes() const { return static_cast<std::size_t>(width) * 3; }
    std::uint8_t* Row(int y) { return pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
    const std::uint8_t* Row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
    bool operator==(const RgbPicture&) const = default;
};

}  // namespace veltrane
