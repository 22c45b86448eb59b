#include "core/exif/byte_reader.h"

#include <algorithm>

#include "core/exif/exif_error.h"

namespace veltrane::exif {

bool ByteReader::Holds(std::int64_t offset, std::int64_t n) const {
    if (offset < firstOffset_ || n < 0) return false;
    const std::uint64_t at = static_cast<std::uint64_t>(offset - firstOffset_);
    const std::uint64_t size = bytes_.size();
    return at <= size && static_cast<std::uint64_t>(n) <= size - at;
}

std::uint16_t ByteReader::U16(std::int64_t offset) const {
    if (!Holds(offset, 2)) throw ExifError(kReadBeyondBuffer);
    const auto i = static_cast<std::size_t>(offset - firstOffset_);
    const unsigned a = bytes_[i], b = bytes_[i + 1];
    return static_cast<std::uint16_t>(BigEndian() ? (a << 8 | b) : (b << 8 | a));
}

std::uint32_t ByteReader::U32(std::int64_t offset) const {
    if (!Holds(offset, 4)) throw ExifError(kReadBeyondBuffer);
    const auto i = static_cast<std::size_t>(offset - firstOffset_);
    std::uint32_t v = 0;
    if (BigEndian()) {
        for (std::size_t k = 0; k < 4; ++k) v = v << 8 | bytes_[i + k];
    } else {
        for (std::size_t k = 4; k-- > 0;) v = v << 8 | bytes_[i + k];
    }
    return v;
}

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
