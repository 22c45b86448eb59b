// SPDX-License-Identifier: GPL-3.0-or-later
// Alignment on pairs made by shifting one picture by known amounts, across and down, both
// ways: the shift found (from pixels and from DCT coefficients), the crop of the re-encoded
// and of the block-exact layouts, and the parallax that moves the stereo window from there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>

#include "imaging/stereo/preview.h"
#include "imaging/stereo/stereo_command.h"
#include "tests/stereo/stereo_test_support.h"
#include "tests/support/temp_dir.h"

namespace veltrane::stereo {
namespace {

using namespace testing_support;

LumaImage Green(const RgbImage& image) {
    LumaImage grey{image.width, image.height, {}};
    for (std::size_t i = 1; i < image.pixels.size(); i += 3) grey.pixels.push_back(image.pixels[i]);
    return grey;
}

// The numbers of "shift: A pixels across, D down (halves cropped by a across, d down)".
std::array<int, 4> Shifts(const std::string& report) {
    static const std::regex line(R"(shift: (-?\d+) pixels across, (-?\d+) down \(halves cropped by (-?\d+) across, (-?\d+) down\))");
    std::smatch m;
    if (!std::regex_search(report, m, line)) return {-999, -999, -999, -999};
    return {std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])};
}

TEST(Alignment, FindsKnownShiftsAcrossAndDownAndCropsToTheOverlap) {
    constexpr int kWidth = 320, kHeight = 240, kGrid = 16;  // 4:2:0: iMCUs of 16 x 16
    const struct {
        int across, down;
    } shifts[] = {{40, 0}, {-24, 6}, {12, -10}, {0, 9}, {-33, -13}, {0, 0}};
    for (const auto& s : shifts) {
        SCOPED_TRACE(std::to_string(s.across) + ", " + std::to_string(s.down));
        const Bytes left = SceneJpeg(kWidth, kHeight, 0, 0), right = SceneJpeg(kWidth, kHeight, s.across, s.down);
        EXPECT_EQ(FindAlignment(left, right, {}), (Alignment{s.across, s.down}));
        Decoder dl(left, {}), dr(right, {});
        dl.ReadHeader(false);
        dr.ReadHeader(false);
        CoefficientImage cl, cr;
        dl.ReadCoefficients(cl);
        dr.ReadCoefficients(cr);
        const Alignment fromBlocks = FindAlignment(cl, cr);
        EXPECT_NEAR(fromBlocks.across, s.across, 1);
        EXPECT_NEAR(fromBlocks.down, s.down, 1);

        testing::TempDir dir;
        const std::string l = dir.Write("l.jpg", left), r = dir.Write("r.jpg", right);
        // Re-encoded: cropped by the exact shift.
        std::ostringstream out, err;
        ASSERT_EQ(RunStereoCommand({"--align", "--layout", "anaglyph", l, r, dir / "a.jpg"}, out, err), 0) << err.str();
        EXPECT_EQ(Shifts(out.str()), (std::array<int, 4>{s.across, s.down, s.across, s.down}));
        const RgbImage anaglyph = DecodeJpeg(testing::ReadBytes(dir / "a.jpg"));
        EXPECT_EQ(anaglyph.width, kWidth - std::abs(s.across));
        EXPECT_EQ(anaglyph.height, kHeight - std::abs(s.down));

        // Block-exact side by side: the shift rounded to the grid, the halves exact crops;
        // with a parallax of one iMCU, the window one iMCU further.
        for (const int parallax : {0, kGrid}) {
            SCOPED_TRACE("parallax " + std::to_string(parallax));
            std::ostringstream o, e;
            ASSERT_EQ(RunStereoCommand({"--align", "--parallax", std::to_string(parallax), "--layout", "parallel", l, r,
                                        dir / "p.jpg"},
                                       o, e),
                      0)
                << e.str();
            EXPECT_NE(o.str().find("lossless"), std::string::npos) << o.str();
            const auto [across, down, cropAcross, cropDown] = Shifts(o.str());
            EXPECT_EQ(cropAcross % kGrid, 0);
            EXPECT_EQ(cropDown % kGrid, 0);
            EXPECT_LE(std::abs(cropAcross - (across - parallax)), kGrid / 2);
            EXPECT_LE(std::abs(cropDown - down), kGrid / 2);
            const RgbImage result = DecodeJpeg(testing::ReadBytes(dir / "p.jpg"), false);
            const RgbImage lp = DecodeJpeg(left, false), rp = DecodeJpeg(right, false);
            const int half = result.width / 2;
            const int lx = std::max(0, -cropAcross), ly = std::max(0, -cropDown);
            EXPECT_EQ(half % kGrid, 0);
            EXPECT_EQ(result.height, std::min(kHeight - ly, kHeight - ly - cropDown));
            EXPECT_EQ(Psnr(Crop(result, 0, 0, half, result.height), Crop(lp, lx, ly, half, result.height)),
                      std::numeric_limits<double>::infinity());
            EXPECT_EQ(Psnr(Crop(result, half, 0, half, result.height),
                           Crop(rp, lx + cropAcross, ly + cropDown, half, result.height)),
                      std::numeric_limits<double>::infinity());
            // What is left between the halves is the shift less the crop: the parallax pushes
            // the scene behind the screen (the right eye's view further right).
            const Alignment remaining = FindAlignment(Green(Crop(result, 0, 0, half, result.height)),
                                                      Green(Crop(result, half, 0, half, result.height)));
            EXPECT_EQ(remaining, (Alignment{s.across - cropAcross, s.down - cropDown}));
        }
    }
}

}  // namespace
}  // namespace veltrane::stereo
