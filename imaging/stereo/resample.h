// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lanczos-3 resampling of 8-bit RGB pictures, separable: across each row, then down the
// columns. Values are filtered as they are stored (sRGB-encoded), as most image tools do; the
// kernel, sinc(x) sinc(x / 3) for |x| < 3, is widened by the reduction factor when
// shrinking, so that every source pixel counts.
//
// Weights are fixed point (14 fractional bits, summing to exactly 1), so that a flat area
// stays exactly flat and the result does not depend on the compiler's floating point.
#include <cstdint>
#include <vector>

namespace veltrane::stereo {

// The source pixels and weights of every destination pixel along one axis.
struct FilterTaps {
    static constexpr int kShift = 14;
    int destination = 0;
    int limit = 0;                    // source pixels [0, limit)
    int maxTaps = 0;                  // the most taps any destination pixel has
    std::vector<int> first;           // first source index of destination pixel i
    std::vector<int> count;           // its number of taps
    std::vector<std::int32_t> weights;  // maxTaps per destination pixel
    // Halving (the half-size layouts): away from the edges every destination pixel i has the
    // same weights, from source 2 i + offset on. Pixels [halfFrom, halfTo) are such (an empty
    // range when the taps do not halve).
    int halfFrom = 0, halfTo = 0, offset = 0;
};

// Taps mapping the source span [start, start + length) (in pixels, fractions allowed) onto
// destination pixels [0, destination); source indexes are kept within [0, limit).
FilterTaps LanczosTaps(double start, double length, int limit, int destination);

// One RGB row across: src holds the source row, dst gets taps.destination pixels.
void ResampleRow(const std::uint8_t* src, std::uint8_t* dst, const FilterTaps& taps);

// Down the columns, streaming: source rows go in one by one (each of rowBytes bytes), and each
// destination row comes out through the sink as soon as its last source row has arrived. Holds
// only as many rows as the filter is tall.
class VerticalResampler {
public:
    VerticalResampler(FilterTaps taps, std::size_t rowBytes);
    // Source row y (rows must come in order from 0). Calls sink(destinationRow, bytes) for each
    // destination row that is now complete.
    template <typename Sink>
    void Add(const std::uint8_t* row, Sink&& sink) {
        Store(row);
        while (next_ < taps_.destination && taps_.first[static_cast<std::size_t>(next_)] + taps_.count[static_cast<std::size_t>(next_)] <= received_) {
            Blend(next_);
            sink(next_, out_.data());
            ++next_;
        }
    }
    // Whether every destination row has been produced.
    bool Done() const { return next_ == taps_.destination; }
    // The source rows [0, n) that the destination rows need.
    int SourceRowsNeeded() const;

private:
    void Store(const std::uint8_t* row);
    void Blend(int destinationRow);

    FilterTaps taps_;
    std::size_t rowBytes_;
    int received_ = 0;
    int next_ = 0;
    std::vector<std::uint8_t> ring_;  // maxTaps rows, row y at y % maxTaps
    std::vector<std::int32_t> sums_;
    std::vector<std::uint8_t> out_;
};

}  // namespace veltrane::stereo
