// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A PNG file in memory, written one row at a time through libpng: 8 or 16 bits a sample, grey or
// RGB, no interlacing, zlib at level 3 (level 6 takes twice the time and saves under 1% on
// photographs). libpng reports errors by longjmp: every call into it runs under a setjmp of its
// own, in a frame that owns nothing, and comes out as PngEncodeError.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace veltrane::png {

// libpng's message ("out of memory", ...).
class PngEncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class PngColour { Grey, Rgb };

class PngEncoder {
public:
    // Raises PngEncodeError for a size or depth libpng refuses, or without memory.
    PngEncoder(int width, int height, int bitDepth, PngColour colour);
    ~PngEncoder();
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    // One row of width samples per channel, 16-bit samples big-endian (as PNG stores them).
    void WriteRow(const std::uint8_t* row);
    // The file, after the last row.
    std::vector<std::uint8_t> Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace veltrane::png
