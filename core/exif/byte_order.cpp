#include "core/exif/byte_order.h"

#include "core/exif/exif_error.h"

namespace veltrane::exif {
namespace {

// The 0-based index of 1-based position pos when n bytes from there lie inside a buffer of
// size bytes; raises otherwise. Written so that no sum can wrap.
std::size_t CheckedIndex(std::int64_t pos, std::size_t n, std::size_t size) {
    if (pos < 1) throw ExifError(kReadBeyondBuffer);
    const std::uint64_t index = static_cast<std::uint64_t>(pos - 1);
    if (index > size || n > size - index) throw ExifError(kReadBeyondBuffer);
    return static_cast<std::size_t>(index);
}

std::uint32_t ByteAt(std::string_view buffer, std::size_t i) {
    return static_cast<unsigned char>(buffer[i]);
}

}  // namespace

std::uint32_t tEndInd::ReadUInt16At(std::int64_t pos) const {
    const std::size_t i = CheckedIndex(pos, 2, WorkBuffer.size());
    const std::uint32_t a = ByteAt(WorkBuffer, i), b = ByteAt(WorkBuffer, i + 1);
    return BigEndian ? (a << 8 | b) : (b << 8 | a);
}

std::uint32_t tEndInd::ReadUInt32At(std::int64_t pos) const {
    const std::size_t i = CheckedIndex(pos, 4, WorkBuffer.size());
    std::uint32_t v = 0;
    if (BigEndian) {
        for (std::size_t k = 0; k < 4; ++k) v = v << 8 | ByteAt(WorkBuffer, i + k);
    } else {
        for (std::size_t k = 4; k-- > 0;) v = v << 8 | ByteAt(WorkBuffer, i + k);
    }
    return v;
}

std::int32_t tEndInd::RawToInteger(std::string_view raw) const {
    // The accumulator may overflow for long strings; unsigned arithmetic wraps, which keeps
    // exactly the four least significant bytes that the result is made of.
    std::uint64_t acc = 0;
    if (BigEndian) {
        for (char c : raw) acc = acc * 256 + static_cast<unsigned char>(c);
    } else {
        for (std::size_t k = raw.size(); k-- > 0;) acc = acc * 256 + static_cast<unsigned char>(raw[k]);
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(acc & 0xFFFFFFFFu));
}

}  // namespace veltrane::exif
