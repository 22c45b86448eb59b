// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/samples/mpf_writer.h"

#include <stdexcept>

#include "tools/samples/jpeg_writer.h"

namespace veltrane::samples {
namespace {

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// Where the APP2 segment goes into the first image: after its first APP0 or APP1 segment.
std::size_t IndexInsertionPoint(const Bytes& image) {
    if (image.size() < 6 || image[0] != 0xFF || image[1] != 0xD8)
        throw std::invalid_argument("the first image does not begin FF D8");
    if (image[2] == 0xFF && (image[3] == 0xE0 || image[3] == 0xE1))
        return 4 + (std::size_t{image[4]} << 8 | image[5]);
    return 2;
}

}  // namespace

Bytes JfifApp0Segment() {
    return {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
}

Bytes MpfApp2Segment(const std::vector<MpEntry>& entries, const MpfOptions& options) {
    std::vector<MpEntry> written = entries;
    auto count = static_cast<std::uint32_t>(entries.size());
    if (options.edit) options.edit(written, count);
    const TiffBuilder t(options.order);
    // "II*\0" or "MM\0*", the IFD offset, padding up to the IFD; three entries and a zero link;
    // then the MP entries.
    Bytes tiff = options.order == ByteOrder::Little ? Bytes{'I', 'I', 42, 0} : Bytes{'M', 'M', 0, 42};
    Append(tiff, t.U32(options.ifdOffset));
    tiff.resize(options.ifdOffset, 0);
    const std::uint32_t listOffset = options.ifdOffset + 2 + 3 * 12 + 4;
    Append(tiff, t.U16(3));
    Append(tiff, t.U16(0xB000));
    Append(tiff, t.U16(kUndefined));
    Append(tiff, t.U32(4));
    Append(tiff, {'0', '1', '0', '0'});
    Append(tiff, t.U16(0xB001));
    Append(tiff, t.U16(kLong));
    Append(tiff, t.U32(1));
    Append(tiff, t.U32(count));
    Append(tiff, t.U16(0xB002));
    Append(tiff, t.U16(kUndefined));
    Append(tiff, t.U32(static_cast<std::uint32_t>(written.size() * 16)));
    Append(tiff, t.U32(listOffset));
    Append(tiff, t.U32(0));
    for (const MpEntry& e : written) {
        Append(tiff, t.U32(e.attribute));
        Append(tiff, t.U32(e.size));
        Append(tiff, t.U32(e.offset));
        Append(tiff, t.U16(e.dependent1));
        Append(tiff, t.U16(e.dependent2));
    }
    const std::size_t length = 2 + 4 + tiff.size();
    if (length > 0xFFFF) throw std::invalid_argument("too many entries for one APP2 segment");
    Bytes segment = {0xFF, 0xE2, std::uint8_t(length >> 8), std::uint8_t(length), 'M', 'P', 'F', 0};
    Append(segment, tiff);
    return segment;
}

Bytes SampleJfifImage(int eye) {
    const SampleExif size;
    return BaselineJpeg(static_cast<int>(size.width), static_cast<int>(size.height),
                        StereoPainter(eye, size), JfifApp0Segment());
}

Bytes IndexedMpo(const std::vector<Bytes>& images, const MpfOptions& options) {
    if (images.empty()) throw std::invalid_argument("an MPO file needs an image");
    std::vector<MpEntry> entries(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        entries[i].attribute = i == 0 ? kMpPrimary : kMpDisparity;
        entries[i].size = static_cast<std::uint32_t>(images[i].size());
    }
    // The segment's length does not depend on the offsets: size it first, then fill them in.
    const std::size_t at = IndexInsertionPoint(images[0]);
    const std::size_t segmentLength = MpfApp2Segment(entries, options).size();
    const std::size_t base = at + 8;  // after FF E2, the length and "MPF\0"
    entries[0].size = static_cast<std::uint32_t>(images[0].size() + segmentLength);
    std::size_t start = images[0].size() + segmentLength;
    for (std::size_t i = 1; i < images.size(); ++i) {
        entries[i].offset = static_cast<std::uint32_t>(start - base);
        start += images[i].size();
    }
    Bytes out(images[0].begin(), images[0].begin() + static_cast<std::ptrdiff_t>(at));
    Append(out, MpfApp2Segment(entries, options));
    out.insert(out.end(), images[0].begin() + static_cast<std::ptrdiff_t>(at), images[0].end());
    for (std::size_t i = 1; i < images.size(); ++i) Append(out, images[i]);
    return out;
}

}  // namespace veltrane::samples
