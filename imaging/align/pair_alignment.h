// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Full alignment of a stereo pair: the rotation, scale and vertical offset between the eyes (and,
// when asked, the keystone of a toed-in rig), measured from features matched between the eyes,
// and the warp that corrects them, half in each eye so that neither is favoured.
//
// The measurement keeps the eyes' horizontal disparity, which is the stereo picture itself: a
// point of the scene lies on the same row of both corrected eyes, at whatever distance across.
// It works on a grey picture of each eye of about a megapixel (features found by ORB, matched
// by a brute-force Hamming matcher with the ratio test, refined to a fraction of a pixel); a
// RANSAC fit of the rows, then a least-squares fit on its inliers, gives the correction in the
// full pictures' pixels. The warp is made at full resolution with a bicubic filter (eye_warp.h).
//
// The interface carries plain pixels and numbers only, so that the stereo library never sees the
// image library behind it (OpenCV's core, imgproc and features2d); a build without it has the
// same interface, which says that it cannot align.
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltrane::align {

// Why a pair cannot be aligned, worded to follow "cannot align: ".
class AlignError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kFullAlignmentUnavailable = "full alignment is not available in this build";

// Whether this build can align (false without the image library; then every call raises
// AlignError(kFullAlignmentUnavailable)).
bool FullAlignmentAvailable();

// 8-bit RGB pixels, row-major, rows stride bytes apart.
struct RgbView {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

// A projective map of the plane in row-major order: (x, y) goes to
// ((m[0] x + m[1] y + m[2]) / w, (m[3] x + m[4] y + m[5]) / w), w = m[6] x + m[7] y + m[8].
using PlaneMap = std::array<double, 9>;

struct AlignSettings {
    bool keystone = false;    // also the perspective terms of a toed-in rig
    int sizeMultiple = 16;    // the corrected eyes' width and height are multiples of this
    int workingPixels = 1'000'000;
};

// What was measured and how each eye is corrected.
struct PairCorrection {
    // The right eye against the left: its turn in degrees (counter-clockwise on the screen
    // positive), its size, how far its content lies lower at the picture's centre (full-size
    // pixels) and, with the keystone, the largest vertical shift at a corner that the perspective
    // terms make.
    double rotationDegrees = 0;
    double scale = 1;
    double verticalPixels = 0;
    double keystonePixels = 0;
    bool keystone = false;
    int features = 0;  // matches that passed the ratio test
    int inliers = 0;   // matches that agree with the fit
    // Each corrected eye is outWidth x outHeight, the largest rectangle of the eyes' aspect (its
    // sides rounded down to sizeMultiple) that both corrected eyes cover; the maps take a pixel
    // of it to the point of the eye's own picture that it shows.
    int outWidth = 0;
    int outHeight = 0;
    PlaneMap leftSource{};
    PlaneMap rightSource{};
};

// Measures the pair (two pictures of one size). Raises AlignError naming why when the eyes
// cannot be matched: too few features (a plain or blurred picture), too few matches that agree
// (different scenes), a correction beyond what a pair can need, or too little overlap.
PairCorrection MeasureCorrection(const RgbView& left, const RgbView& right, const AlignSettings& settings);

// "rotation 0.82°, scale 1.004, vertical 3.1 px", and ", keystone 1.6 px" with the keystone.
std::string CorrectionWords(const PairCorrection& correction);

}  // namespace veltrane::align
