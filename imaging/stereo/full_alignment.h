// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Full alignment of a pair (--align full): both eyes decoded and measured (imaging/align), then
// each warped by half of the correction and cropped to the largest common rectangle of their
// aspect. The re-encoded layouts take the corrected eyes' rows straight from the warp
// (compose.cpp); the others (MPO, spatial photo, wiggle) are made of the corrected eyes coded
// as JPEG again.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/align/pair_alignment.h"
#include "imaging/stereo/jps_input.h"
#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {

// One decoded eye, what its input carried besides the pixels, and how it is corrected.
struct CorrectedEye {
    // The decoded eye, RGB rows one after the other (left uninitialised until decoded: no time
    // spent clearing it).
    std::unique_ptr<std::uint8_t[]> pixels;
    int sourceWidth = 0, sourceHeight = 0;
    std::vector<std::uint8_t> exif;
    std::vector<std::vector<std::uint8_t>> icc;
    int hSampling = 2, vSampling = 2;  // of the input's luma; 2 x 2 for a grey input
    align::PlaneMap map{};             // corrected pixel to the point of rgb it shows
    int width = 0, height = 0;         // of the corrected eye
    align::RgbView View() const {
        return {pixels.get(), sourceWidth, sourceHeight, static_cast<std::ptrdiff_t>(sourceWidth) * 3};
    }
};

// The pair measured: both eyes (exchanged already when options.swap), corrected to one size,
// and the options that make the layout of them (alignment done).
struct MeasuredPair {
    CorrectedEye left, right;
    StereoOptions options;
    std::string correction;  // "rotation 0.82°, scale 1.004, vertical 3.1 px"
};

// The eyes decoded (on two threads) and the correction measured. Raises StereoError
// ("cannot align: ..." when the eyes cannot be matched).
MeasuredPair MeasurePair(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                         const StereoOptions& options);

// The corrected pair coded as JPEG and the options that make the layout of it.
struct AlignedPair {
    StereoPair pair;
    StereoOptions options;
    std::string correction;
};

// Each corrected eye coded at quality 97 with the input's chroma subsampling, its EXIF (the
// pixel size set) and its colour profile, both eyes alike so that the side-by-side layouts
// join them block for block; the two eyes on two threads, each warped straight into its
// encoder.
AlignedPair EncodeCorrected(const MeasuredPair& measured);

// MeasurePair, then EncodeCorrected.
AlignedPair AlignFully(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                       const StereoOptions& options);

// Whether the layout is made of the corrected eyes' rows straight from the warp (the
// re-encoded layouts) rather than of the eyes coded again.
bool ComposedFromWarp(Layout layout);

// Marks a picture made of an aligned pair: never lossless, and the correction named.
void NoteAligned(StereoPicture& picture, const std::string& correction);

}  // namespace veltrane::stereo
