// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Full alignment of a pair (--align full): both eyes decoded, measured and warped by half of the
// correction each (imaging/align), cropped to the largest common rectangle of their aspect and
// coded as JPEG again; every layout is then made of the corrected pair.
#include <cstdint>
#include <span>
#include <string>

#include "imaging/stereo/jps_input.h"
#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {

// The corrected pair and the options that make the layout of it (the eyes already exchanged
// when options.swap, alignment done).
struct AlignedPair {
    StereoPair pair;
    StereoOptions options;
    std::string correction;  // "rotation 0.82°, scale 1.004, vertical 3.1 px"
};

// The pair corrected: each eye coded at quality 97 with the input's chroma subsampling, its EXIF
// (the pixel size set) and its colour profile, both eyes alike so that the side-by-side layouts
// join them block for block. Raises StereoError ("cannot align: ..." when the eyes cannot be
// matched).
AlignedPair AlignFully(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                       const StereoOptions& options);

// Marks a picture made of an aligned pair: never lossless, and the correction named.
void NoteAligned(StereoPicture& picture, const AlignedPair& aligned);

}  // namespace veltrane::stereo
