// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::samples {
namespace {

// Walks the marker segments of a baseline JPEG up to start-of-scan, then checks that the
// entropy-coded data runs to a final FF D9 with every FF in it stuffed.
::testing::AssertionResult IsWellFormedJpeg(const Bytes& b) {
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return ::testing::AssertionFailure() << "no SOI";
    std::size_t p = 2;
    std::vector<int> markers;
    for (;;) {
        if (p + 4 > b.size() || b[p] != 0xFF) return ::testing::AssertionFailure() << "bad marker at " << p;
        const int marker = b[p + 1];
        const std::size_t length = static_cast<std::size_t>(b[p + 2]) << 8 | b[p + 3];
        if (length < 2 || p + 2 + length > b.size()) return ::testing::AssertionFailure() << "bad length";
        markers.push_back(marker);
        p += 2 + length;
        if (marker == 0xDA) break;
    }
    if (markers != std::vector<int>{0xE1, 0xDB, 0xC0, 0xC4, 0xDA})
        return ::testing::AssertionFailure() << "unexpected segment order";
    for (; p + 1 < b.size() - 2; ++p)
        if (b[p] == 0xFF && b[p + 1] != 0x00) return ::testing::AssertionFailure() << "unstuffed FF at " << p;
    if (b[b.size() - 2] != 0xFF || b.back() != 0xD9) return ::testing::AssertionFailure() << "no EOI";
    return ::testing::AssertionSuccess();
}

TEST(SampleWriter, WritesImagesThatBeginWithAnExifSegmentAndEndProperly) {
    for (auto order : {ByteOrder::Little, ByteOrder::Big}) {
        for (int eye : {0, 1}) {
            const Bytes image = SampleStereoImage(eye, {}, order);
            EXPECT_EQ(Bytes(image.begin(), image.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));
            EXPECT_TRUE(IsWellFormedJpeg(image));
        }
    }
}

TEST(SampleWriter, TheBundledSampleIsTheWritersStereoPair) {
    const Bytes bundled = testing::ReadBytes(VELTRANE_SOURCE_DIR "/samples/sample.mpo");
    EXPECT_EQ(bundled, SampleMpo());
}

TEST(SampleWriter, ImagesDecodeWithAnOrdinaryDecoder) {
#ifdef _WIN32
    GTEST_SKIP() << "djpeg is a Linux tool";
#else
    if (std::system("command -v djpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "djpeg not installed";
    testing::TempDir dir;
    testing::WriteBytes(dir / "left.jpg", SampleStereoImage(0, {}, ByteOrder::Big));
    const std::string command = "djpeg -pnm '" + (dir / "left.jpg") + "' > '" + (dir / "left.ppm") + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes ppm = testing::ReadBytes(dir / "left.ppm");
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + 9), "P6\n64 48\n");
#endif
}

TEST(TiffBuilder, PlacesLongValuesAfterTheDirectoriesAndLinksSubDirectories) {
    TiffBuilder t(ByteOrder::Big);
    const int ifd0 = t.AddIfd(), sub = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Canon");   // 6 bytes: stored after the directories
    t.Link(ifd0, 0x8769, sub);
    t.Short(sub, 0x8827, {100});      // 2 bytes: stored in the entry
    const Bytes b = t.Build();
    // header 8 + IFD0 (2 + 24 + 4) + IFD1 (2 + 12 + 4) = 56: the text starts there.
    ASSERT_EQ(b.size(), 56u + 6u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 8), (Bytes{'M', 'M', 0, 42, 0, 0, 0, 8}));
    EXPECT_EQ(Bytes(b.begin() + 18, b.begin() + 22), (Bytes{0, 0, 0, 56}));  // Make's offset
    EXPECT_EQ(Bytes(b.begin() + 30, b.begin() + 34), (Bytes{0, 0, 0, 38}));  // link to IFD1
    EXPECT_EQ(Bytes(b.begin() + 48, b.begin() + 50), (Bytes{0, 100}));
}

}  // namespace
}  // namespace veltrane::samples
