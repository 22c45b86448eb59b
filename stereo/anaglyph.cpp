// The red-cyan anaglyph by the least-squares projection of Dubois, applied in linear light:
// each eye's sRGB pixel is linearised, the two are projected to one RGB colour by the
// matrices below, clipped to [0, 1] and brought back to sRGB. Both curves are tables.
#include <array>
#include <cmath>

#include "stereo/stereo.h"

namespace veltrane::stereo {
namespace {

// Rows produce R, G, B from the eye's linear R, G, B.
constexpr float kLeft[3][3] = {{0.437f, 0.449f, 0.164f}, {-0.062f, -0.062f, -0.024f}, {-0.048f, -0.050f, -0.017f}};
constexpr float kRight[3][3] = {{-0.011f, -0.032f, -0.007f}, {0.377f, 0.761f, 0.009f}, {-0.026f, -0.093f, 1.234f}};

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

}  // namespace

void AnaglyphRow(const std::uint8_t* left, const std::uint8_t* right, std::uint8_t* out, int n) {
    const Curves& k = TheCurves();
    for (int i = 0; i < n; ++i, left += 3, right += 3, out += 3) {
        const float l[3] = {k.toLinear[left[0]], k.toLinear[left[1]], k.toLinear[left[2]]};
        const float r[3] = {k.toLinear[right[0]], k.toLinear[right[1]], k.toLinear[right[2]]};
        for (int c = 0; c < 3; ++c) {
            float v = kLeft[c][0] * l[0] + kLeft[c][1] * l[1] + kLeft[c][2] * l[2] +
                      kRight[c][0] * r[0] + kRight[c][1] * r[1] + kRight[c][2] * r[2];
            v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
            out[c] = k.toSrgb[static_cast<std::size_t>(v * kLinearSteps + 0.5f)];
        }
    }
}

}  // namespace veltrane::stereo
