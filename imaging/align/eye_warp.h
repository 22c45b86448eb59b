// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The warp of a corrected eye, made row by row from the top, in plain C++ (every build has it).
//
// It is bicubic (Catmull and Rom's cubic, four taps in each pass) and separable, in Catmull and
// Smith's two passes: a pass across the rows of the eye's own picture samples each source row
// at the columns that the output's columns cross it, into an intermediate picture with the
// output's columns and the source's rows; a pass down each column of that picture then samples
// it at the rows where the output's pixels lie. For a map near the identity (a turn of a few
// degrees, a scale within a few per cent, a small keystone) this is the two-dimensional filter's
// quality at half its work. The intermediate rows are kept in a window that only moves down,
// as tall as the turn spreads one output row over the source, so memory stays at that window.
//
// Edges are clamped (the pixels beyond an edge repeat it). Positions are held to 1/256 of a
// pixel and the weights are 14-bit integers made with integer arithmetic, so that the result is
// the same on every machine and compiler.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/align/pair_alignment.h"

namespace veltrane::align {

class EyeWarp {
public:
    // The eye seen through map (output pixel to source point, as PairCorrection's leftSource and
    // rightSource), outWidth x outHeight pixels. Raises AlignError when the map is too far from
    // the identity to be warped in two passes (a quarter turn, or a perspective whose horizon
    // crosses the picture). eye must outlive the warp.
    EyeWarp(const RgbView& eye, const PlaneMap& map, int outWidth, int outHeight);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // The next output row, width RGB pixels, into out. Rows come in order from the top, each once.
    void NextRow(std::uint8_t* out);
    // The intermediate rows the window holds at most (for the memory it takes).
    int WindowRows() const { return ringRows_; }

private:
    // The source rows [first, last) that output row v needs.
    struct RowSpan {
        int first = 0, last = 0;
    };
    RowSpan SpanOf(int v) const;
    void MakeIntermediateRow(int k);
    const std::int16_t* Intermediate(int k) const;

    RgbView eye_;
    PlaneMap map_;
    int width_ = 0, height_ = 0;
    int next_ = 0;       // the next output row
    int made_ = 0;       // intermediate rows [.., made_) are made
    int ringRows_ = 0;   // a power of two
    std::size_t stride_ = 0;        // of a plane of a row: width_ and some slack
    std::size_t sourceStride_ = 0;  // of a plane of a source row
    // Intermediate row k at k % ringRows_: 16 x the value, three planes (red, green, blue).
    std::vector<std::int16_t> ring_;
    std::vector<std::int32_t> position_;      // per output column: 256 x the source coordinate
    std::vector<std::int16_t> weights_;       // the four taps' weights per pixel of a row
    std::vector<std::uint8_t> sourcePlanes_;  // a source row in three planes
    std::vector<std::uint8_t> outPlanes_;     // an output row in three planes
};

}  // namespace veltrane::align
