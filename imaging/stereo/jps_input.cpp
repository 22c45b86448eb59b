// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/jps_input.h"

#include <cstring>
#include <future>

#include "core/mpo/byte_source.h"
#include "core/mpo/jpeg_walk.h"
#include "imaging/stereo/lossless_crop.h"

namespace veltrane::stereo {
namespace {

constexpr int kReencodeQuality = 95;
constexpr std::uint8_t kMarkerApp3 = 0xE3;

std::string LayoutName(std::uint8_t layout) {
    switch (layout) {
        case kJpsInterleaved: return "interleaved rows";
        case kJpsSideBySide: return "side by side";
        case kJpsOverUnder: return "over/under";
        case kJpsAnaglyph: return "an anaglyph";
        default: return "layout " + std::to_string(layout);
    }
}

}  // namespace

std::optional<JpsDescriptor> ReadJpsDescriptor(std::span<const std::uint8_t> payload) {
    //  +0   "_JPSJPS_"
    //  +8   2 bytes, big-endian: the length n of the descriptor block that follows
    //  +10  the stereoscopic descriptor (n >= 4), a 32-bit big-endian word:
    //         +10  bits 31-24  separation
    //         +11  bits 23-16  flags: 0x01 half height, 0x02 half width, 0x04 left field first
    //         +12  bits 15-8   layout: 1 interleaved, 2 side by side, 3 over/under, 4 anaglyph
    //                          (of a monoscopic image: 0 both eyes, 1 left eye, 2 right eye)
    //         +13  bits 7-0    type: 0 monoscopic, 1 stereoscopic
    //  +10+n  2 bytes, big-endian: the length of the comment that follows
    constexpr std::size_t kDescriptorEnd = 14;
    if (payload.size() < kDescriptorEnd || std::memcmp(payload.data(), "_JPSJPS_", 8) != 0) return std::nullopt;
    const unsigned blockLength = static_cast<unsigned>(payload[8]) << 8 | payload[9];
    if (blockLength < 4) return std::nullopt;
    return JpsDescriptor{payload[13], payload[12], payload[11], payload[10]};
}

std::optional<JpsDescriptor> FindJpsDescriptor(std::span<const std::uint8_t> jpeg) {
    MemoryByteSource source(jpeg);
    const JpegImageWalk walk = WalkJpegImage(source, 0, source.Size(), WalkScope::Header);
    const std::size_t header = walk.reachedScan ? walk.headerSegments : walk.segments.size();
    for (std::size_t i = 0; i < header && i < walk.segments.size(); ++i) {
        const JpegSegment& segment = walk.segments[i];
        if (segment.marker != kMarkerApp3) continue;
        const std::vector<std::uint8_t> bytes = ReadSegmentBytes(source, segment);
        if (bytes.size() < 4) continue;
        if (auto descriptor = ReadJpsDescriptor(std::span(bytes).subspan(4))) return descriptor;
    }
    return std::nullopt;
}

bool HasJpsName(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    for (char& c : end)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return end == ".jps";
}

StereoPair SplitJps(std::span<const std::uint8_t> jpeg, const CodecLimits& limits) {
    const JpsDescriptor descriptor = FindJpsDescriptor(jpeg).value_or(JpsDescriptor{});
    if (descriptor.type != kJpsStereoscopic)
        throw StereoError("its JPS descriptor marks a single picture, not a stereo pair");
    if (descriptor.layout != kJpsSideBySide && descriptor.layout != kJpsOverUnder)
        throw StereoError("its JPS descriptor gives " + LayoutName(descriptor.layout) +
                          "; only side-by-side and over/under pairs can be read");
    const std::string name = "JPS image";
    const JpegGeometry image = ReadJpegGeometry(jpeg, limits, name);
    const bool sideBySide = descriptor.layout == kJpsSideBySide;
    const int length = sideBySide ? image.width : image.height;
    const int half = length / 2;
    if (half < 1) throw StereoError("the JPS image is too small to hold two halves");
    // An odd length leaves out the middle column or row.
    PixelArea first{0, 0, sideBySide ? half : image.width, sideBySide ? image.height : half};
    PixelArea second = first;
    const int cut = length - half;
    (sideBySide ? second.x : second.y) = cut;
    const int grid = sideBySide ? image.imcuWidth : image.imcuHeight;

    StereoPair pair;
    std::vector<std::uint8_t> a, b;
    if (cut % grid == 0) {
        auto later = std::async(std::launch::async, [&] { return CropLossless(jpeg, second, limits, name); });
        a = CropLossless(jpeg, first, limits, name);
        b = later.get();
    } else {
        pair.reencodeReason = "the JPS image's second half starts at " + std::string(sideBySide ? "column " : "row ") +
                              std::to_string(cut) + ", off its " + std::to_string(grid) + "-pixel block grid";
        auto later = std::async(std::launch::async,
                                [&] { return CropReencoded(jpeg, second, kReencodeQuality, limits, name); });
        a = CropReencoded(jpeg, first, kReencodeQuality, limits, name);
        b = later.get();
    }
    const bool leftFirst = (descriptor.flags & kJpsLeftFieldFirst) != 0;
    pair.left = std::move(leftFirst ? a : b);
    pair.right = std::move(leftFirst ? b : a);
    return pair;
}

}  // namespace veltrane::stereo
