// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The MPF index of an MPO file: the multi-picture format (CIPA DC-007) stores, in an APP2
// segment of the first image's header, a table of every image of the file with its type, size
// and offset. Reading it finds images whose start is not FF D8 FF E1 (JFIF-first files, files of
// imaging libraries) and skips JPEG starts that merely lie inside an image (embedded
// thumbnails).
//
// The reader is a pure function over the first bytes of the file, so that tests and the fuzz
// target call it on byte strings; MpfIndexOfFile applies it to a file.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace veltrane {

class InputFile;

// MP types: bits 23-0 of an entry's attribute.
inline constexpr std::uint32_t kMpTypeUndefined = 0x000000;
inline constexpr std::uint32_t kMpTypeLargeThumbnailVga = 0x010001;
inline constexpr std::uint32_t kMpTypeLargeThumbnailFullHd = 0x010002;
inline constexpr std::uint32_t kMpTypePanorama = 0x020001;
inline constexpr std::uint32_t kMpTypeDisparity = 0x020002;
inline constexpr std::uint32_t kMpTypeMultiAngle = 0x020003;
inline constexpr std::uint32_t kMpTypeBaselinePrimary = 0x030000;
inline constexpr std::uint32_t kMpTypeMask = 0xFFFFFF;
// Attribute flags: bit 31 dependent parent, 30 dependent child, 29 representative image;
// bits 26-24 the image data format, 0 for JPEG.
inline constexpr std::uint32_t kMpRepresentativeFlag = 1u << 29;


// One 16-byte MP entry, its offset already turned into a file offset.
struct MpfEntry {
    std::uint32_t attribute = 0;  // bit 31 dependent parent, 30 dependent child,
                                  // 29 representative, 26-24 format (0 JPEG), 23-0 type
    std::uint32_t size = 0;       // as stored; never trusted for the image ranges
    std::int64_t start = 0;       // file offset of the image's FF D8
    std::uint16_t dependent1 = 0, dependent2 = 0;
};

struct MpfIndex {
    // The first image's header holds an APP2 segment whose payload begins "MPF\0".
    bool found = false;
    std::int64_t segmentOffset = -1;  // file offset of that segment's FF E2
    std::int64_t base = 0;            // file offset of the TIFF header after "MPF\0"
    bool bigEndian = false;
    std::vector<MpfEntry> entries;    // every entry, in index order
    // Empty when the index is usable; otherwise why it is not ("image 2 lies outside the file").
    std::string problem;
    // More bytes of the file are needed to read the header: the head passed in ends before
    // this offset. 0 when the result is final.
    std::int64_t bytesNeeded = 0;

    bool Usable() const { return found && problem.empty() && bytesNeeded == 0; }
};

// Reads the index from head, the first head.size() bytes of a file of fileSize bytes. Checks
// all of the rules that need no bytes beyond head: the marker walk, the TIFF structure, entry 1
// at offset 0, later entries at non-zero offsets, inside the file, in strictly increasing order.
// The starts' first bytes are checked by CheckMpfImageStarts.
MpfIndex ReadMpfIndex(std::span<const std::uint8_t> head, std::int64_t fileSize);

// Marks index unusable at the first entry whose start does not begin FF D8 FF; beginsJpeg is
// asked about each start (all lie inside the file).
void CheckMpfImageStarts(MpfIndex& index, const std::function<bool(std::int64_t)>& beginsJpeg);

// Whether FF D8 FF lies at offset of bytes.
bool BeginsJpegAt(std::span<const std::uint8_t> bytes, std::int64_t offset);

// The index of an open file: walks the first image's markers (within kMpfHeadLimit bytes),
// reading their lengths and not the segments between them, reads the MPF segment, then checks
// the starts. Raises InOutError when the file cannot be read.
inline constexpr std::int64_t kMpfHeadLimit = std::int64_t{16} << 20;
MpfIndex MpfIndexOfFile(InputFile& file);

// Whether the index lists a stereo set: disparity or multi-angle images (the eyes of a pair, or
// more views of one scene; an imaging library may call the first one the primary image), as
// opposed to, say, a photo with its gain map or its large thumbnails.
bool ListsStereoSet(const MpfIndex& index);

// "Baseline MP Primary Image", "Large Thumbnail (VGA equivalent)", ..., "Undefined", or
// "Unknown type 0xNNNNNN".
std::string MpfTypeName(std::uint32_t attribute);

// "representative, dependent parent", "format 3" for a format other than JPEG; "none".
std::string MpfFlagsText(std::uint32_t attribute);

}  // namespace veltrane
