// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The APP2 "MPF" segments of a multi-picture file (CIPA DC-007), written in the layout of the
// stereo consoles' files: big-endian TIFF structures.
//
// The first image carries the MP Index IFD and, linked behind it, its own MP Attribute IFD:
//
//   FF E2 LL LL "MPF\0"
//   +0   4D 4D 00 2A 00 00 00 08             TIFF header (big-endian), first IFD at 8
//   +8   00 03                               MP Index IFD: three entries
//        B000 0007 00000004 "0100"           MPFVersion
//        B001 0004 00000001 N                NumberOfImages
//        B002 0007 16*N     00000032         MPEntry: N entries of 16 bytes at 50
//        <50 + 16*N>                         next IFD: the MP Attribute IFD
//   +50  N x { attribute, size, offset, dependent image 1, dependent image 2 }
//   +50+16N  MP Attribute IFD: count, entries (MPIndividualNum B101, then the type's tags), 0,
//            then the values that do not fit in an entry (rationals)
//
// Every later image carries its MP Attribute IFD alone, MPFVersion first:
//
//   FF E2 LL LL "MPF\0" 4D 4D 00 2A 00 00 00 08  count  B000 "0100"  B101 n  ...  0  values
//
// MP entry offsets count from the TIFF header of the first image's segment (the "MM" of its
// endian field); the first image's offset is 0. A multi-frame disparity or multi-angle image
// carries BaseViewpointNum B204 = 1, ConvergenceAngle B205 and BaselineLength B206, the last
// two "unknown" (every bit set) as the consoles write them; a panorama image PanOrientation B201.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/images/mpf_index.h"

namespace veltrane {

// MP tags.
inline constexpr std::uint16_t kMpTagVersion = 0xB000, kMpTagNumberOfImages = 0xB001,
                               kMpTagEntry = 0xB002, kMpTagIndividualNum = 0xB101,
                               kMpTagPanOrientation = 0xB201, kMpTagBaseViewpointNum = 0xB204,
                               kMpTagConvergenceAngle = 0xB205, kMpTagBaselineLength = 0xB206;

// TIFF field types used by MP tags.
inline constexpr std::uint16_t kTiffLong = 4, kTiffRational = 5, kTiffUndefined = 7, kTiffSRational = 10;

// One entry of an MP Attribute IFD, its value bytes big-endian.
struct MpTag {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> value;  // count items of the type's size

    static MpTag Long(std::uint16_t tag, std::uint32_t v);
    static MpTag Rational(std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator);
    static MpTag SRational(std::uint16_t tag, std::int32_t numerator, std::int32_t denominator);
    // A LONG value of the tag, when it holds one.
    std::optional<std::uint32_t> LongValue() const;
    bool operator==(const MpTag&) const = default;
};

// The attribute tags the consoles write for an image of the type among imageCount images:
// BaseViewpointNum 1 and unknown ConvergenceAngle and BaselineLength for disparity and
// multi-angle images; for a panorama PanOrientation (one row of imageCount images, from the
// top left, left to right); none for other types.
std::vector<MpTag> DefaultMpAttributes(std::uint32_t type, std::size_t imageCount);

// What one image's attribute IFD says: its tags in the written order, MPFVersion and
// MPIndividualNum included. The writer adds MPFVersion (later images) and MPIndividualNum
// (its position when absent) to the tags it is given, and sorts them by tag.
struct MpAttributeIfd {
    std::uint32_t individualNumber = 0;
    std::vector<MpTag> tags;  // beyond MPFVersion and MPIndividualNum
};

// One MP entry as the writer stores it.
struct MpEntryValues {
    std::uint32_t attribute = 0;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;  // from the first image's TIFF header; 0 for the first image
    std::uint16_t dependent1 = 0, dependent2 = 0;
};

// The first image's segment (FF E2 through the last value byte) for these entries, with its own
// attribute IFD behind the index.
std::vector<std::uint8_t> BuildMpfIndexSegment(const std::vector<MpEntryValues>& entries,
                                               const MpAttributeIfd& firstImage);
// A later image's segment.
std::vector<std::uint8_t> BuildMpfAttributeSegment(const MpAttributeIfd& image);
// Their sizes, known before the entries' sizes and offsets are.
std::size_t MpfIndexSegmentSize(std::size_t imageCount, const MpAttributeIfd& firstImage);
std::size_t MpfAttributeSegmentSize(const MpAttributeIfd& image);

// Distance from a segment's FF E2 to its TIFF header, from which MP entry offsets count.
inline constexpr std::size_t kMpfTiffOffset = 8;

// Reads the MP Attribute IFD of an APP2 "MPF" segment's payload (after the length field,
// starting "MPF\0"): the first IFD when it holds no MPEntry, else the IFD linked behind it.
// Tags of unknown field types are left out; every value comes back big-endian. Empty when the
// payload holds no readable attribute IFD.
std::optional<MpAttributeIfd> ReadMpAttributeIfd(std::span<const std::uint8_t> payload);

// "disparity", "multi-angle", "panorama" and back; the words of --type.
std::optional<std::uint32_t> MpTypeFromWord(const std::string& word);
std::string MpTypeWord(std::uint32_t type);

}  // namespace veltrane
