// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts of ComposeStereo, shared between its files (not part of the module's interface).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <span>
#include <vector>

#include "imaging/align/eye_warp.h"
#include "imaging/stereo/full_alignment.h"
#include "imaging/stereo/image_writers.h"
#include "imaging/stereo/resample.h"
#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {

// The area [x, x + width) x [y, y + height) of one input that goes into the output: JPEG data,
// or a corrected eye whose rows come from its warp.
struct EyeArea {
    std::span<const std::uint8_t> bytes;
    const char* name = "";  // "left image" or "right image", for messages
    int x = 0, y = 0;
    int width = 0, height = 0;
    const CorrectedEye* corrected = nullptr;  // instead of bytes
};

// Decodes (or warps) an area row by row, to RGB, each row resampled across to outWidth when
// that differs from the area's width. ReadHeader first, then Start, then Read once per row of
// the area.
class EyeReader {
public:
    EyeReader(const EyeArea& area, const CodecLimits& limits, int outWidth);
    void ReadHeader();
    void Start();
    void Read(std::uint8_t* out);
    int Width() const { return outWidth_; }

private:
    // The next whole row of the input into row_.
    void ReadWhole();

    EyeArea area_;
    int outWidth_;
    std::optional<Decoder> decoder_;
    std::optional<align::EyeWarp> warp_;
    std::vector<std::uint8_t> row_;
    std::optional<FilterTaps> across_;
};

// The width and height of a re-encoded layout's output.
std::pair<int, int> DecodedOutputSize(Layout layout, const EyeArea& first, const EyeArea& second);

// The re-encoded layouts, written row by row as the two areas decode (first and second in
// output order; for the anaglyph and the interlaced picture the left eye's first).
void ComposeDecoded(const EyeArea& first, const EyeArea& second, const StereoOptions& options,
                    const JpegSettings& jpeg, StereoPicture& picture);

// The wiggle animation of the two areas (left eye's first).
void ComposeWiggle(const EyeArea& left, const EyeArea& right, const StereoOptions& options, StereoPicture& picture);

// The MPO layout (mpo_layout.cpp): the picture's facts (without its bytes) and its two images in
// file order, left eye's first, each an input as it is or a crop of it.
struct MpoImages {
    StereoPicture picture;
    std::array<std::span<const std::uint8_t>, 2> inputs;
    std::array<std::vector<std::uint8_t>, 2> crops;  // empty when uncropped
    std::array<const char*, 2> names{};
    std::span<const std::uint8_t> Image(std::size_t i) const {
        return crops[i].empty() ? inputs[i] : std::span<const std::uint8_t>(crops[i]);
    }
};
MpoImages ComposeMpoImages(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                           const StereoOptions& options);
// The MPO file of the images, in memory or written to path (through a temporary file); returns
// the file's size.
std::vector<std::uint8_t> BuildMpoPicture(const MpoImages& images);
std::int64_t WriteMpoPicture(const MpoImages& images, const std::string& path);

// The heic layout: the MPO layout's two images (swapped, cropped) encoded as a spatial photo.
StereoPicture ComposeSpatialPhoto(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                                  const StereoOptions& options);

// An area decoded at the smallest of libjpeg's scales (M/8) that is at least as large as
// width x height, then resampled to exactly that size.
RgbImage DecodeAreaScaled(const EyeArea& area, const CodecLimits& limits, int width, int height);

}  // namespace veltrane::stereo
