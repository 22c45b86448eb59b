// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// JPS files as a stereo source: one JPEG image holding both eyes, side by side or one above the
// other, described by an APP3 segment "_JPSJPS_" (the stereoscopic descriptor of the JPS
// format). A file named .jps without a descriptor is the classic cross-eyed picture: side by
// side, the right eye on the left half.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/heif_boxes/stereo_camera.h"
#include "imaging/stereo/jpeg_codec.h"

namespace veltrane::stereo {

// The four bytes of the stereoscopic descriptor.
struct JpsDescriptor {
    std::uint8_t type = 1;        // 0 monoscopic, 1 stereoscopic
    std::uint8_t layout = 2;      // stereoscopic: 1 interleaved, 2 side by side, 3 over/under, 4 anaglyph
    std::uint8_t flags = 0;       // 0x01 half height, 0x02 half width, 0x04 left field first
    std::uint8_t separation = 0;  // the offset of the eyes for display, in pixels
    bool operator==(const JpsDescriptor&) const = default;
};

inline constexpr std::uint8_t kJpsStereoscopic = 1;
inline constexpr std::uint8_t kJpsInterleaved = 1, kJpsSideBySide = 2, kJpsOverUnder = 3, kJpsAnaglyph = 4;
inline constexpr std::uint8_t kJpsHalfHeight = 0x01, kJpsHalfWidth = 0x02, kJpsLeftFieldFirst = 0x04;

// The descriptor of an APP3 payload (the bytes after the segment's length field); empty when
// the payload is no JPS descriptor or too short to hold one.
std::optional<JpsDescriptor> ReadJpsDescriptor(std::span<const std::uint8_t> payload);

// The descriptor in the header of the JPEG image that starts the bytes, if any.
std::optional<JpsDescriptor> FindJpsDescriptor(std::span<const std::uint8_t> jpeg);

// Whether the path's name ends in ".jps" (in any letter case).
bool HasJpsName(const std::string& path);

// The two eyes of a stereo source as two JPEG images.
struct StereoPair {
    std::vector<std::uint8_t> left, right;
    // Why the halves of a JPS image were decoded and coded again ("from HEVC" for the eyes of a
    // spatial photo); empty when they were cut block for block (or came from an MPO file).
    std::string reencodeReason;
    // The eyes were decoded from another codec and coded as JPEG: every picture of them says so.
    bool fromOtherCodec = false;
    // What a spatial photo's camera properties say, kept when it is written as one again.
    heif_boxes::StereoCameraFacts camera = {};
};

// The halves of a JPS image, the eyes as its descriptor says (a cross-eyed side-by-side picture
// without one). Each half keeps the image's segments but for the descriptor, with the EXIF pixel
// size patched (lossless_crop.h); it is cut block for block when the second half starts on the
// image's iMCU grid, else decoded and coded again at quality 95. The halves of a half-width or
// half-height frame are taken as they are stored. Raises StereoError.
StereoPair SplitJps(std::span<const std::uint8_t> jpeg, const CodecLimits& limits);

}  // namespace veltrane::stereo
