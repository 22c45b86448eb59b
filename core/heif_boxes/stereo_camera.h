// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The camera metadata of a spatial photo, which a headset needs to show the pair as spatial:
// each eye's intrinsics and position, and a horizontal disparity adjustment.
//
// Two forms exist, both item properties associated through 'ipma':
//
//   cmin (full box, version 0)   flags bit 0: focal_y and skew follow; bits 8-12: the denominator
//                                shift n of the focal length and principal point; bits 16-20: the
//                                skew's denominator shift
//     i32 focal_x, i32 principal_x, i32 principal_y [, i32 focal_y, i32 skew]
//     each raw / 2^n, relative to the image: x values times the width, y values times the height
//   cmex (full box, version 0)   flags 0x01 / 0x02 / 0x04: x / y / z present; 0x08: orientation
//                                (0x10: as i32 / 2^30, else i16 / 2^14); 0x20: world system id
//     [i32 x µm] [i32 y µm] [i32 z µm] [quaternion x, y, z] [u32 id]
//
// The headset's first files carry the same payloads (version and flags included) in 'uuid'
// properties, and the disparity adjustment, which has no standard box, in a third one:
//
//   uuid 22cc04c7-d6d9-4e07-9d90-4eb6ecbaf3a3   a 'cmin' payload
//   uuid 4363e914-5b7d-4aab-97ae-bea69803b434   a 'cmex' payload
//   uuid de225085-36cb-4365-8743-2f8705e7c78a   i32: the adjustment in 1/10,000 of the width
//
// The camera model written: focal length f = (W / 2) / tan(hfov / 2), the principal point at the
// centre, no skew; the left eye at the origin, the right eye at (+baseline, 0, 0), no rotation.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/heif_boxes/heif_structure.h"

namespace veltrane::heif_boxes {

class BoxCursor;

inline constexpr std::array<std::uint8_t, 16> kIntrinsicsUuid = {0x22, 0xcc, 0x04, 0xc7, 0xd6, 0xd9, 0x4e, 0x07,
                                                                 0x9d, 0x90, 0x4e, 0xb6, 0xec, 0xba, 0xf3, 0xa3};
inline constexpr std::array<std::uint8_t, 16> kExtrinsicsUuid = {0x43, 0x63, 0xe9, 0x14, 0x5b, 0x7d, 0x4a, 0xab,
                                                                 0x97, 0xae, 0xbe, 0xa6, 0x98, 0x03, 0xb4, 0x34};
inline constexpr std::array<std::uint8_t, 16> kDisparityUuid = {0xde, 0x22, 0x50, 0x85, 0x36, 0xcb, 0x43, 0x65,
                                                                0x87, 0x43, 0x2f, 0x87, 0x05, 0xe7, 0xc7, 0x8a};

// The payloads, read from the full box header on. Raise HeifFormatError when cut short.
HeifCameraIntrinsics ReadCameraIntrinsics(BoxCursor& c);
HeifCameraExtrinsics ReadCameraExtrinsics(BoxCursor& c);

// What a spatial photo says about its cameras; each absent when the file does not say it.
struct StereoCameraFacts {
    std::optional<double> baselineMm;         // the distance between the eyes' positions
    std::optional<double> horizontalFov;      // degrees, of the left eye (else the right)
    std::optional<double> disparityAdjustment;  // a fraction of the width, e.g. 0.0293
};
// Those of the file's stereo pair; nothing without one.
StereoCameraFacts ReadStereoCamera(const HeifStructure& structure);

// The values written.
struct StereoCamera {
    double baselineMm = 65;
    double horizontalFov = 60;       // degrees, more than 0 and less than 180
    double disparityAdjustment = 0;  // a fraction of the width, -1 .. 1
};

// The property boxes written: one 'cmin' for both eyes, a 'cmex' per eye (the left one with no
// position) and the 'uuid' disparity property.
std::vector<std::uint8_t> IntrinsicsBox(double horizontalFov);
std::vector<std::uint8_t> ExtrinsicsBox(std::optional<std::int32_t> xMicrometres);
std::vector<std::uint8_t> DisparityBox(std::int32_t tenThousandths);

// The file with its stereo pair's camera properties set to camera: the eyes' earlier camera
// properties (either form) are let go, those no item uses any more removed from 'ipco', the new
// ones added and associated (not essential), the 'iprp' box rebuilt with one 'ipma' and the item
// locations behind it moved (ReplaceInMetaBox), and the values read back from the result. The
// coded data is copied as it is. Raises
// HeifFormatError for a file without a stereo pair or one that cannot be rewritten safely.
std::vector<std::uint8_t> SetStereoCamera(std::span<const std::uint8_t> file, const StereoCamera& camera);

// The same from the file on disk whose structure was read (ReadHeifStructure), written to
// outputPath (UTF-8) through an AtomicOutputFile: only the boxes up to the end of the meta box are
// read into memory, the rest is copied by the file layer as it is. Returns the size written.
// Raises HeifFormatError, or InOutError when a file cannot be read or written.
std::uint64_t WriteWithStereoCamera(const HeifStructure& structure, InputFile& file, const StereoCamera& camera,
                                    const std::string& outputPath);

}  // namespace veltrane::heif_boxes
