// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one engine of the lossless JPEG operations: a plan of pieces, each "blocks of source
// image i, turned one of the eight ways, placed at a position of the output", coded as one JPEG
// image. Nothing is decoded to pixels: the quantized DCT blocks are read, turned (a transpose
// and sign changes of their coefficients), placed and coded again, so the output decodes to
// exactly the pixels of its pieces.
//
//   a crop         one piece, no turn;
//   a transform    one piece with a turn (the whole image, or a crop of it);
//   a stereo pair  two pieces, one per eye, side by side or one above the other.
//
// Invariants the engine checks (BlockPlanError::Kind::Placement otherwise):
//   1. Every source has the first source's components and sampling, and so has the output
//      (h and v exchanged when the pieces swap the axes); the first source's header is the
//      output's model (quantization tables, colour space).
//   2. A piece's area lies inside its source and starts on the source's grid (the MCU: 8 pixels
//      times the largest sampling factors; 8 x 8 for a one-component image); a mirrored axis
//      reverses whole MCUs, so the area's extent along it is a multiple of the grid too.
//   3. Its position on the output lies on the output's grid; all pieces swap the axes or none.
// The blocks a piece covers are those of its area's pixels; past them (the MCU padding at the
// output's right and bottom edges) blocks are zero, or with EdgeBlocks::FromSource the
// source's blocks beyond the area as far as the piece's last MCU (what a crop's padding held).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // before jpeglib.h, which uses FILE
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "imaging/jpeg/block_arrays.h"
#include "imaging/jpeg/jpeg_encoder.h"

namespace veltrane::libjpeg {

// A turn as three axis changes, in this order: swap (the output's x runs along the source's y
// and the other way round), then mirrorX (the output's x runs right to left along its source
// axis) and mirrorY (its y runs bottom to top).
struct BlockTurn {
    bool swap = false, mirrorX = false, mirrorY = false;
};

// width x height pixels from (x, y).
struct PixelRect {
    std::uint32_t x = 0, y = 0, width = 0, height = 0;
};

// The image's MCU in pixels, as the block grid of the lossless operations sees it: a
// one-component image is coded block by block whatever sampling factors its header declares.
struct BlockGrid {
    std::uint32_t width = DCTSIZE, height = DCTSIZE;
};
BlockGrid GridOf(const jpeg_decompress_struct& header);
// The same from a frame header's component count and largest sampling factors.
BlockGrid GridOf(int components, int maxH, int maxV);

// One input image. Either decoder is after jpeg_read_header and decode runs
// jpeg_read_coefficients on it under the caller's error guard (raising the caller's exception):
// the engine then places the coefficient arrays and reads them itself. Or the coefficients are
// read already (read[c] for every component; decoder still gives the header).
struct BlockSource {
    jpeg_decompress_struct* decoder = nullptr;
    std::function<void()> decode;
    std::array<const BlockArray*, MAX_COMPONENTS> read{};
};

struct BlockPiece {
    std::size_t source = 0;
    PixelRect area;              // of the source, before the turn
    BlockTurn turn;
    std::uint32_t x = 0, y = 0;  // the turned area's top-left corner on the output
};

enum class EdgeBlocks { Zero, FromSource };

// A marker segment written right after SOI (and the JFIF or Adobe segment libjpeg writes):
// the marker code and its payload (after the length field), at most 65533 bytes.
struct MarkerSegment {
    int marker = 0;
    std::span<const std::uint8_t> payload;
};

struct BlockPlan {
    std::vector<BlockSource> sources;
    std::vector<BlockPiece> pieces;
    std::uint32_t width = 0, height = 0;  // of the output
    EdgeBlocks edges = EdgeBlocks::Zero;
    // The first source's arithmetic coding, restart interval and progression (else one
    // sequential Huffman-coded scan with the standard tables).
    bool sameCoding = false;
    bool writeJfif = false;
    // The segments carry the source's own APP14 (Adobe) segment: libjpeg writes none. Otherwise
    // an Adobe segment among them is left out when libjpeg writes its own.
    bool adobeInSegments = false;
    // A single-scan source of a one-piece plan without a turn that fills the output may be
    // decoded on a second thread while the output is coded, the two handing each other a few
    // rows of blocks: memory then holds those rows, never the whole image's blocks.
    bool mayStream = false;
    std::vector<MarkerSegment> segments;
    std::size_t expectedSize = 0;  // room reserved for the output
};

class BlockPlanError : public std::runtime_error {
public:
    enum class Kind {
        Placement,  // the plan does not fit its sources (see the invariants above)
        Unread,     // a source's decoder read no coefficients
        Layout,     // libjpeg lays out the output's components otherwise than the plan
        Coding,     // libjpeg failed to code the output (its message)
    };
    BlockPlanError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind WhatFailed() const noexcept { return kind_; }

private:
    Kind kind_;
};

// Codes the plan. Raises BlockPlanError, or what a source's decode raises.
std::vector<std::uint8_t> CodeBlockPlan(const BlockPlan& plan);

}  // namespace veltrane::libjpeg
