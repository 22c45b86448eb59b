// SPDX-License-Identifier: GPL-3.0-or-later
// The two passes of the eye's warp. With the map M taking output pixel (u, v) to the source
// point ((m0 u + m1 v + m2) / w, (m3 u + m4 v + m5) / w), w = m6 u + m7 v + m8:
//
//   across: source row k meets output column u where the source row of M(u, v) is k, which is
//           linear in u:  v = ((m3 - k m6) u + m5 - k m8) / (k m7 - m4); the column there,
//           x = (m0 u + m1 v + m2) / (m6 u + m7 v + m8), is then a ratio of two linear
//           functions of u along the row: (P u + Q) / (R u + S).
//   down:   output pixel (u, v) lies on the intermediate picture's column u at the source row
//           y = (m3 u + m4 v + m5) / (m6 u + m7 v + m8), for one v again a ratio along the row.
//
// Each position is held as 256 x the coordinate: its whole part picks the four taps, the rest
// the weights' phase. The source's 8-bit values become 16 x the value in the intermediate picture
// (room for the cubic's overshoot, and four bits below the byte for the second pass).
#include "imaging/align/eye_warp.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VELTRANE_WARP_SSE2 1
#else
#define VELTRANE_WARP_SSE2 0
#endif

namespace veltrane::align {
namespace {

constexpr int kPhaseBits = 8;
constexpr int kPhases = 1 << kPhaseBits;
constexpr int kWeightBits = 14;
constexpr int kIntermediateBits = 4;
// Across: weights times bytes, down to the intermediate's scale; down: weights times the
// intermediate values, down to bytes.
constexpr int kAcrossShift = kWeightBits - kIntermediateBits;
constexpr int kDownShift = kWeightBits + kIntermediateBits;
// No position lies further than this many pixels from the origin: 256 x it plus the rounding
// offset stays within an int.
constexpr double kFarthest = 1 << 20;
constexpr int kRoundingOffset = 1 << 29;
// A run of pixels is blended in whole blocks of this many (the compiler's vectors fit in it):
// the pixels past the run's end are made to no purpose and made again by the next run, or
// land in the slack after a row's last pixel, where each row and plane has this many more.
constexpr int kBlock = 16;

int WholeBlocks(int count) { return (count + kBlock - 1) / kBlock * kBlock; }

// 256 x position, rounded to the nearest (floor division by 256 then gives the pixel at or
// before the position, the remainder its phase). Every position lies within kFarthest: the
// constructor checks the ends of every row, between which each pass's positions run one way.
int Fixed(double position) {
    return static_cast<int>(position * kPhases + (0.5 + kRoundingOffset)) - kRoundingOffset;
}

// The four taps' weights of each pixel of a row, in four planes of stride pixels: Catmull and
// Rom's cubic (Keys' with a = -1/2) at the position's phase p (t = p / 256 between the pixel at
// or before the position and the next), the weights of the pixels at -1, 0, 1 and 2 from it,
// 14 bits each. With 16384 = 2048 x 8 and 256^3 = 2048 x 8192 every weight is an integer
// polynomial in p over 2048, rounded, and the second is what makes the four sum to exactly 1,
// so that a flat area stays exactly flat:
//   w0 = -p (256 - p)^2 / 2048           (a t (t - 1)^2)
//   w2 = (-3 p^3 + 1024 p^2 + 65536 p) / 2048   (-(a + 2) t^3 + (2 a + 3) t^2 - a t)
//   w3 = -p^2 (256 - p) / 2048           (a t^2 (1 - t))
// Integer arithmetic: the same weights on every machine.
void PixelWeights(const std::int32_t* positions, int width, std::int16_t* weights, std::size_t stride) {
    std::int16_t* w0 = weights;
    std::int16_t* w1 = weights + stride;
    std::int16_t* w2 = weights + 2 * stride;
    std::int16_t* w3 = weights + 3 * stride;
    constexpr std::int32_t kHalf = 1024;
    int u = 0;
#if VELTRANE_WARP_SSE2
    // Eight pixels at a time: p q (at most 16384) and p p (at most 65025) fit 16 bits, and each
    // product with a third factor is made whole from its low and high 16 bits.
    const auto load = [](const std::int32_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const auto wide = [](__m128i a, __m128i b, bool high) {
        const __m128i low = _mm_mullo_epi16(a, b), top = _mm_mulhi_epu16(a, b);
        return high ? _mm_unpackhi_epi16(low, top) : _mm_unpacklo_epi16(low, top);
    };
    const __m128i phaseMask = _mm_set1_epi32(kPhases - 1), half = _mm_set1_epi32(kHalf), one = _mm_set1_epi32(1 << kWeightBits);
    const __m128i zero = _mm_setzero_si128();
    for (; u + 8 <= width; u += 8) {
        const __m128i p = _mm_packs_epi32(_mm_and_si128(load(positions + u), phaseMask),
                                          _mm_and_si128(load(positions + u + 4), phaseMask));
        const __m128i q = _mm_sub_epi16(_mm_set1_epi16(kPhases), p);
        const __m128i pq = _mm_mullo_epi16(p, q), pp = _mm_mullo_epi16(p, p);
        __m128i out[4][2];
        for (int h = 0; h < 2; ++h) {
            const bool high = h == 1;
            const __m128i p32 = high ? _mm_unpackhi_epi16(p, zero) : _mm_unpacklo_epi16(p, zero);
            const __m128i pp32 = high ? _mm_unpackhi_epi16(pp, zero) : _mm_unpacklo_epi16(pp, zero);
            const __m128i ppp = wide(pp, p, high);
            const __m128i a = _mm_srai_epi32(_mm_sub_epi32(half, wide(pq, q, high)), 11);
            const __m128i c = _mm_srai_epi32(
                _mm_sub_epi32(_mm_add_epi32(_mm_add_epi32(half, _mm_slli_epi32(p32, 16)), _mm_slli_epi32(pp32, 10)),
                              _mm_add_epi32(_mm_add_epi32(ppp, ppp), ppp)),
                11);
            const __m128i d = _mm_srai_epi32(_mm_sub_epi32(half, wide(pq, p, high)), 11);
            out[0][h] = a;
            out[1][h] = _mm_sub_epi32(_mm_sub_epi32(_mm_sub_epi32(one, a), c), d);
            out[2][h] = c;
            out[3][h] = d;
        }
        std::int16_t* planes[4] = {w0, w1, w2, w3};
        for (int j = 0; j < 4; ++j)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(planes[j] + u), _mm_packs_epi32(out[j][0], out[j][1]));
    }
#endif
    for (; u < width; ++u) {
        const std::int32_t p = positions[u] & (kPhases - 1), q = kPhases - p;
        const std::int32_t a = (kHalf - p * q * q) >> 11;
        const std::int32_t c = (kHalf + ((-3 * p + 1024) * p + 65536) * p) >> 11;
        const std::int32_t d = (kHalf - p * p * q) >> 11;
        w0[u] = static_cast<std::int16_t>(a);
        w1[u] = static_cast<std::int16_t>((1 << kWeightBits) - a - c - d);
        w2[u] = static_cast<std::int16_t>(c);
        w3[u] = static_cast<std::int16_t>(d);
    }
}

// out[e] = the sum of weights[j][e] x tap j's sample, for a run of pixels of one colour plane
// whose taps lie in four runs as long (across: one source row, the taps a pixel apart; down:
// four intermediate rows). Written for the compiler's vector arithmetic.
template <int shift, typename In, typename Out, typename Store>
void Blend(const In* t0, const In* t1, const In* t2, const In* t3, const std::int16_t* weights, std::size_t stride,
           Out* out, int count, Store store) {
    const std::int16_t* w0 = weights;
    const std::int16_t* w1 = weights + stride;
    const std::int16_t* w2 = weights + 2 * stride;
    const std::int16_t* w3 = weights + 3 * stride;
    for (int e = 0; e < count; ++e) {
        const std::int32_t sum = w0[e] * t0[e] + w1[e] * t1[e] + w2[e] * t2[e] + w3[e] * t3[e];
        out[e] = store((sum + (1 << (shift - 1))) >> shift);
    }
}

std::int16_t ToIntermediate(std::int32_t value) { return static_cast<std::int16_t>(value); }

[[maybe_unused]] std::uint8_t ToByte(std::int32_t value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

#if VELTRANE_WARP_SSE2
// The same sums with SSE2 (every x86-64 processor has it), eight pixels at a time: the weights
// in pairs (w0 w1) and (w2 w3) beside the taps' samples in the same pairs, each pair's two
// products summed by one multiply-add into 32 bits, as the loop above sums them; the results
// equal its results exactly.
struct PairedWeights {
    __m128i low01, high01, low23, high23;
};

PairedWeights PairWeights(const std::int16_t* weights, std::size_t stride) {
    const auto load = [](const std::int16_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const __m128i w0 = load(weights), w1 = load(weights + stride), w2 = load(weights + 2 * stride),
                  w3 = load(weights + 3 * stride);
    return {_mm_unpacklo_epi16(w0, w1), _mm_unpackhi_epi16(w0, w1), _mm_unpacklo_epi16(w2, w3), _mm_unpackhi_epi16(w2, w3)};
}

// The eight rounded sums over the taps' samples (sixteen bits each), shifted, as sixteen bits.
template <int shift>
__m128i Sums(const PairedWeights& w, __m128i t0, __m128i t1, __m128i t2, __m128i t3) {
    const __m128i round = _mm_set1_epi32(1 << (shift - 1));
    const __m128i low = _mm_add_epi32(_mm_madd_epi16(w.low01, _mm_unpacklo_epi16(t0, t1)),
                                      _mm_madd_epi16(w.low23, _mm_unpacklo_epi16(t2, t3)));
    const __m128i high = _mm_add_epi32(_mm_madd_epi16(w.high01, _mm_unpackhi_epi16(t0, t1)),
                                       _mm_madd_epi16(w.high23, _mm_unpackhi_epi16(t2, t3)));
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(low, round), shift),
                           _mm_srai_epi32(_mm_add_epi32(high, round), shift));
}
#endif

// Across, a run of count pixels (a whole number of blocks) of the three planes whose taps start
// at source column from: into the intermediate row's planes at out.
void BlendAcross(std::uint8_t* const planes[3], int from, const std::int16_t* weights, std::size_t stride,
                 std::int16_t* out, std::size_t outStride, int count) {
#if VELTRANE_WARP_SSE2
    const __m128i zero = _mm_setzero_si128();
    for (int e = 0; e < count; e += 8) {
        const PairedWeights w = PairWeights(weights + e, stride);
        for (std::size_t c = 0; c < 3; ++c) {
            const std::uint8_t* t = planes[c] + from + e;
            const auto load = [&](int j) {
                return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + j)), zero);
            };
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c * outStride + static_cast<std::size_t>(e)),
                             Sums<kAcrossShift>(w, load(0), load(1), load(2), load(3)));
        }
    }
#else
    for (std::size_t c = 0; c < 3; ++c) {
        const std::uint8_t* t = planes[c] + from;
        Blend<kAcrossShift>(t, t + 1, t + 2, t + 3, weights, stride, out + c * outStride, count, ToIntermediate);
    }
#endif
}

// Down, a run of count pixels (a whole number of blocks) of the three planes of four
// intermediate rows (rows[j], planes stride apart): into the output's planes at out.
void BlendDown(const std::int16_t* const rows[4], const std::int16_t* weights, std::size_t stride, std::uint8_t* out,
               int count) {
#if VELTRANE_WARP_SSE2
    for (int e = 0; e < count; e += 8) {
        const PairedWeights w = PairWeights(weights + e, stride);
        for (std::size_t c = 0; c < 3; ++c) {
            const std::size_t at = c * stride + static_cast<std::size_t>(e);
            const auto load = [&](int j) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[j] + at)); };
            const __m128i sums = Sums<kDownShift>(w, load(0), load(1), load(2), load(3));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), _mm_packus_epi16(sums, sums));
        }
    }
#else
    for (std::size_t c = 0; c < 3; ++c) {
        const std::size_t plane = c * stride;
        Blend<kDownShift>(rows[0] + plane, rows[1] + plane, rows[2] + plane, rows[3] + plane, weights, stride, out + plane,
                          count, ToByte);
    }
#endif
}

// RGB pixels into three planes and back, in plain loops that SSE2 hastens: sixteen pixels at a
// time, each group of four pixels (twelve bytes) spread into four 32-bit words (red, green, blue,
// zero) or gathered back from them with shifts and masks of the 64-bit halves. Each returns the
// first pixel it left to the plain loop (every load and store stays within the row).
#if VELTRANE_WARP_SSE2
int SplitRgbFast(const std::uint8_t* rgb, std::uint8_t* const planes[3], int width) {
    const __m128i bytes0to5 = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
    const __m128i bytes8to13 = _mm_set_epi32(0x0000FFFF, -1, 0, 0);
    const __m128i firstPixel = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i secondPixel = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
    const __m128i byte = _mm_set1_epi32(0xFF);
    int x = 0;
    for (; x + 18 <= width; x += 16) {
        __m128i words[4];
        for (int i = 0; i < 4; ++i) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + (x + 4 * i) * 3));
            const __m128i halves =
                _mm_or_si128(_mm_and_si128(four, bytes0to5), _mm_and_si128(_mm_slli_si128(four, 2), bytes8to13));
            words[i] = _mm_or_si128(_mm_and_si128(halves, firstPixel), _mm_and_si128(_mm_slli_epi64(halves, 8), secondPixel));
        }
        for (int c = 0; c < 3; ++c) {
            __m128i channel[4];
            for (int i = 0; i < 4; ++i) channel[i] = _mm_and_si128(_mm_srli_epi32(words[i], 8 * c), byte);
            const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(channel[0], channel[1]), _mm_packs_epi32(channel[2], channel[3]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(planes[c] + x), packed);
        }
    }
    return x;
}

int JoinRgbFast(const std::uint8_t* const planes[3], std::uint8_t* rgb, int width) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstPixel = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i secondPixel = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF, static_cast<int>(0xFF000000u));
    const __m128i lowHalf = _mm_set_epi32(0, 0, -1, -1);
    int u = 0;
    for (; u + 18 <= width; u += 16) {
        const auto load = [&](int c) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(planes[c] + u)); };
        const __m128i r = load(0), g = load(1), b = load(2);
        const __m128i redGreen[2] = {_mm_unpacklo_epi8(r, g), _mm_unpackhi_epi8(r, g)};
        const __m128i blue[2] = {_mm_unpacklo_epi8(b, zero), _mm_unpackhi_epi8(b, zero)};
        for (int i = 0; i < 4; ++i) {
            const __m128i words = (i % 2 == 0) ? _mm_unpacklo_epi16(redGreen[i / 2], blue[i / 2])
                                               : _mm_unpackhi_epi16(redGreen[i / 2], blue[i / 2]);
            // Each 64-bit half: its first pixel's three bytes, then its second's; then the two
            // halves' six bytes side by side.
            const __m128i halves =
                _mm_or_si128(_mm_and_si128(words, firstPixel), _mm_and_si128(_mm_srli_epi64(words, 8), secondPixel));
            const __m128i twelve = _mm_or_si128(_mm_and_si128(halves, lowHalf), _mm_srli_si128(_mm_andnot_si128(lowHalf, halves), 2));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + (u + 4 * i) * 3), twelve);
        }
    }
    return u;
}
#else
int SplitRgbFast(const std::uint8_t*, std::uint8_t* const[3], int) { return 0; }
int JoinRgbFast(const std::uint8_t* const[3], std::uint8_t*, int) { return 0; }
#endif

void SplitRgb(const std::uint8_t* rgb, std::uint8_t* const planes[3], int width) {
    for (int x = SplitRgbFast(rgb, planes, width); x < width; ++x) {
        const std::uint8_t* pixel = rgb + static_cast<std::ptrdiff_t>(x) * 3;
        planes[0][x] = pixel[0];
        planes[1][x] = pixel[1];
        planes[2][x] = pixel[2];
    }
}

void JoinRgb(const std::uint8_t* const planes[3], std::uint8_t* rgb, int width) {
    for (int u = JoinRgbFast(planes, rgb, width); u < width; ++u) {
        std::uint8_t* pixel = rgb + static_cast<std::ptrdiff_t>(u) * 3;
        pixel[0] = planes[0][u];
        pixel[1] = planes[1][u];
        pixel[2] = planes[2][u];
    }
}

}  // namespace

EyeWarp::EyeWarp(const RgbView& eye, const PlaneMap& map, int outWidth, int outHeight)
    : eye_(eye), map_(map), width_(outWidth), height_(outHeight) {
    if (eye.pixels == nullptr || eye.width < 1 || eye.height < 1 || outWidth < 1 || outHeight < 1)
        throw AlignError("there is no picture to warp");
    if (!std::all_of(map.begin(), map.end(), [](double m) { return std::isfinite(m); }))
        throw AlignError("the correction is not a number");
    const auto& m = map_;
    const double right = outWidth - 1;
    // Neither pass may meet the map's horizon (w = 0) nor run along a row or column of the
    // other: the denominators of both passes keep their sign over the picture.
    const auto tooFar = [] { return AlignError("the correction is too far from the identity to warp"); };
    const auto near = [](double position) { return std::abs(position) < kFarthest; };
    for (int v = 0; v < outHeight; ++v) {
        const double w0 = m[7] * v + m[8], w1 = m[6] * right + m[7] * v + m[8];
        if (!(w0 > 0) || !(w1 > 0) || !near((m[4] * v + m[5]) / w0) || !near((m[3] * right + m[4] * v + m[5]) / w1))
            throw tooFar();
    }
    const double d0 = -m[4], d1 = (eye.height - 1) * m[7] - m[4];
    if (!(d0 > 0 && d1 > 0) && !(d0 < 0 && d1 < 0)) throw tooFar();
    for (int k = 0; k < eye.height; ++k) {
        const double d = k * m[7] - m[4];
        const double a = (m[3] - k * m[6]) / d, b = (m[5] - k * m[8]) / d;
        const double p = m[0] + m[1] * a, q = m[1] * b + m[2], r = m[6] + m[7] * a, s = m[7] * b + m[8];
        if (!(s > 0) || !(r * right + s > 0) || !near(q / s) || !near((p * right + q) / (r * right + s))) throw tooFar();
    }
    // The window: from the first row any output row needs, as many rows as the output rows
    // need together with those made before them.
    int first = eye.height, reach = 0, rows = 1;
    for (int v = 0; v < outHeight; ++v) first = std::min(first, SpanOf(v).first);
    for (int v = 0; v < outHeight; ++v) {
        const RowSpan span = SpanOf(v);
        reach = std::max(reach, span.last);
        rows = std::max(rows, reach - span.first);
    }
    ringRows_ = 1;
    while (ringRows_ < rows) ringRows_ *= 2;
    made_ = first;
    stride_ = static_cast<std::size_t>(width_) + kBlock;
    sourceStride_ = static_cast<std::size_t>(eye.width) + kBlock;
    ring_.resize(static_cast<std::size_t>(ringRows_) * stride_ * 3);
    position_.resize(static_cast<std::size_t>(width_));
    weights_.resize(stride_ * 4);
    sourcePlanes_.resize(sourceStride_ * 3);
    outPlanes_.resize(stride_ * 3);
}

EyeWarp::RowSpan EyeWarp::SpanOf(int v) const {
    const auto& m = map_;
    const double right = width_ - 1;
    const int a = Fixed((m[4] * v + m[5]) / (m[7] * v + m[8])) >> kPhaseBits;
    const int b = Fixed((m[3] * right + m[4] * v + m[5]) / (m[6] * right + m[7] * v + m[8])) >> kPhaseBits;
    // Taps from one row before to two after; one row more each way for the rounding.
    return {std::clamp(std::min(a, b) - 2, 0, eye_.height - 1), std::clamp(std::max(a, b) + 4, 1, eye_.height)};
}

const std::int16_t* EyeWarp::Intermediate(int k) const {
    return ring_.data() + static_cast<std::size_t>(k & (ringRows_ - 1)) * stride_ * 3;
}

void EyeWarp::MakeIntermediateRow(int k) {
    const auto& m = map_;
    const double d = k * m[7] - m[4];
    const double a = (m[3] - k * m[6]) / d, b = (m[5] - k * m[8]) / d;
    const double p = m[0] + m[1] * a, q = m[1] * b + m[2], r = m[6] + m[7] * a, s = m[7] * b + m[8];
    std::int32_t* positions = position_.data();
    const int width = width_;
    if (r == 0) {
        const double across = p / s, start = q / s;
        for (int u = 0; u < width; ++u) positions[u] = Fixed(across * u + start);
    } else {
        for (int u = 0; u < width; ++u) positions[u] = Fixed((p * u + q) / (r * u + s));
    }
    const std::size_t stride = stride_;
    PixelWeights(positions, width, weights_.data(), stride);
    // The source row in three planes.
    const int sourceWidth = eye_.width;
    const std::uint8_t* source = eye_.pixels + static_cast<std::ptrdiff_t>(k) * eye_.stride;
    std::uint8_t* planes[3];
    for (std::size_t c = 0; c < 3; ++c) planes[c] = sourcePlanes_.data() + c * sourceStride_;
    SplitRgb(source, planes, sourceWidth);
    std::int16_t* out = ring_.data() + static_cast<std::size_t>(k & (ringRows_ - 1)) * stride * 3;
    const int lastColumn = sourceWidth - 1;
    const auto inside = [lastColumn](int i) { return i >= 1 && i + 2 <= lastColumn; };
    for (int u = 0; u < width;) {
        const int i = positions[u] >> kPhaseBits;
        if (!inside(i)) {
            // At an edge: the taps clamped, one pixel.
            int x[4];
            for (int j = 0; j < 4; ++j) x[j] = std::clamp(i - 1 + j, 0, lastColumn);
            for (std::size_t c = 0; c < 3; ++c) {
                const std::uint8_t* t = planes[c];
                const std::uint8_t t0 = t[x[0]], t1 = t[x[1]], t2 = t[x[2]], t3 = t[x[3]];
                Blend<kAcrossShift>(&t0, &t1, &t2, &t3, weights_.data() + u, stride, out + c * stride + static_cast<std::size_t>(u), 1,
                                    ToIntermediate);
            }
            ++u;
            continue;
        }
        // The pixels whose taps lie as far from them as pixel u's: one run of the source row,
        // looked for a block at a time, then pixel by pixel; it ends before its taps pass the
        // row's end.
        const int offset = i - u;
        const int last = std::min(width, lastColumn - 1 - offset);
        int end = u + 1;
        for (;;) {
            if (end + kBlock <= last) {
                bool same = true;
                for (int j = end; j < end + kBlock; ++j) same &= (positions[j] >> kPhaseBits) - j == offset;
                if (same) {
                    end += kBlock;
                    continue;
                }
            }
            while (end < last && (positions[end] >> kPhaseBits) - end == offset) ++end;
            break;
        }
        BlendAcross(planes, i - 1, weights_.data() + u, stride, out + u, stride, WholeBlocks(end - u));
        u = end;
    }
}

void EyeWarp::NextRow(std::uint8_t* out) {
    if (next_ >= height_) throw AlignError("every row of the corrected eye is made");
    const int v = next_++;
    const RowSpan span = SpanOf(v);
    while (made_ < span.last) MakeIntermediateRow(made_++);
    const auto& m = map_;
    const double c1 = m[4] * v + m[5], c2 = m[7] * v + m[8];
    std::int32_t* positions = position_.data();
    const int width = width_;
    if (m[6] == 0) {
        const double down = m[3] / c2, start = c1 / c2;
        for (int u = 0; u < width; ++u) positions[u] = Fixed(down * u + start);
    } else {
        for (int u = 0; u < width; ++u) positions[u] = Fixed((m[3] * u + c1) / (m[6] * u + c2));
    }
    const std::size_t stride = stride_;
    PixelWeights(positions, width, weights_.data(), stride);
    const int lastRow = eye_.height - 1;
    std::uint8_t* planes = outPlanes_.data();
    for (int u = 0; u < width;) {
        // The pixels that lie between the same rows: one run of four intermediate rows.
        const int k = positions[u] >> kPhaseBits;
        int end = u + 1;
        while (end < width && positions[end] >> kPhaseBits == k) ++end;
        const std::int16_t* rows[4];
        for (int j = 0; j < 4; ++j) rows[j] = Intermediate(std::clamp(k - 1 + j, 0, lastRow)) + u;
        BlendDown(rows, weights_.data() + u, stride, planes + u, WholeBlocks(end - u));
        u = end;
    }
    const std::uint8_t* const made[3] = {planes, planes + stride, planes + 2 * stride};
    JoinRgb(made, out, width);
}

}  // namespace veltrane::align
