// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/preview.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>

#include "imaging/stereo/resample.h"

namespace veltrane::stereo {
namespace {

RgbImage DecodeAtScale(std::span<const std::uint8_t> bytes, const CodecLimits& limits, const char* name, int eighths) {
    Decoder decoder(bytes, limits, name);
    decoder.ReadHeader(false);
    jpeg_decompress_struct& info = decoder.info;
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
        info.out_color_space = JCS_RGB;
        info.scale_num = static_cast<unsigned>(eighths);
        info.scale_denom = DCTSIZE;
        jpeg_start_decompress(&info);
    });
    RgbImage image(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = image.Row(static_cast<int>(info.output_scanline));
            jpeg_read_scanlines(&info, &row, 1);
        }
    });
    return image;
}

// An eye's area [x, x + width) x [y, y + height) in the reduced picture.
struct View {
    const RgbImage* image = nullptr;
    int x = 0, y = 0, width = 0, height = 0;
    const std::uint8_t* Row(int row) const { return image->Row(y + row) + static_cast<std::size_t>(x) * 3; }
};

// The left and right eyes' areas: the whole pictures (the common size when they differ), or
// their overlap for the settings' shift.
std::pair<View, View> Views(const Eyes& eyes, const ViewSettings& settings) {
    const RgbImage& leftImage = settings.swap ? eyes.right : eyes.left;
    const RgbImage& rightImage = settings.swap ? eyes.left : eyes.right;
    const double scale = eyes.Scale();
    const int across = static_cast<int>(std::lround((settings.alignment.across - settings.parallax) * scale));
    const int down = static_cast<int>(std::lround(settings.alignment.down * scale));
    View l{&leftImage}, r{&rightImage};
    l.x = std::max(0, -across);
    r.x = l.x + across;
    l.y = std::max(0, -down);
    r.y = l.y + down;
    l.width = r.width = std::max(0, std::min(leftImage.width - l.x, rightImage.width - r.x));
    l.height = r.height = std::max(0, std::min(leftImage.height - l.y, rightImage.height - r.y));
    if (l.width == 0 || l.height == 0) throw StereoError("the two images do not overlap");
    return {l, r};
}

int Half(int length) { return std::max(1, (length + 1) / 2); }

// Copies the view into out at (x, y), resampled to width x height.
void Place(const View& view, RgbImage& out, int x, int y, int width, int height) {
    const FilterTaps across = LanczosTaps(0, view.width, view.width, width);
    const bool sameWidth = width == view.width;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    auto narrow = [&](int r) -> const std::uint8_t* {
        if (sameWidth) return view.Row(r);
        ResampleRow(view.Row(r), row.data(), across);
        return row.data();
    };
    const std::size_t offset = static_cast<std::size_t>(x) * 3;
    if (height == view.height) {
        for (int r = 0; r < height; ++r) std::memcpy(out.Row(y + r) + offset, narrow(r), row.size());
        return;
    }
    VerticalResampler resampler(LanczosTaps(0, view.height, view.height, height), row.size());
    for (int r = 0; r < view.height && !resampler.Done(); ++r)
        resampler.Add(narrow(r), [&](int o, const std::uint8_t* p) { std::memcpy(out.Row(y + o) + offset, p, row.size()); });
}

}  // namespace

Eyes DecodeEyes(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right, int maxSide,
                const CodecLimits& limits) {
    Decoder header(left, limits, "left image");
    header.ReadHeader(false);
    const int longer = static_cast<int>(std::max(header.info.image_width, header.info.image_height));
    Eyes eyes;
    eyes.scaleEighths = 1;
    while (eyes.scaleEighths < DCTSIZE && longer * eyes.scaleEighths < maxSide * DCTSIZE) ++eyes.scaleEighths;
    auto rightImage = std::async(std::launch::async, [&] { return DecodeAtScale(right, limits, "right image", eyes.scaleEighths); });
    eyes.left = DecodeAtScale(left, limits, "left image", eyes.scaleEighths);
    eyes.right = rightImage.get();
    return eyes;
}

Alignment MeasureAlignment(const Eyes& eyes) {
    auto luma = [](const RgbImage& image) {
        LumaImage grey;
        grey.width = image.width;
        grey.height = image.height;
        grey.pixels.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
        for (std::size_t i = 0; i < grey.pixels.size(); ++i) {
            const std::uint8_t* p = &image.pixels[i * 3];
            grey.pixels[i] = static_cast<std::uint8_t>((19595 * p[0] + 38470 * p[1] + 7471 * p[2] + 32768) >> 16);
        }
        return grey;
    };
    const LumaImage l = luma(eyes.left), r = luma(eyes.right);
    if (l.height != r.height) throw StereoError("the two images differ in height");
    const Alignment reduced = FindAlignment(l, r);
    return {static_cast<int>(std::lround(reduced.across / eyes.Scale())),
            static_cast<int>(std::lround(reduced.down / eyes.Scale()))};
}

RgbImage RenderStereo(const Eyes& eyes, const ViewSettings& settings) {
    const auto [l, r] = Views(eyes, settings);
    const int w = l.width, h = l.height;
    switch (settings.layout) {
        case Layout::Cross:
        case Layout::Parallel:
        case Layout::Mpo:
        case Layout::Heic: {
            RgbImage out(2 * w, h);
            const bool cross = settings.layout == Layout::Cross;
            Place(cross ? r : l, out, 0, 0, w, h);
            Place(cross ? l : r, out, w, 0, w, h);
            return out;
        }
        case Layout::HalfSideBySide: {
            RgbImage out(2 * Half(w), h);
            Place(l, out, 0, 0, Half(w), h);
            Place(r, out, Half(w), 0, Half(w), h);
            return out;
        }
        case Layout::OverUnder:
        case Layout::HalfOverUnder: {
            const int part = settings.layout == Layout::OverUnder ? h : Half(h);
            RgbImage out(w, 2 * part);
            Place(l, out, 0, 0, w, part);
            Place(r, out, 0, part, w, part);
            return out;
        }
        case Layout::Anaglyph:
        case Layout::Interlaced: {
            RgbImage out(w, h);
            for (int y = 0; y < h; ++y) {
                if (settings.layout == Layout::Anaglyph)
                    AnaglyphRow(l.Row(y), r.Row(y), out.Row(y), w, settings.anaglyph);
                else
                    std::memcpy(out.Row(y), (y % 2 == 0 ? l : r).Row(y), out.RowBytes());
            }
            return out;
        }
        case Layout::Wiggle: break;
    }
    RgbImage out(w, h);
    Place(l, out, 0, 0, w, h);
    return out;
}

std::array<RgbImage, 2> WiggleFrames(const Eyes& eyes, const ViewSettings& settings) {
    const auto [l, r] = Views(eyes, settings);
    std::array<RgbImage, 2> frames = {RgbImage(l.width, l.height), RgbImage(r.width, r.height)};
    Place(l, frames[0], 0, 0, l.width, l.height);
    Place(r, frames[1], 0, 0, r.width, r.height);
    return frames;
}

}  // namespace veltrane::stereo
