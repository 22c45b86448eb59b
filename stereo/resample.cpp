#include "stereo/resample.h"

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

}  // namespace

FilterTaps LanczosTaps(double start, double length, int limit, int destination) {
    FilterTaps taps;
    taps.destination = destination;
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
    return taps;
}

void ResampleRow(const std::uint8_t* src, std::uint8_t* dst, const FilterTaps& taps) {
    const std::int32_t* w = taps.weights.data();
    for (int i = 0; i < taps.destination; ++i, w += taps.maxTaps, dst += 3) {
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
