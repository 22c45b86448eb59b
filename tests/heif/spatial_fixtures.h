// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The spatial photos of the tests: the console fixture's two eyes (or the sample writer's when
// the fixture is absent), the right eye with Exif of its own and each eye with an ICC profile,
// encoded by libheif and grouped by this test's own small writer (not the program's).
#include <array>
#include <cstdint>
#include <vector>

#include "imaging/stereo/spatial_jpeg.h"
#include "tests/support/temp_dir.h"

namespace veltrane::heif::spatial_test {

using testing::Bytes;
using stereo::JpegEye;

// ICC profiles only travel here: their content does not matter to the files.
extern const Bytes kIcc[2];
// The right eye's own camera model, in its Exif data.
inline constexpr const char* kRightModel = "Right Eye Camera";

// The two JPEG images the eyes come from (without the ICC profiles).
std::array<Bytes, 2> EyeJpegs();

struct Eyes {
    std::array<JpegEye, 2> raw;  // YCbCr 4:2:0 where the JPEGs are
    std::array<JpegEye, 2> rgb;
};
// The eyes, decoded once; the right one with the Exif of kRightModel, both with kIcc.
const Eyes& TestEyes();

std::uint32_t Get32(const Bytes& b, std::size_t at);
void Set32(Bytes& b, std::size_t at, std::uint32_t v);

// This test's own way of adding the group, for files as libheif 1.15 writes them.
Bytes AddGroupTheTestsWay(Bytes file, std::uint32_t left, std::uint32_t right, std::uint32_t groupId);

// Both eyes encoded through libheif's C interface, left then right (items 1 and 3, their Exif
// items 2 and 4), with or without the test's group; encoded once for all tests.
const Bytes& LibheifPair(bool group);

// Whether libheif's heif-info can be run (on Linux, where it is installed).
bool HeifInfoInstalled();

// Mean absolute difference of two RGB pictures of one size.
double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

}  // namespace veltrane::heif::spatial_test
