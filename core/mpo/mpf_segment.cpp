// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mpo/mpf_segment.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace veltrane {
namespace {

constexpr std::size_t kIfdEntrySize = 12;
constexpr std::size_t kMpEntrySize = 16;
constexpr std::size_t kTiffHeaderSize = 8;

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16(out, v >> 16);
    PutU16(out, v & 0xFFFF);
}

std::size_t TypeSize(std::uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;  // BYTE, ASCII, SBYTE, UNDEFINED
        case 3: case 8: return 2;                  // SHORT, SSHORT
        case 4: case 9: case 11: return 4;         // LONG, SLONG, FLOAT
        case 5: case 10: case 12: return 8;        // RATIONAL, SRATIONAL, DOUBLE
        default: return 0;
    }
}

// The bytes of one item in big-endian order are read as numbers of this width.
std::size_t NumberWidth(std::uint16_t type) {
    const std::size_t size = TypeSize(type);
    return type == 5 || type == 10 ? 4 : size;  // a rational is two LONGs
}

// The attribute IFD's entries in the order they are written: MPFVersion (on later images),
// MPIndividualNum, then the other tags by tag number.
std::vector<MpTag> IfdEntries(const MpAttributeIfd& ifd, std::uint32_t number, bool withVersion) {
    std::vector<MpTag> entries;
    if (withVersion) entries.push_back({kMpTagVersion, kTiffUndefined, 4, {'0', '1', '0', '0'}});
    entries.push_back(MpTag::Long(kMpTagIndividualNum, number));
    for (const MpTag& tag : ifd.tags)
        if (tag.tag != kMpTagVersion && tag.tag != kMpTagIndividualNum) entries.push_back(tag);
    std::stable_sort(entries.begin(), entries.end(), [](const MpTag& a, const MpTag& b) { return a.tag < b.tag; });
    return entries;
}

std::size_t IfdSize(const std::vector<MpTag>& entries) {
    std::size_t size = 2 + entries.size() * kIfdEntrySize + 4;
    for (const MpTag& e : entries)
        if (e.value.size() > 4) size += e.value.size() + (e.value.size() & 1);
    return size;
}

// Appends the IFD at TIFF offset at (out holds the bytes from the TIFF header on): the count,
// the entries, the next-IFD link and the values that do not fit in an entry.
void PutIfd(std::vector<std::uint8_t>& out, const std::vector<MpTag>& entries, std::uint32_t next) {
    const std::size_t at = out.size();
    std::size_t valueAt = at + 2 + entries.size() * kIfdEntrySize + 4;
    PutU16(out, static_cast<std::uint32_t>(entries.size()));
    std::vector<std::uint8_t> values;
    for (const MpTag& e : entries) {
        PutU16(out, e.tag);
        PutU16(out, e.type);
        PutU32(out, e.count);
        if (e.value.size() <= 4) {
            out.insert(out.end(), e.value.begin(), e.value.end());
            out.insert(out.end(), 4 - e.value.size(), 0);
        } else {
            PutU32(out, static_cast<std::uint32_t>(valueAt + values.size()));
            values.insert(values.end(), e.value.begin(), e.value.end());
            if (e.value.size() & 1) values.push_back(0);  // values start on even offsets
        }
    }
    PutU32(out, next);
    out.insert(out.end(), values.begin(), values.end());
}

std::vector<std::uint8_t> SegmentStart(std::size_t tiffSize) {
    const std::size_t length = 2 + 4 + tiffSize;
    if (length > 0xFFFF) throw std::length_error("the MPF segment would exceed 64 KiB");
    std::vector<std::uint8_t> out = {0xFF, 0xE2};
    out.reserve(2 + length);
    PutU16(out, static_cast<std::uint32_t>(length));
    out.insert(out.end(), {'M', 'P', 'F', 0, 'M', 'M', 0x00, 0x2A, 0, 0, 0, 8});
    return out;
}

// Numbers of a TIFF structure in its byte order, every read checked against its bounds.
class TiffReader {
public:
    TiffReader(std::span<const std::uint8_t> bytes, bool big) : bytes_(bytes), big_(big) {}
    bool Has(std::size_t off, std::size_t n) const { return off <= bytes_.size() && n <= bytes_.size() - off; }
    std::uint32_t Number(std::size_t off, std::size_t n) const {  // callers check Has first
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v = (v << 8) | bytes_[off + (big_ ? i : n - 1 - i)];
        return v;
    }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

private:
    std::span<const std::uint8_t> bytes_;
    bool big_;
};

}  // namespace

MpTag MpTag::Long(std::uint16_t tag, std::uint32_t v) {
    MpTag t{tag, kTiffLong, 1, {}};
    PutU32(t.value, v);
    return t;
}

MpTag MpTag::Rational(std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator) {
    MpTag t{tag, kTiffRational, 1, {}};
    PutU32(t.value, numerator);
    PutU32(t.value, denominator);
    return t;
}

MpTag MpTag::SRational(std::uint16_t tag, std::int32_t numerator, std::int32_t denominator) {
    MpTag t{tag, kTiffSRational, 1, {}};
    PutU32(t.value, static_cast<std::uint32_t>(numerator));
    PutU32(t.value, static_cast<std::uint32_t>(denominator));
    return t;
}

std::optional<std::uint32_t> MpTag::LongValue() const {
    if (type != kTiffLong || count != 1 || value.size() != 4) return std::nullopt;
    return (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) | (std::uint32_t{value[2]} << 8) |
           value[3];
}

std::vector<MpTag> DefaultMpAttributes(std::uint32_t type, std::size_t imageCount) {
    (void)imageCount;  // the panorama's layout bytes name no count
    switch (type & kMpTypeMask) {
        case kMpTypeDisparity:
        case kMpTypeMultiAngle:
            return {MpTag::Long(kMpTagBaseViewpointNum, 1),
                    MpTag::SRational(kMpTagConvergenceAngle, -1, -1),  // all bits set: unknown
                    MpTag::Rational(kMpTagBaselineLength, 0xFFFFFFFF, 0xFFFFFFFF)};
        case kMpTypePanorama:
            // Four bytes: two reserved, the start (2: top left), the direction (1: left to right).
            return {MpTag::Long(kMpTagPanOrientation, 0x00000201)};
        default:
            return {};
    }
}

std::size_t MpfIndexSegmentSize(std::size_t imageCount, const MpAttributeIfd& firstImage) {
    const std::size_t indexIfd = 2 + 3 * kIfdEntrySize + 4;
    return 2 + 2 + 4 + kTiffHeaderSize + indexIfd + imageCount * kMpEntrySize +
           IfdSize(IfdEntries(firstImage, 1, false));
}

std::size_t MpfAttributeSegmentSize(const MpAttributeIfd& image) {
    return 2 + 2 + 4 + kTiffHeaderSize + IfdSize(IfdEntries(image, image.individualNumber, true));
}

std::vector<std::uint8_t> BuildMpfIndexSegment(const std::vector<MpEntryValues>& entries,
                                               const MpAttributeIfd& firstImage) {
    const std::size_t segmentSize = MpfIndexSegmentSize(entries.size(), firstImage);
    std::vector<std::uint8_t> out = SegmentStart(segmentSize - 4 - 4);
    const std::size_t tiff = out.size() - kTiffHeaderSize;  // TIFF offsets count from here
    const auto listAt = static_cast<std::uint32_t>(kTiffHeaderSize + 2 + 3 * kIfdEntrySize + 4);
    const auto listBytes = static_cast<std::uint32_t>(entries.size() * kMpEntrySize);
    PutU16(out, 3);
    out.insert(out.end(), {0xB0, 0x00, 0x00, 0x07, 0, 0, 0, 4, '0', '1', '0', '0'});
    PutU16(out, kMpTagNumberOfImages);
    PutU16(out, kTiffLong);
    PutU32(out, 1);
    PutU32(out, static_cast<std::uint32_t>(entries.size()));
    PutU16(out, kMpTagEntry);
    PutU16(out, kTiffUndefined);
    PutU32(out, listBytes);
    PutU32(out, listAt);
    PutU32(out, listAt + listBytes);  // the first image's attribute IFD
    for (const MpEntryValues& e : entries) {
        PutU32(out, e.attribute);
        PutU32(out, e.size);
        PutU32(out, e.offset);
        PutU16(out, e.dependent1);
        PutU16(out, e.dependent2);
    }
    const std::uint32_t number = firstImage.individualNumber != 0 ? firstImage.individualNumber : 1;
    std::vector<std::uint8_t> tiffBytes(out.begin() + static_cast<std::ptrdiff_t>(tiff), out.end());
    PutIfd(tiffBytes, IfdEntries(firstImage, number, false), 0);
    out.resize(tiff);
    out.insert(out.end(), tiffBytes.begin(), tiffBytes.end());
    return out;
}

std::vector<std::uint8_t> BuildMpfAttributeSegment(const MpAttributeIfd& image) {
    const std::vector<MpTag> entries = IfdEntries(image, image.individualNumber, true);
    std::vector<std::uint8_t> out = SegmentStart(kTiffHeaderSize + IfdSize(entries));
    const std::size_t tiff = out.size() - kTiffHeaderSize;
    std::vector<std::uint8_t> tiffBytes(out.begin() + static_cast<std::ptrdiff_t>(tiff), out.end());
    PutIfd(tiffBytes, entries, 0);
    out.resize(tiff);
    out.insert(out.end(), tiffBytes.begin(), tiffBytes.end());
    return out;
}

std::optional<MpAttributeIfd> ReadMpAttributeIfd(std::span<const std::uint8_t> payload) {
    //  "MPF\0", then "II"/"MM", 42, the offset of the first IFD
    if (payload.size() < 4 + kTiffHeaderSize || std::memcmp(payload.data(), "MPF\0", 4) != 0) return std::nullopt;
    const auto tiff = payload.subspan(4);
    if (!((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M'))) return std::nullopt;
    const bool big = tiff[0] == 'M';
    const TiffReader r(tiff, big);
    if (r.Number(2, 2) != 42) return std::nullopt;
    std::size_t ifd = r.Number(4, 4);
    // At most two IFDs are looked at: the index (when the first holds MPEntry), then the
    // attribute IFD behind it.
    for (int hop = 0; hop < 2; ++hop) {
        if (ifd < kTiffHeaderSize || !r.Has(ifd, 2)) return std::nullopt;
        const std::size_t count = r.Number(ifd, 2);
        if (!r.Has(ifd + 2, count * kIfdEntrySize + 4)) return std::nullopt;
        bool isIndex = false;
        for (std::size_t i = 0; i < count; ++i)
            if (r.Number(ifd + 2 + i * kIfdEntrySize, 2) == kMpTagEntry) isIndex = true;
        if (isIndex) {
            ifd = r.Number(ifd + 2 + count * kIfdEntrySize, 4);
            continue;
        }
        MpAttributeIfd result;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t e = ifd + 2 + i * kIfdEntrySize;
            MpTag tag;
            tag.tag = static_cast<std::uint16_t>(r.Number(e, 2));
            tag.type = static_cast<std::uint16_t>(r.Number(e + 2, 2));
            tag.count = r.Number(e + 4, 4);
            const std::size_t itemSize = TypeSize(tag.type);
            if (itemSize == 0 || tag.count == 0 || tag.count > 0xFFFF / itemSize) continue;
            const std::size_t size = itemSize * tag.count;
            const std::size_t at = size <= 4 ? e + 8 : r.Number(e + 8, 4);
            if (!r.Has(at, size)) continue;
            // Each number of the value turned big-endian.
            const std::size_t width = NumberWidth(tag.type);
            const auto bytes = r.Bytes().subspan(at, size);
            for (std::size_t k = 0; k < size; k += width)
                for (std::size_t b = 0; b < width; ++b) tag.value.push_back(bytes[k + (big ? b : width - 1 - b)]);
            if (tag.tag == kMpTagIndividualNum) {
                if (const auto n = tag.LongValue()) result.individualNumber = *n;
            } else if (tag.tag != kMpTagVersion) {
                result.tags.push_back(std::move(tag));
            }
        }
        return result;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> MpTypeFromWord(const std::string& word) {
    if (word == "disparity") return kMpTypeDisparity;
    if (word == "multi-angle") return kMpTypeMultiAngle;
    if (word == "panorama") return kMpTypePanorama;
    return std::nullopt;
}

std::string MpTypeWord(std::uint32_t type) {
    switch (type & kMpTypeMask) {
        case kMpTypeDisparity: return "disparity";
        case kMpTypeMultiAngle: return "multi-angle";
        case kMpTypePanorama: return "panorama";
        default: return "";
    }
}

}  // namespace veltrane
