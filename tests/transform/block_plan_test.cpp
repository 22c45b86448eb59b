// SPDX-License-Identifier: GPL-3.0-or-later
// The block engine beyond what one-piece transforms and the stereo byte tables reach: two
// pieces of one source on a larger output, one turned and placed away from the corner, each
// compared with its turn applied to the decoded pixels; the output's blocks that no piece
// covers decode to mid grey. Then the plans it refuses.
#include <gtest/gtest.h>

#include "imaging/jpeg/block_plan.h"
#include "tests/transform/transform_test_support.h"

namespace veltrane::testing {
namespace {

using libjpeg::BlockPlan;
using libjpeg::BlockPlanError;
using transform::Region;
using transform::Turn;

constexpr int kTolerance = 2;  // the integer IDCT's rounding of a turned block

// A decoder after its header, destroyed with the object.
struct Header {
    jpeg_decompress_struct info{};
    libjpeg::ErrorManager errors;
    explicit Header(const Bytes& jpeg) {
        libjpeg::InstallErrorManager(info, errors);
        jpeg_create_decompress(&info);
        libjpeg::Guarded(errors, [](const char* m) { throw std::runtime_error(m); }, [&] {
            jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
            jpeg_read_header(&info, TRUE);
        });
    }
    ~Header() { jpeg_destroy_decompress(&info); }
    libjpeg::BlockSource Source() {
        return {&info, [this] {
                    libjpeg::Guarded(errors, [](const char* m) { throw std::runtime_error(m); },
                                     [&] { jpeg_read_coefficients(&info); });
                }, {}};
    }
};

libjpeg::BlockPiece PieceOf(Region area, Turn turn, std::uint32_t x, std::uint32_t y) {
    const transform::TurnAxes axes = transform::AxesOf(turn);
    return {0, {area.x, area.y, area.width, area.height}, {axes.swap, axes.mirrorX, axes.mirrorY}, x, y};
}

struct PlacedPiece {
    Region area;
    Turn turn;
    std::uint32_t x, y;
};

TEST(BlockPlan, PiecesTurnAndLandWhereThePlanPutsThem) {
    // A 4:2:0 picture of 48 x 32 pixels: 3 x 2 MCUs of 16 x 16.
    const Bytes source = EncodeJpeg(48, 32, 3, 2, 2, 4, {});
    const Picture pixels = DecodeJpeg(source);
    struct Case {
        const char* what;
        std::uint32_t width, height;
        std::vector<PlacedPiece> pieces;
    };
    const std::vector<Case> cases = {
        {"two turned pieces away from the corner", 64, 64,
         {{{0, 0, 32, 16}, Turn::Rotate90, 16, 16}, {{32, 16, 16, 16}, Turn::Transverse, 48, 0}}},
        {"two flips, one below the other", 48, 64,
         {{{0, 0, 48, 32}, Turn::FlipH, 0, 0}, {{0, 0, 48, 32}, Turn::Rotate180, 0, 32}}},
        {"plain pieces swapped round, the second with a partial MCU", 48, 32,
         {{{16, 0, 32, 32}, Turn::None, 0, 0}, {{0, 16, 16, 15}, Turn::None, 32, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Header header(source);
        BlockPlan plan;
        plan.sources.push_back(header.Source());
        for (const PlacedPiece& p : c.pieces) plan.pieces.push_back(PieceOf(p.area, p.turn, p.x, p.y));
        plan.width = c.width;
        plan.height = c.height;
        const Bytes out = libjpeg::CodeBlockPlan(plan);
        const Picture decoded = DecodeJpeg(out);
        ASSERT_EQ(decoded.width, static_cast<int>(c.width));
        ASSERT_EQ(decoded.height, static_cast<int>(c.height));
        std::vector<bool> covered(static_cast<std::size_t>(decoded.width * decoded.height), false);
        for (const PlacedPiece& p : c.pieces) {
            const Picture expected = TurnPicture(pixels, p.area, p.turn);
            int largest = 0;
            for (int y = 0; y < expected.height; ++y) {
                for (int x = 0; x < expected.width; ++x) {
                    const int ox = x + static_cast<int>(p.x), oy = y + static_cast<int>(p.y);
                    covered[static_cast<std::size_t>(oy * decoded.width + ox)] = true;
                    for (int k = 0; k < 3; ++k) largest = std::max(largest, std::abs(expected.At(x, y, k) - decoded.At(ox, oy, k)));
                }
            }
            EXPECT_LE(largest, kTolerance) << "the piece at " << p.x << ", " << p.y;
        }
        // Uncovered MCUs (whole ones: the last partial row of a piece is its own padding).
        for (int y = 0; y < decoded.height; y += 16) {
            for (int x = 0; x < decoded.width; x += 16) {
                if (covered[static_cast<std::size_t>(y * decoded.width + x)]) continue;
                EXPECT_EQ(decoded.At(x + 7, y + 7, 0), 128) << "the empty MCU at " << x << ", " << y;
            }
        }
    }
}

TEST(BlockPlan, PlansThatDoNotFitTheirSourceAreRefused) {
    const Bytes source = EncodeJpeg(48, 32, 3, 2, 2, 5, {});
    struct Case {
        const char* what;
        PlacedPiece piece;
        std::uint32_t width, height;
    };
    const std::vector<Case> cases = {
        {"an area past the source's right edge", {{32, 0, 32, 16}, Turn::None, 0, 0}, 32, 16},
        {"an area off the source's grid", {{8, 0, 16, 16}, Turn::None, 0, 0}, 16, 16},
        {"a mirrored partial MCU", {{0, 0, 40, 16}, Turn::FlipH, 0, 0}, 40, 16},
        {"a position off the output's grid", {{0, 0, 16, 16}, Turn::None, 8, 0}, 32, 16},
        {"a piece past the output's edge", {{0, 0, 32, 32}, Turn::Rotate90, 0, 0}, 32, 16},
        {"an empty area", {{0, 0, 0, 16}, Turn::None, 0, 0}, 16, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Header header(source);
        BlockPlan plan;
        plan.sources.push_back(header.Source());
        plan.pieces.push_back(PieceOf(c.piece.area, c.piece.turn, c.piece.x, c.piece.y));
        plan.width = c.width;
        plan.height = c.height;
        try {
            (void)libjpeg::CodeBlockPlan(plan);
            ADD_FAILURE() << "coded";
        } catch (const BlockPlanError& e) {
            EXPECT_EQ(e.WhatFailed(), BlockPlanError::Kind::Placement) << e.what();
        }
    }
    // Pieces that turn differently cannot share one output's sampling.
    Header header(source);
    BlockPlan plan;
    plan.sources.push_back(header.Source());
    plan.pieces = {PieceOf({0, 0, 16, 16}, Turn::None, 0, 0), PieceOf({0, 0, 16, 16}, Turn::Rotate90, 16, 0)};
    plan.width = 32;
    plan.height = 16;
    EXPECT_THROW((void)libjpeg::CodeBlockPlan(plan), BlockPlanError);
}

}  // namespace
}  // namespace veltrane::testing
