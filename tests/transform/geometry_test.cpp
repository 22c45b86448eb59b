// SPDX-License-Identifier: GPL-3.0-or-later
// The codec-free geometry: the Orientation that keeps a turned picture shown as asked, the
// words of a crop region, and a region carried over to an image of another size.
#include <gtest/gtest.h>

#include "tests/transform/transform_test_support.h"
#include "imaging/transform/transform_geometry.h"

namespace veltrane::testing {
namespace {

using namespace veltrane::transform;

TEST(TransformGeometry, TheNewOrientationShowsThePictureTurnedAsAsked) {
    // A 3 x 2 picture of six different samples: the viewer shows new pixels T(P) with the new
    // Orientation exactly as it showed P with the old one, then turned by T.
    Picture picture{3, 2, 1, {1, 2, 3, 4, 5, 6}};
    const Region whole{0, 0, 3, 2};
    auto turned = [](const Picture& p, Turn turn) {
        return TurnPicture(p, Region{0, 0, static_cast<std::uint32_t>(p.width), static_cast<std::uint32_t>(p.height)}, turn);
    };
    for (int t = 0; t < 8; ++t) {
        const auto turn = static_cast<Turn>(t);
        for (std::uint32_t orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(TurnWord(turn)) + " on Orientation " + std::to_string(orientation));
            const std::uint32_t after = OrientationAfter(turn, orientation);
            const Picture shownAfter = turned(TurnPicture(picture, whole, turn), TurnOfOrientation(after));
            const Picture shownBefore = turned(turned(picture, TurnOfOrientation(orientation)), turn);
            EXPECT_EQ(shownAfter.samples, shownBefore.samples);
            EXPECT_EQ(shownAfter.width, shownBefore.width);
        }
        EXPECT_EQ(OrientationAfter(turn, 0), 0u);
        EXPECT_EQ(OrientationAfter(turn, 9), 9u);
    }
}

TEST(TransformGeometry, ReadsRegionsAndCarriesThemToOtherSizes) {
    EXPECT_EQ(ParseRegion("40x30+21+13"), (Region{21, 13, 40, 30}));
    EXPECT_EQ(ParseRegion("0x0+0+0"), (Region{}));  // read; the command line refuses it
    for (const char* bad : {"", "40x30", "40x30+1", "40x30+1+2+3", "-4x3+0+0", "4x-3+0+0", "4X3+0+0", "4x3+0+0 ",
                            " 4x3+0+0", "4x3+0x0", "99999999999x1+0+0"})
        EXPECT_FALSE(ParseRegion(bad)) << bad;

    struct Case {
        Region region;  // of a first image of 100 x 76
        Size size;
        Grid grid;
        Region expected;
    };
    const Case cases[] = {
        {{16, 0, 45, 43}, {100, 76}, {16, 16}, {16, 0, 48, 48}},  // the same size: outward to the grid
        {{16, 0, 45, 43}, {50, 38}, {8, 8}, {8, 0, 24, 24}},      // half size: 8..30.5 x 0..21.5
        {{96, 72, 4, 4}, {50, 38}, {16, 16}, {48, 32, 2, 6}},     // the far edges stop at the image's
        {{0, 0, 1, 1}, {10, 10}, {16, 16}, {0, 0, 10, 10}},       // smaller than one MCU: all of it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.region.Text() + " to " + std::to_string(c.size.width) + "x" + std::to_string(c.size.height));
        const Region scaled = ScaleRegion(c.region, {100, 76}, c.size, c.grid);
        EXPECT_EQ(scaled, c.expected) << scaled.Text();
        EXPECT_TRUE(Inside(scaled, c.size));
    }
}

}  // namespace
}  // namespace veltrane::testing
