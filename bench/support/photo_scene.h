// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The synthetic scene of the benchmarks' camera-size pictures: smooth shapes plus a fine
// texture, so that entropy coding costs about as much as a photograph's.
#include <cmath>
#include <cstdint>

namespace veltrane::bench {

inline std::uint8_t PhotoScene(int x, int y, int channel) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(channel) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    const double noise = static_cast<double>(h >> 24) / 255.0 - 0.5;
    const double wave = std::sin(x * 0.013 + channel) * std::cos(y * 0.011) + std::sin((x + y) * 0.003 * (channel + 1));
    const double v = 128 + 60 * wave + 40 * noise;
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace veltrane::bench
