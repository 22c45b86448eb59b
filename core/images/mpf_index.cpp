// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/images/mpf_index.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "core/common/file_io.h"

namespace veltrane {
namespace {

// Reads numbers of a byte range in one byte order. Every read is checked against the range
// (non-wrapping form) and reports failure instead of reading outside it.
class Reader {
public:
    Reader(std::span<const std::uint8_t> bytes, bool bigEndian) : bytes_(bytes), big_(bigEndian) {}

    std::size_t Size() const { return bytes_.size(); }
    bool Has(std::size_t off, std::size_t n) const { return off <= bytes_.size() && n <= bytes_.size() - off; }
    bool U16(std::size_t off, std::uint32_t& v) const { return Number(off, 2, v); }
    bool U32(std::size_t off, std::uint32_t& v) const { return Number(off, 4, v); }

private:
    bool Number(std::size_t off, std::size_t n, std::uint32_t& v) const {
        if (!Has(off, n)) return false;
        v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t b = bytes_[off + (big_ ? i : n - 1 - i)];
            v = (v << 8) | b;
        }
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    bool big_;
};

constexpr std::uint8_t kSos = 0xDA, kEoi = 0xD9, kApp2 = 0xE2;
constexpr std::uint16_t kTagNumberOfImages = 0xB001, kTagEntries = 0xB002;
constexpr std::uint32_t kTypeLong = 4, kTypeUndefined = 7;
constexpr std::size_t kEntrySize = 16;

bool IsStandalone(std::uint8_t marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// Walks the first image's marker segments and returns the file offset of the length field of
// the APP2 "MPF\0" segment, -1 when there is none before SOS or EOI (or the walk meets bytes
// that are no marker). bytes.Want(end) says whether bytes [.., end) can be had (and may note
// what more would be needed), bytes.At(p) gives one of them; the walk looks only at markers,
// lengths and the MPF signature, never inside other segments.
//
//   FF D8                          start of image
//   FF [FF...] mm                  a marker, after any number of fill bytes FF
//   LL LL <LL-2 bytes>             big-endian length (counting itself) for all but 01, D0-D7
template <typename Bytes>
std::int64_t FindMpfSegment(Bytes& bytes, std::int64_t fileSize) {
    auto at = [&](std::int64_t p) { return bytes.At(p); };
    auto want = [&](std::int64_t end) { return bytes.Want(end); };
    if (!want(2) || at(0) != 0xFF || at(1) != 0xD8) return -1;
    std::int64_t p = 2;
    for (;;) {
        if (!want(p + 1) || at(p) != 0xFF) return -1;
        while (want(p + 1) && at(p) == 0xFF) ++p;
        if (!want(p + 1)) return -1;
        const std::uint8_t marker = at(p++);
        if (marker == kSos || marker == kEoi) return -1;
        if (IsStandalone(marker)) continue;
        if (!want(p + 2)) return -1;
        const std::int64_t length = (std::int64_t{at(p)} << 8) | at(p + 1);
        if (length < 2 || length > fileSize - p) return -1;
        if (marker == kApp2 && length >= 6) {
            if (!want(p + 6)) return -1;
            if (at(p + 2) == 'M' && at(p + 3) == 'P' && at(p + 4) == 'F' && at(p + 5) == 0) {
                if (!want(p + length)) return -1;
                return p;
            }
        }
        p += length;
    }
}

// The head of a file in memory; Want notes how many bytes a walk past its end would need.
struct HeadBytes {
    std::span<const std::uint8_t> head;
    std::int64_t fileSize;
    std::int64_t needed = 0;
    bool Want(std::int64_t end) {
        if (end <= static_cast<std::int64_t>(head.size())) return true;
        if (end <= fileSize) needed = end;
        return false;
    }
    std::uint8_t At(std::int64_t p) const { return head[static_cast<std::size_t>(p)]; }
};

// An open file, read a small block at a time where the walk looks (up to limit bytes): the
// segments between the markers are skipped, not read.
class FileBlocks {
public:
    FileBlocks(InputFile& file, std::int64_t limit) : file_(file), limit_(limit) {}
    bool Want(std::int64_t end) const { return end <= limit_; }
    std::uint8_t At(std::int64_t p) {
        if (p < start_ || p >= start_ + length_) {
            start_ = p;
            length_ = std::min<std::int64_t>(limit_ - p, static_cast<std::int64_t>(block_.size()));
            file_.ReadAt(p, block_.data(), static_cast<std::size_t>(length_));
        }
        return block_[static_cast<std::size_t>(p - start_)];
    }

private:
    InputFile& file_;
    std::int64_t limit_;
    std::array<std::uint8_t, 4096> block_{};
    std::int64_t start_ = 0, length_ = 0;
};

std::string ImageText(std::size_t i) { return "image " + std::to_string(i + 1); }

// Reads the TIFF structure of the segment's payload after "MPF\0" into index; tiff spans
// exactly the rest of the segment.
void ReadTiff(std::span<const std::uint8_t> tiff, std::int64_t fileSize, MpfIndex& index) {
    //  2 bytes  "II" or "MM"
    //  2 bytes  42
    //  4 bytes  offset of the IFD from the start of "II"/"MM" (at least 8)
    if (tiff.size() < 8 || !((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M'))) {
        index.problem = "the MPF segment holds no TIFF header";
        return;
    }
    index.bigEndian = tiff[0] == 'M';
    const Reader r(tiff, index.bigEndian);
    std::uint32_t magic = 0, ifd = 0;
    r.U16(2, magic);
    r.U32(4, ifd);
    if (magic != 42) {
        index.problem = "the MPF segment holds no TIFF header";
        return;
    }
    //  2 bytes  entry count; 12-byte entries: tag, type, count, value or offset
    std::uint32_t count = 0;
    if (ifd < 8 || !r.U16(ifd, count) || !r.Has(std::size_t{ifd} + 2, std::size_t{count} * 12)) {
        index.problem = "the index's directory lies outside the MPF segment";
        return;
    }
    bool haveCount = false, haveList = false;
    std::uint32_t images = 0, listBytes = 0, listOffset = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t e = std::size_t{ifd} + 2 + std::size_t{i} * 12;
        std::uint32_t tag = 0, type = 0, n = 0, value = 0;
        r.U16(e, tag);
        r.U16(e + 2, type);
        r.U32(e + 4, n);
        r.U32(e + 8, value);
        if (tag == kTagNumberOfImages && !haveCount) {
            if (type != kTypeLong || n != 1) {
                index.problem = "the number of images is not one LONG";
                return;
            }
            haveCount = true;
            images = value;
        } else if (tag == kTagEntries && !haveList) {
            if (type != kTypeUndefined) {
                index.problem = "the image list is not of type UNDEFINED";
                return;
            }
            haveList = true;
            listBytes = n;
            listOffset = value;
        }
    }
    if (!haveCount || images == 0) {
        index.problem = "the index gives no number of images";
        return;
    }
    if (!haveList) {
        index.problem = "the index has no image list";
        return;
    }
    if (listBytes % kEntrySize != 0 || listBytes / kEntrySize != images) {
        index.problem = "the image list does not hold " + std::to_string(images) +
                        (images == 1 ? " entry" : " entries");
        return;
    }
    if (!r.Has(listOffset, listBytes)) {
        index.problem = "the image list lies outside the MPF segment";
        return;
    }
    //  each entry: u32 attribute, u32 size, u32 offset from the TIFF header (0 for the first
    //  image), u16 and u16 dependent entry numbers
    index.entries.resize(images);
    for (std::size_t i = 0; i < images; ++i) {
        const std::size_t e = std::size_t{listOffset} + i * kEntrySize;
        MpfEntry& entry = index.entries[i];
        std::uint32_t offset = 0, d1 = 0, d2 = 0;
        r.U32(e, entry.attribute);
        r.U32(e + 4, entry.size);
        r.U32(e + 8, offset);
        r.U16(e + 12, d1);
        r.U16(e + 14, d2);
        entry.dependent1 = static_cast<std::uint16_t>(d1);
        entry.dependent2 = static_cast<std::uint16_t>(d2);
        entry.start = i == 0 ? offset : index.base + offset;
    }
    for (std::size_t i = 0; i < images; ++i) {
        const std::int64_t start = index.entries[i].start;
        if (i == 0 && start != 0) {
            index.problem = "image 1 does not start at offset 0";
        } else if (i > 0 && start == index.base) {
            index.problem = ImageText(i) + " has offset 0";
        } else if (start >= fileSize) {
            index.problem = ImageText(i) + " lies outside the file";
        } else if (i > 0 && start <= index.entries[i - 1].start) {
            index.problem = ImageText(i) + " does not start after " + ImageText(i - 1);
        }
        if (!index.problem.empty()) return;
    }
}

// The index from the MPF segment whose length field lies at file offset lengthAt: segment holds
// its bytes from the length field on (length, "MPF\0", the TIFF structure up to its end).
void ReadMpfSegment(std::span<const std::uint8_t> segment, std::int64_t lengthAt, std::int64_t fileSize,
                    MpfIndex& index) {
    index.found = true;
    index.segmentOffset = lengthAt - 2;
    index.base = lengthAt + 6;
    ReadTiff(segment.subspan(6), fileSize, index);
}

}  // namespace

MpfIndex ReadMpfIndex(std::span<const std::uint8_t> head, std::int64_t fileSize) {
    MpfIndex index;
    fileSize = std::max<std::int64_t>(fileSize, 0);
    if (static_cast<std::int64_t>(head.size()) > fileSize)
        head = head.first(static_cast<std::size_t>(fileSize));
    HeadBytes bytes{head, fileSize};
    const std::int64_t lengthAt = FindMpfSegment(bytes, fileSize);
    if (lengthAt < 0) {
        index.bytesNeeded = bytes.needed;
        return index;
    }
    const auto p = static_cast<std::size_t>(lengthAt);
    const std::size_t length = (std::size_t{head[p]} << 8) | head[p + 1];
    ReadMpfSegment(head.subspan(p, length), lengthAt, fileSize, index);
    return index;
}

void CheckMpfImageStarts(MpfIndex& index, const std::function<bool(std::int64_t)>& beginsJpeg) {
    if (!index.Usable()) return;
    for (std::size_t i = 0; i < index.entries.size(); ++i) {
        if (!beginsJpeg(index.entries[i].start)) {
            index.problem = ImageText(i) + " does not begin with a JPEG start marker";
            return;
        }
    }
}

bool BeginsJpegAt(std::span<const std::uint8_t> bytes, std::int64_t offset) {
    if (offset < 0 || offset > static_cast<std::int64_t>(bytes.size()) ||
        3 > bytes.size() - static_cast<std::size_t>(offset))
        return false;
    const auto* p = bytes.data() + offset;
    return p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
}

MpfIndex MpfIndexOfFile(InputFile& file) {
    const std::int64_t fileSize = file.Size();
    MpfIndex index;
    // The walk reads the markers and lengths only, not the segments between them (a depth
    // photo's extended XMP, hundreds of KiB), and then the MPF segment itself; a header longer
    // than kMpfHeadLimit is no header.
    FileBlocks blocks(file, std::min(fileSize, kMpfHeadLimit));
    const std::int64_t lengthAt = FindMpfSegment(blocks, fileSize);
    if (lengthAt < 0) return index;
    const std::size_t length = std::size_t{blocks.At(lengthAt)} << 8 | blocks.At(lengthAt + 1);
    std::vector<std::uint8_t> segment(length);
    file.ReadAt(lengthAt, segment.data(), segment.size());
    ReadMpfSegment(segment, lengthAt, fileSize, index);
    CheckMpfImageStarts(index, [&](std::int64_t start) {
        std::uint8_t first[3];
        if (start > fileSize - 3) return false;
        file.ReadAt(start, first, sizeof first);
        return BeginsJpegAt(first, 0);
    });
    return index;
}

bool ListsStereoSet(const MpfIndex& index) {
    return std::any_of(index.entries.begin(), index.entries.end(), [](const MpfEntry& entry) {
        const std::uint32_t type = entry.attribute & kMpTypeMask;
        return type == kMpTypeDisparity || type == kMpTypeMultiAngle;
    });
}

std::string MpfTypeName(std::uint32_t attribute) {
    switch (attribute & kMpTypeMask) {
        case kMpTypeBaselinePrimary: return "Baseline MP Primary Image";
        case kMpTypeLargeThumbnailVga: return "Large Thumbnail (VGA equivalent)";
        case kMpTypeLargeThumbnailFullHd: return "Large Thumbnail (Full HD equivalent)";
        case kMpTypePanorama: return "Multi-Frame Panorama";
        case kMpTypeDisparity: return "Multi-Frame Disparity";
        case kMpTypeMultiAngle: return "Multi-Frame Multi-Angle";
        case kMpTypeUndefined: return "Undefined";
        default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "Unknown type 0x%06X", static_cast<unsigned>(attribute & kMpTypeMask));
    return text;
}

std::string MpfFlagsText(std::uint32_t attribute) {
    std::string text;
    auto add = [&](const std::string& word) { text += (text.empty() ? "" : ", ") + word; };
    if (attribute & kMpRepresentativeFlag) add("representative");
    if (attribute & (1u << 31)) add("dependent parent");
    if (attribute & (1u << 30)) add("dependent child");
    const std::uint32_t format = (attribute >> 24) & 7u;
    if (format != 0) add("format " + std::to_string(format));
    return text.empty() ? "none" : text;
}

}  // namespace veltrane
