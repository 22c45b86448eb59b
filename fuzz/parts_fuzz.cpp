// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the part finder as a whole file (its first image at offset 0): the
// container directory, the MicroVideo tags, Samsung's trailer and the XMP data must never be
// read outside the bytes, and every part found must lie inside them. The XMP reader and the
// base64 decoder also get the bytes as text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/images/image_index.h"
#include "core/mpo/byte_source.h"
#include "core/parts/jpeg_parts.h"
#include "core/parts/samsung_trailer.h"
#include "core/parts/xmp_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    veltrane::MemoryByteSource source(bytes);
    const auto fileSize = static_cast<std::int64_t>(size);

    veltrane::ImageIndex index;
    index.ImageCount = 1;
    index.ImageOffsets[1] = 0;
    index.LastImageEnd = veltrane::parts::LastImageEndBeforeParts(source, index);
    if (index.LastImageEnd > fileSize) __builtin_trap();
    const veltrane::parts::PartList list = veltrane::parts::FindJpegParts(source, index);
    int number = 0;
    for (const veltrane::parts::FilePart& part : list.parts) {
        if (part.number != ++number) __builtin_trap();
        for (const veltrane::parts::ByteRange& r : part.ranges)
            if (r.offset < 0 || r.length < 0 || r.offset + r.length > fileSize) __builtin_trap();
        if (part.InXmp()) {
            std::string problem;
            const auto decoded = veltrane::parts::XmpPartBytes(source, 0, part, problem);
            if (!decoded || static_cast<std::int64_t>(decoded->size()) != part.Length()) __builtin_trap();
        }
    }

    const veltrane::parts::SamsungTrailer trailer = veltrane::parts::ReadSamsungTrailer(source, fileSize);
    for (const veltrane::parts::SamsungRecord& r : trailer.records)
        if (r.start < 0 || r.dataOffset < r.start || r.dataOffset + r.dataLength > fileSize) __builtin_trap();
    // The same bounded by a box's payload (a HEIF file's 'sefd' or 'mpvd'): nothing before it.
    const std::int64_t floor = fileSize / 3, end = fileSize - fileSize / 7;
    const veltrane::parts::SamsungTrailer boxed = veltrane::parts::ReadSamsungTrailer(source, end, floor);
    for (const veltrane::parts::SamsungRecord& r : boxed.records)
        if (r.start < floor || r.dataOffset < r.start || r.dataOffset + r.dataLength > end) __builtin_trap();

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const veltrane::parts::ContainerItem& item : veltrane::parts::ReadContainerDirectory(text).items)
        if (item.lengthBegin > item.lengthEnd || item.lengthEnd > text.size()) __builtin_trap();
    const std::string prefix = veltrane::parts::XmpPrefixOf(text, "http://ns.google.com/photos/1.0/camera/");
    (void)veltrane::parts::XmpPropertyValue(text, prefix.empty() ? "GCamera:MicroVideoOffset" : prefix + ":MicroVideoOffset");
    if (const auto body = veltrane::parts::XmpElementBody(text, "rdf:Seq"))
        for (const std::string_view item : veltrane::parts::XmpListItems(*body))
            if (item.data() < text.data() || item.data() + item.size() > text.data() + text.size()) __builtin_trap();
    std::string problem, lengthProblem;
    const auto decoded = veltrane::parts::DecodeBase64(text, problem);
    const auto length = veltrane::parts::Base64DecodedLength(text, lengthProblem);
    if (decoded.has_value() != length.has_value() || (decoded && static_cast<std::int64_t>(decoded->size()) != *length))
        __builtin_trap();
    return 0;
}
