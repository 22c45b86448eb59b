// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stereo pictures for a window: the pair is decoded once at a reduced size (libjpeg's DCT
// scaling, M/8 of the full size), kept in memory, and each change of a setting re-renders the
// picture from it with a pure function, fast enough for a slider. Saving works on the files
// with ComposeStereo instead, at full size.
#include <array>
#include <cstdint>
#include <span>

#include "imaging/stereo/rgb_image.h"
#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {

// The two images of a pair (in file order) at the same reduced scale.
struct Eyes {
    RgbImage left, right;
    int scaleEighths = 8;  // the decoded size is scaleEighths / 8 of the full size (rounded up)
    double Scale() const { return scaleEighths / 8.0; }
};

// Decodes both images at the smallest scale M/8 at which the longer side of the left one is
// at least maxSide pixels (or at full size, when it is shorter). Raises StereoError.
Eyes DecodeEyes(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right, int maxSide,
                const CodecLimits& limits);

// The alignment of the eyes, in full-size pixels (measured on the reduced pictures).
Alignment MeasureAlignment(const Eyes& eyes);

struct ViewSettings {
    Layout layout = Layout::Anaglyph;
    AnaglyphKind anaglyph = AnaglyphKind::Dubois;
    // The shift to crop by, in full-size pixels: a measured alignment (or none), from which
    // the parallax moves the stereo window (positive: the scene further behind the screen).
    Alignment alignment;
    int parallax = 0;
    bool swap = false;
};

// The picture of any layout but Wiggle at the eyes' size, as ComposeStereo would make it from
// pictures of that size (without the JPEG or PNG coding). For Wiggle: the left eye's frame; for
// Mpo and Heic: their two images side by side, in their order (as Parallel).
RgbImage RenderStereo(const Eyes& eyes, const ViewSettings& settings);

// The wiggle animation's two frames (left eye's first), cropped as the settings say.
std::array<RgbImage, 2> WiggleFrames(const Eyes& eyes, const ViewSettings& settings);

}  // namespace veltrane::stereo
