// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the phone photos of the tests into the folder VELTRANE_PARTS_FIXTURES names, for the
// benchmarks (bench/parts): run with --gtest_also_run_disabled_tests --gtest_filter='*WriteFixtures*'.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tools/samples/phone_photos.h"
#include "tests/support/temp_dir.h"

namespace veltrane::testing {
namespace {

using namespace veltrane::samples;

TEST(PhoneFixtures, DISABLED_WriteFixtures) {
    const char* folder = std::getenv("VELTRANE_PARTS_FIXTURES");
    if (folder == nullptr) GTEST_SKIP() << "VELTRANE_PARTS_FIXTURES names no folder";
    const std::filesystem::path dir(folder);
    std::filesystem::create_directories(dir);
    const std::size_t videoSize = std::getenv("VELTRANE_PARTS_VIDEO_SIZE") != nullptr
                                      ? static_cast<std::size_t>(std::atoll(std::getenv("VELTRANE_PARTS_VIDEO_SIZE")))
                                      : 40000;
    WriteBytes(dir / "container.jpg", ContainerMotionPhoto(false, videoSize).file);
    WriteBytes(dir / "container_gainmap.jpg", ContainerMotionPhoto(true, videoSize).file);
    WriteBytes(dir / "microvideo.jpg", MicroVideoPhoto(videoSize).file);
    WriteBytes(dir / "samsung.jpg", SamsungMotionPhoto(videoSize).file);
    WriteBytes(dir / "gdepth.jpg", GDepthPhoto().file);
    // No part beyond the image: the image runs to the end of the file, one output file.
    Bytes plain = Primary(XmpSegment(XmpPacket("", "")));
    Append(plain, Noise(videoSize, 13));
    WriteBytes(dir / "plain.jpg", plain);
}

}  // namespace
}  // namespace veltrane::testing
