// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exif/byte_reader.h"

#include <algorithm>

#include "core/exif/exif_error.h"

namespace veltrane::exif {

void ByteReader::ReadBeyondBuffer() { throw ExifError(kReadBeyondBuffer); }

std::string_view ByteReader::Clipped(std::int64_t offset, std::int64_t n) const {
    const std::int64_t from = std::max(offset, firstOffset_);
    const std::int64_t to = std::min(offset + n, EndOffset());  // both below 2^41: no overflow
    if (from >= to) return {};
    return AsText(
        bytes_.subspan(static_cast<std::size_t>(from - firstOffset_), static_cast<std::size_t>(to - from)));
}

std::int32_t RawToInteger(ByteOrder order, std::string_view raw) {
    // The accumulator may overflow for long strings; unsigned arithmetic wraps, which keeps
    // exactly the four least significant bytes that the result is made of.
    std::uint64_t acc = 0;
    if (order == ByteOrder::BigEndian) {
        for (char c : raw) acc = acc * 256 + static_cast<unsigned char>(c);
    } else {
        for (std::size_t k = raw.size(); k-- > 0;) acc = acc * 256 + static_cast<unsigned char>(raw[k]);
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(acc & 0xFFFFFFFFu));
}

}  // namespace veltrane::exif
