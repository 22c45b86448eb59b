#pragma once
// The record of the open MPO file: where each image starts, how many there are, and the names
// that extraction and preview work from.
#include <array>
#include <cstdint>
#include <string>

namespace veltrane {

inline constexpr int kMaxImages = 999;

// FF D8 FF E1: a JPEG start-of-image marker directly followed by an APP1 marker.
inline constexpr std::array<std::uint8_t, 4> ImageSignature = {0xFF, 0xD8, 0xFF, 0xE1};

// How the images of a file are found. With MpfIndexFirst the file's MPF index (its first
// image's table of images) decides when it is usable, and the signature scan otherwise; with
// SignatureOnly every occurrence of the signature starts an image, index or not.
enum class ImageRule { MpfIndexFirst, SignatureOnly };

// The rule new indexes start with: MpfIndexFirst unless the command line's --no-mpf changed it
// for its run.
ImageRule DefaultImageRule();
void SetDefaultImageRule(ImageRule rule);

struct ImageIndex {
    // Entry n (1..ImageCount) is the file offset of image n's start; entry 0 is unused.
    std::array<std::int64_t, kMaxImages + 1> ImageOffsets{};
    int ImageCount = 0;
    // Offset at which recording stopped because a 1000th image started there, so that
    // image 999 ends at it; -1 when the last image runs to the end of the file.
    std::int64_t LimitOffset = -1;
    std::string SourceFileName;
    std::string OutputFolder;     // empty, or ending with the folder separator
    std::string ExtractMode;      // empty, "all", or the odd/even word as typed
    std::uint32_t ListItemColour = 0;  // 0xRRGGBB of the list entry last drawn
    std::string TempImageFile;
    ImageRule Rule = DefaultImageRule();

    // Byte range [start, end) of image n, given the source file's current size.
    std::int64_t ImageStart(int n) const { return ImageOffsets[n]; }
    std::int64_t ImageEnd(int n, std::int64_t fileSize) const {
        if (n < ImageCount) return ImageOffsets[n + 1];
        return LimitOffset >= 0 ? LimitOffset : fileSize;
    }
};

// " Image 002:  1205 K": the image number padded to three digits and the size in whole KiB.
std::string ImageListEntry(int imageNumber, std::int64_t sizeInBytes);

}  // namespace veltrane
