// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace veltrane::stereo {
namespace {

constexpr double kLobes = 3.0;

double Sinc(double x) {
    if (std::abs(x) < 1e-9) return 1.0;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

double Lanczos(double x) { return std::abs(x) < kLobes ? Sinc(x) * Sinc(x / kLobes) : 0.0; }

std::uint8_t ClampToByte(std::int32_t sum) {
    const std::int32_t v = (sum + (1 << (FilterTaps::kShift - 1))) >> FilterTaps::kShift;
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Marks the widest run of destination pixels around the middle that halve with the middle
// one's weights.
void FindHalving(FilterTaps& taps) {
    if (taps.destination < 32) return;
    const int middle = taps.destination / 2;
    const int offset = taps.first[static_cast<std::size_t>(middle)] - 2 * middle;
    const int n = taps.count[static_cast<std::size_t>(middle)];
    const std::int32_t* reference = taps.weights.data() + static_cast<std::size_t>(middle) * static_cast<std::size_t>(taps.maxTaps);
    auto same = [&](int i) {
        const std::size_t at = static_cast<std::size_t>(i);
        return taps.first[at] == 2 * i + offset && taps.count[at] == n &&
               std::equal(reference, reference + n, taps.weights.data() + at * static_cast<std::size_t>(taps.maxTaps));
    };
    int from = middle, to = middle + 1;
    while (from > 0 && same(from - 1)) --from;
    while (to < taps.destination && same(to)) ++to;
    if (to - from < 16) return;
    taps.halfFrom = from;
    taps.halfTo = to;
    taps.offset = offset;
}

// Destination pixels [halfFrom, halfTo) of a halving filter, channel by channel: the source
// row split into its even and odd pixels of each channel makes every tap a contiguous run,
// which the compiler turns into vector arithmetic. The weights and samples are integers held
// in floats, and every sum stays below 2^24: the results equal the fixed-point ones exactly.
void ResampleHalving(const std::uint8_t* src, std::uint8_t* dst, const FilterTaps& taps) {
    thread_local std::vector<float> planes, sums;
    const int halfLength = (taps.limit + 1) / 2;
    const std::size_t plane = static_cast<std::size_t>(halfLength) + 1;
    planes.resize(plane * 6);  // even R, G, B, then odd R, G, B
    float* even[3] = {planes.data(), planes.data() + plane, planes.data() + 2 * plane};
    float* odd[3] = {planes.data() + 3 * plane, planes.data() + 4 * plane, planes.data() + 5 * plane};
    const int pairs = taps.limit / 2;
    for (int i = 0; i < pairs; ++i) {
        const std::uint8_t* p = src + static_cast<std::size_t>(i) * 6;
        even[0][i] = p[0], even[1][i] = p[1], even[2][i] = p[2];
        odd[0][i] = p[3], odd[1][i] = p[4], odd[2][i] = p[5];
    }
    if (taps.limit % 2 != 0)
        for (int c = 0; c < 3; ++c) even[c][pairs] = src[pairs * 6 + c];
    const int length = taps.halfTo - taps.halfFrom;
    sums.resize(static_cast<std::size_t>(length));
    const std::int32_t* weights = taps.weights.data() + static_cast<std::size_t>(taps.halfFrom) * static_cast<std::size_t>(taps.maxTaps);
    const int n = taps.count[static_cast<std::size_t>(taps.halfFrom)];
    for (int c = 0; c < 3; ++c) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        float* sum = sums.data();
        for (int k = 0; k < n; ++k) {
            // Source 2 i + offset + k: even or odd plane, at i + floor((offset + k) / 2).
            const int o = taps.offset + k;
            const int parity = o & 1;
            const int shift = (o - parity) / 2;
            const float* p = planes.data() + static_cast<std::size_t>(parity * 3 + c) * plane +
                             static_cast<std::size_t>(taps.halfFrom + shift);
            const float w = static_cast<float>(weights[k]);
            for (int i = 0; i < length; ++i) sum[i] += w * p[i];
        }
        std::uint8_t* out = dst + static_cast<std::size_t>(taps.halfFrom) * 3 + static_cast<std::size_t>(c);
        for (int i = 0; i < length; ++i) out[i * 3] = ClampToByte(static_cast<std::int32_t>(sum[i]));
    }
}

}  // namespace

FilterTaps LanczosTaps(double start, double length, int limit, int destination) {
    FilterTaps taps;
    taps.destination = destination;
    taps.limit = limit;
    const double scale = length / destination;          // source pixels per destination pixel
    const double widen = std::max(1.0, scale);          // the kernel's stretch when shrinking
    const double radius = kLobes * widen;
    taps.maxTaps = std::min(limit, static_cast<int>(std::ceil(radius)) * 2 + 1);
    taps.first.resize(static_cast<std::size_t>(destination));
    taps.count.resize(static_cast<std::size_t>(destination));
    taps.weights.assign(static_cast<std::size_t>(destination) * static_cast<std::size_t>(taps.maxTaps), 0);
    std::vector<double> w(static_cast<std::size_t>(taps.maxTaps));
    for (int i = 0; i < destination; ++i) {
        // The destination pixel's centre in source coordinates (pixel k covers [k, k + 1)).
        const double centre = start + (i + 0.5) * scale;
        int lo = static_cast<int>(std::floor(centre - radius + 0.5));
        int hi = static_cast<int>(std::ceil(centre + radius - 0.5));  // exclusive
        lo = std::clamp(lo, 0, limit - 1);
        hi = std::clamp(hi, lo + 1, limit);
        if (hi - lo > taps.maxTaps) {  // rounding at the edges of the range
            const int excess = hi - lo - taps.maxTaps;
            lo += excess / 2;
            hi = lo + taps.maxTaps;
        }
        double total = 0;
        for (int k = lo; k < hi; ++k) total += (w[static_cast<std::size_t>(k - lo)] = Lanczos((k + 0.5 - centre) / widen));
        if (total == 0) {  // cannot happen for a sensible span; keep the nearest pixel
            std::fill(w.begin(), w.end(), 0.0);
            lo = std::clamp(static_cast<int>(centre), 0, limit - 1);
            hi = lo + 1;
            w[0] = total = 1;
        }
        // Normalised and rounded, with the rounding error put on the largest weight.
        std::int32_t* out = taps.weights.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(taps.maxTaps);
        std::int32_t sum = 0;
        int largest = 0;
        for (int k = 0; k < hi - lo; ++k) {
            out[k] = static_cast<std::int32_t>(std::lround(w[static_cast<std::size_t>(k)] / total * (1 << FilterTaps::kShift)));
            sum += out[k];
            if (out[k] > out[largest]) largest = k;
        }
        out[largest] += (1 << FilterTaps::kShift) - sum;
        taps.first[static_cast<std::size_t>(i)] = lo;
        taps.count[static_cast<std::size_t>(i)] = hi - lo;
    }
    FindHalving(taps);
    return taps;
}

void ResampleRow(const std::uint8_t* src, std::uint8_t* dst, const FilterTaps& taps) {
    if (taps.halfTo > taps.halfFrom) ResampleHalving(src, dst, taps);
    const std::int32_t* w = taps.weights.data();
    for (int i = 0; i < taps.destination; ++i, w += taps.maxTaps, dst += 3) {
        if (i == taps.halfFrom && taps.halfTo > taps.halfFrom) {  // done above
            const int skip = taps.halfTo - taps.halfFrom;
            i += skip;
            w += static_cast<std::ptrdiff_t>(skip) * taps.maxTaps;
            dst += static_cast<std::ptrdiff_t>(skip) * 3;
            if (i >= taps.destination) break;
        }
        const std::uint8_t* p = src + static_cast<std::size_t>(taps.first[static_cast<std::size_t>(i)]) * 3;
        const int n = taps.count[static_cast<std::size_t>(i)];
        std::int32_t r = 0, g = 0, b = 0;
        for (int k = 0; k < n; ++k, p += 3) {
            r += w[k] * p[0];
            g += w[k] * p[1];
            b += w[k] * p[2];
        }
        dst[0] = ClampToByte(r);
        dst[1] = ClampToByte(g);
        dst[2] = ClampToByte(b);
    }
}

VerticalResampler::VerticalResampler(FilterTaps taps, std::size_t rowBytes)
    : taps_(std::move(taps)), rowBytes_(rowBytes),
      ring_(static_cast<std::size_t>(taps_.maxTaps) * rowBytes), sums_(rowBytes), out_(rowBytes) {}

int VerticalResampler::SourceRowsNeeded() const {
    return taps_.destination == 0 ? 0
                                  : taps_.first.back() + taps_.count.back();
}

void VerticalResampler::Store(const std::uint8_t* row) {
    std::memcpy(ring_.data() + static_cast<std::size_t>(received_ % taps_.maxTaps) * rowBytes_, row, rowBytes_);
    ++received_;
}

void VerticalResampler::Blend(int destinationRow) {
    const std::size_t d = static_cast<std::size_t>(destinationRow);
    const std::int32_t* w = taps_.weights.data() + d * static_cast<std::size_t>(taps_.maxTaps);
    std::fill(sums_.begin(), sums_.end(), 0);
    for (int k = 0; k < taps_.count[d]; ++k) {
        const std::uint8_t* row = ring_.data() + static_cast<std::size_t>((taps_.first[d] + k) % taps_.maxTaps) * rowBytes_;
        const std::int32_t weight = w[k];
        std::int32_t* s = sums_.data();
        for (std::size_t x = 0; x < rowBytes_; ++x) s[x] += weight * row[x];
    }
    for (std::size_t x = 0; x < rowBytes_; ++x) out_[x] = ClampToByte(sums_[x]);
}

}  // namespace veltrane::stereo
