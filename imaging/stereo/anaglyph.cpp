// SPDX-License-Identifier: GPL-3.0-or-later
// Anaglyphs: both eyes' pictures in one, each eye's colour channels picked out by its glasses'
// filter.
//
// The least-squares kinds (Dubois) project the two eyes' colours, in linear light, onto the
// one colour that looks most like each eye's through its filter: each eye's sRGB pixel is
// linearised, the pair is mapped by the kind's two matrices (rows give the output R, G, B,
// columns the eye's R, G, B), clipped to [0, 1] and brought back to sRGB. Both curves are
// tables.
//
// The classic kinds work on the sRGB values directly, with Y = 0.299 R + 0.587 G + 0.114 B:
//   gray        R = Y(left)               G = Y(right)  B = Y(right)
//   color       R = R(left)               G = G(right)  B = B(right)
//   half-color  R = Y(left)               G = G(right)  B = B(right)
//   optimized   R = 0.7 G(left) + 0.3 B(left)   G = G(right)  B = B(right)
#include <array>
#include <cmath>

#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {
namespace {

struct Projection {
    float left[3][3];
    float right[3][3];
};

constexpr Projection kRedCyan = {{{0.437f, 0.449f, 0.164f}, {-0.062f, -0.062f, -0.024f}, {-0.048f, -0.050f, -0.017f}},
                                 {{-0.011f, -0.032f, -0.007f}, {0.377f, 0.761f, 0.009f}, {-0.026f, -0.093f, 1.234f}}};
constexpr Projection kAmberBlue = {{{1.062f, -0.205f, 0.299f}, {-0.026f, 0.908f, 0.068f}, {-0.038f, -0.173f, 0.022f}},
                                   {{-0.016f, -0.123f, -0.017f}, {0.006f, 0.062f, -0.017f}, {0.094f, 0.185f, 0.911f}}};
constexpr Projection kGreenMagenta = {
    {{-0.062f, -0.158f, -0.039f}, {0.284f, 0.668f, 0.143f}, {-0.015f, -0.027f, 0.021f}},
    {{0.529f, 0.705f, 0.024f}, {-0.016f, -0.015f, -0.065f}, {0.009f, 0.075f, 0.937f}}};

// Linear values are looked up at this many steps; fine enough that the table's rounding stays
// below half an sRGB level even in the steep part of the curve near black.
constexpr int kLinearSteps = 65535;

struct Curves {
    std::array<float, 256> toLinear{};
    std::array<std::uint8_t, kLinearSteps + 1> toSrgb{};
    Curves() {
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            toLinear[static_cast<std::size_t>(i)] =
                static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        for (int i = 0; i <= kLinearSteps; ++i) {
            const double v = static_cast<double>(i) / kLinearSteps;
            const double c = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
            toSrgb[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::lround(c * 255.0));
        }
    }
};

const Curves& TheCurves() {
    static const Curves curves;
    return curves;
}

void ProjectRow(const Projection& m, const std::uint8_t* left, const std::uint8_t* right, std::uint8_t* out, int n) {
    const Curves& k = TheCurves();
    for (int i = 0; i < n; ++i, left += 3, right += 3, out += 3) {
        const float l[3] = {k.toLinear[left[0]], k.toLinear[left[1]], k.toLinear[left[2]]};
        const float r[3] = {k.toLinear[right[0]], k.toLinear[right[1]], k.toLinear[right[2]]};
        for (int c = 0; c < 3; ++c) {
            float v = m.left[c][0] * l[0] + m.left[c][1] * l[1] + m.left[c][2] * l[2] +
                      m.right[c][0] * r[0] + m.right[c][1] * r[1] + m.right[c][2] * r[2];
            v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
            out[c] = k.toSrgb[static_cast<std::size_t>(v * kLinearSteps + 0.5f)];
        }
    }
}

// 0.299 R + 0.587 G + 0.114 B, rounded, in 16-bit fixed point (the weights sum to 65536).
std::uint8_t Luma(const std::uint8_t* p) {
    return static_cast<std::uint8_t>((19595 * p[0] + 38470 * p[1] + 7471 * p[2] + 32768) >> 16);
}

}  // namespace

void AnaglyphRow(const std::uint8_t* left, const std::uint8_t* right, std::uint8_t* out, int n, AnaglyphKind kind) {
    switch (kind) {
        case AnaglyphKind::Dubois: return ProjectRow(kRedCyan, left, right, out, n);
        case AnaglyphKind::AmberBlue: return ProjectRow(kAmberBlue, left, right, out, n);
        case AnaglyphKind::GreenMagenta: return ProjectRow(kGreenMagenta, left, right, out, n);
        default: break;
    }
    for (int i = 0; i < n; ++i, left += 3, right += 3, out += 3) {
        switch (kind) {
            case AnaglyphKind::Gray: out[0] = Luma(left), out[1] = out[2] = Luma(right); break;
            case AnaglyphKind::Color: out[0] = left[0], out[1] = right[1], out[2] = right[2]; break;
            case AnaglyphKind::HalfColor: out[0] = Luma(left), out[1] = right[1], out[2] = right[2]; break;
            default:  // optimized
                out[0] = static_cast<std::uint8_t>((7 * left[1] + 3 * left[2] + 5) / 10);
                out[1] = right[1];
                out[2] = right[2];
                break;
        }
    }
}

}  // namespace veltrane::stereo
