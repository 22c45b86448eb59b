// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the images of an MPO file start: the offsets of up to kMaxImages images, their count, and
// where recording stopped when the file holds more. Nothing else: the file, the output folder
// and the mode belong to whoever scans or splits it.
#include <array>
#include <cstdint>

namespace veltrane {

inline constexpr int kMaxImages = 999;

// FF D8 FF E1: a JPEG start-of-image marker directly followed by an APP1 marker.
inline constexpr std::array<std::uint8_t, 4> ImageSignature = {0xFF, 0xD8, 0xFF, 0xE1};

struct ImageIndex {
    // Entry n (1..ImageCount) is the file offset of image n's start; entry 0 is unused.
    std::array<std::int64_t, kMaxImages + 1> ImageOffsets{};
    int ImageCount = 0;
    // Offset at which recording stopped because a 1000th image started there, so that
    // image 999 ends at it; -1 when the last image runs to the end of the file.
    std::int64_t LimitOffset = -1;
    // Where the last image ends when other parts of the file follow it (a motion photo's video,
    // a maker's trailer): just past its EOI. -1 when it runs to the end of the file.
    std::int64_t LastImageEnd = -1;

    // Byte range [start, end) of image n, given the source file's current size.
    std::int64_t ImageStart(int n) const { return ImageOffsets[n]; }
    std::int64_t ImageEnd(int n, std::int64_t fileSize) const {
        if (n < ImageCount) return ImageOffsets[n + 1];
        if (LimitOffset >= 0) return LimitOffset;
        return LastImageEnd >= 0 ? LastImageEnd : fileSize;
    }
    // Where the last image ends, -1 for the end of the file.
    std::int64_t LastEnd() const { return LimitOffset >= 0 ? LimitOffset : LastImageEnd;
    }
};

}  // namespace veltrane
