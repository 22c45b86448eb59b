// SPDX-License-Identifier: GPL-3.0-or-later
// Composes two arbitrary byte strings as a stereo pair, in every layout, with and without
// alignment. Input framing:
//   1 byte   options: bits 0-2 the layout (in the order of the Layout enumeration), bit 3
//            align, bit 4 swap, bits 5-7 a parallax of (value - 4) * 8 pixels; the anaglyph
//            kind is the next byte modulo 7
//   4 bytes  length of the left image, little-endian
//   n bytes  the left image, then the right image: the rest
// A length that reaches to the end or beyond makes the rest one JPS image: it is cut into its
// halves, which are composed as the pair, the layout 7 (wiggle) then standing for the MPO layout.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/stereo/jps_input.h"
#include "imaging/stereo/stereo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrane::stereo;
    if (size < 5) return 0;
    StereoOptions options;
    options.layout = static_cast<Layout>(data[0] & 7);
    options.align = (data[0] & 8) != 0;
    options.swap = (data[0] & 16) != 0;
    options.parallax = ((data[0] >> 5) - 4) * 8;
    options.anaglyph = static_cast<AnaglyphKind>(data[1] % 7);
    options.maxSize = 64;
    // Small pictures only: the fuzzer looks for faults, not for the cost of big images.
    options.limits.maxPixels = 1u << 20;
    options.limits.maxScans = 64;
    std::size_t leftSize = data[1] | (data[2] << 8) | (static_cast<std::size_t>(data[3]) << 16) |
                           (static_cast<std::size_t>(data[4]) << 24);
    const std::span<const std::uint8_t> rest(data + 5, size - 5);
    try {
        if (leftSize >= rest.size()) {
            if (options.layout == Layout::Wiggle) options.layout = Layout::Mpo;
            const StereoPair halves = SplitJps(rest, options.limits);
            (void)ComposeStereo(halves.left, halves.right, options);
        } else {
            (void)ComposeStereo(rest.first(leftSize), rest.subspan(leftSize), options);
        }
    } catch (const StereoError&) {
    }
    return 0;
}
