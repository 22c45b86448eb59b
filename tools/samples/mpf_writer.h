// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MPO files as imaging libraries and phones write them: every image may begin with a JFIF APP0
// segment (FF D8 FF E0) rather than EXIF, and the first image carries the MPF index, an APP2
// segment "MPF\0" holding a small TIFF structure that lists every image of the file.
#include <cstdint>
#include <functional>
#include <vector>

#include "tools/samples/tiff_builder.h"

namespace veltrane::samples {

// One 16-byte MP entry as stored: attribute (flags, format, type), size, offset from the TIFF
// header after "MPF\0" (0 for the first image), two dependent entry numbers.
struct MpEntry {
    std::uint32_t attribute = 0;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
    std::uint16_t dependent1 = 0, dependent2 = 0;
};

inline constexpr std::uint32_t kMpPrimary = 0x20030000;    // representative, Baseline MP Primary
inline constexpr std::uint32_t kMpDisparity = 0x00020002;  // Multi-Frame Disparity

struct MpfOptions {
    ByteOrder order = ByteOrder::Little;
    std::uint32_t ifdOffset = 8;  // from the TIFF header; the bytes between are zero
    // Changes the entries (or the count written into the index) before they are written, to
    // make broken indexes; imageCount starts as the number of entries.
    std::function<void(std::vector<MpEntry>& entries, std::uint32_t& imageCount)> edit;
};

// FF E0, length 16, "JFIF\0", version 1.01, no density unit, 1:1, no thumbnail.
Bytes JfifApp0Segment();

// An APP2 segment: FF E2, the length, "MPF\0", then the TIFF structure (MPFVersion "0100",
// NumberOfImages, MPEntry with the entries).
Bytes MpfApp2Segment(const std::vector<MpEntry>& entries, const MpfOptions& options = {});

// One image of the sample stereo pair that begins FF D8 FF E0 (JFIF, no EXIF).
Bytes SampleJfifImage(int eye);

// An MPO file of the images whose first image carries an MPF index listing every image at its
// true start (after the first image's first segment when that is APP0 or APP1, else right after
// FF D8). The first entry is the representative primary image, the others disparity images.
Bytes IndexedMpo(const std::vector<Bytes>& images, const MpfOptions& options = {});

}  // namespace veltrane::samples
