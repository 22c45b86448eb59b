// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The cameras' properties of a spatial photo written by the heic layout (the baseline, the
// horizontal field of view and the disparity adjustment, core/heif_boxes/stereo_camera.h): each
// value as given, else from the source, and what the output line says about where it came from.
//
//   baseline        a spatial photo source's own; the MPF attribute BaselineLength (metres) of
//                   either image when it lies between 10 and 300 mm; the camera model's (Nintendo
//                   3DS 35 mm, FUJIFILM FinePix REAL 3D W1 77 mm, W3 75 mm); else 65 mm
//   field of view   a spatial photo source's own; from the left image's EXIF
//                   FocalLengthIn35mmFormat, hfov = 2 atan(18 / f35) (36 mm across); else 60 degrees
//   disparity       the alignment's shift (less the parallax) as a fraction of the width, when the
//                   eyes were aligned or moved; a spatial photo source's own; else 0
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/heif_boxes/stereo_camera.h"

namespace veltrane::stereo {

// What the caller says: the values given (the command line's --baseline, --fov, --disparity)
// and a spatial photo source's own.
struct SpatialCameraSettings {
    std::optional<double> baselineMm;
    std::optional<double> horizontalFov;
    std::optional<double> disparityAdjustment;
    heif_boxes::StereoCameraFacts source;
};

// Sets the value of option (--baseline, --fov or --disparity) from text: a decimal number in its
// range. Otherwise the message that says what the option takes.
std::optional<std::string> ParseSpatialCameraOption(const std::string& option, const std::string& text,
                                                    SpatialCameraSettings& camera);

// The metadata of the source images that the defaults come from: APP1 "Exif\0\0" payloads and
// APP2 "MPF\0" payloads (the bytes after the segments' length fields), the left eye's first.
struct CameraSourceMetadata {
    std::vector<std::vector<std::uint8_t>> exif;
    std::vector<std::vector<std::uint8_t>> mpf;
};

// Those of two JPEG images: their header segments up to the first scan, bounds-checked; a
// malformed image gives what was found before the fault.
CameraSourceMetadata CameraSourceOf(std::span<const std::uint8_t> leftJpeg, std::span<const std::uint8_t> rightJpeg);

struct ChosenCamera {
    heif_boxes::StereoCamera values;
    // "baseline 35 mm (Nintendo 3DS), field of view 60.3° (35 mm equivalent 31 mm), disparity
    // adjustment +0.00%"
    std::string report;
};

// The values written. shiftDisparity is the alignment's (or the parallax's) adjustment, with its
// reason ("alignment", "parallax"), when the eyes were aligned or moved.
struct ShiftDisparity {
    double fraction = 0;
    const char* reason = "alignment";
};
ChosenCamera ChooseSpatialCamera(const SpatialCameraSettings& settings, const CameraSourceMetadata& source,
                                 std::optional<ShiftDisparity> shift = {});

}  // namespace veltrane::stereo
