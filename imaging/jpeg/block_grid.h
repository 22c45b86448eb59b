// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The arithmetic of the block grid that every lossless operation (compose, crop, turn) and the
// codecs' plane sizes share: a count of pixels or blocks divided by a block or MCU size and
// rounded up, and a size rounded up to a whole number of them. Sizes are never negative.
#include <cstdint>

namespace veltrane::libjpeg {

// a / b rounded up, as Result (the caller's type of count).
template <typename Result = int>
constexpr Result CeilDiv(std::uint64_t a, std::uint64_t b) {
    return static_cast<Result>((a + b - 1) / b);
}

// a rounded up to a multiple of b, as Result.
template <typename Result = int>
constexpr Result RoundUp(std::uint64_t a, std::uint64_t b) {
    return static_cast<Result>((a + b - 1) / b * b);
}

}  // namespace veltrane::libjpeg
