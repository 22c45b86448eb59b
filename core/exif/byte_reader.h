// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ByteReader: numbers read from a byte string in its byte order, at 0-based offsets.
//
// TIFF data stores its numbers little-endian ("II") or big-endian ("MM"). A reader over the TIFF
// data of a file takes offsets exactly as the data states them: offset 0 is the first byte of
// the byte-order mark. The directory walk, the maker-note walk and the stereo module's EXIF
// patch read through it.
#include <cstdint>
#include <span>
#include <string_view>

namespace veltrane::exif {

enum class ByteOrder : std::uint8_t {
    LittleEndian,  // "II"
    BigEndian      // "MM"
};

// The bytes of a text as bytes, and bytes as a text (the same memory, no copy).
inline std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
inline std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

class ByteReader {
public:
    ByteReader() = default;
    // A reader of bytes whose first byte lies at offset firstOffset. Offsets below it name
    // bytes the reader does not hold: a TIFF file's reader holds the data after the 8-byte
    // header, so its first offset is 8. The bytes are a view: whoever makes the reader keeps
    // them alive and unchanged while it is used.
    ByteReader(std::span<const std::uint8_t> bytes, ByteOrder order, std::int64_t firstOffset = 0)
        : bytes_(bytes), order_(order), firstOffset_(firstOffset) {}

    ByteOrder Order() const { return order_; }
    bool BigEndian() const { return order_ == ByteOrder::BigEndian; }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }
    std::int64_t FirstOffset() const { return firstOffset_; }
    // The offset just past the last byte held.
    std::int64_t EndOffset() const { return firstOffset_ + static_cast<std::int64_t>(bytes_.size()); }

    // True when all n bytes from offset lie among the bytes held. Never wraps, whatever the
    // arguments (negative ones included).
    bool Holds(std::int64_t offset, std::int64_t n) const {
        if (offset < firstOffset_ || n < 0) return false;
        const auto at = static_cast<std::uint64_t>(offset - firstOffset_);
        const std::uint64_t size = bytes_.size();
        return at <= size && static_cast<std::uint64_t>(n) <= size - at;
    }

    // The 16-bit and 32-bit numbers at offset in the reader's byte order. A number whose bytes
    // are not all held reads nothing and raises ExifError(kReadBeyondBuffer); callers treat
    // that as any other error at that point of their walk.
    std::uint16_t U16(std::int64_t offset) const {
        const std::uint8_t* p = At(offset, 2);
        const unsigned a = p[0], b = p[1];
        return static_cast<std::uint16_t>(BigEndian() ? (a << 8 | b) : (b << 8 | a));
    }
    std::uint32_t U32(std::int64_t offset) const {
        const std::uint8_t* p = At(offset, 4);
        const std::uint32_t a = p[0], b = p[1], c = p[2], d = p[3];
        return BigEndian() ? (a << 24 | b << 16 | c << 8 | d) : (d << 24 | c << 16 | b << 8 | a);
    }

    // The bytes held of [offset, offset + n), as a text: bytes before the first or after the
    // last byte held are simply missing (the result is shorter, possibly empty). n must not
    // exceed 2^40, nor offset lie beyond 2^40 either way.
    std::string_view Clipped(std::int64_t offset, std::int64_t n) const;

private:
    // The first of the n bytes at offset; raises when they are not all held.
    const std::uint8_t* At(std::int64_t offset, std::int64_t n) const {
        if (!Holds(offset, n)) ReadBeyondBuffer();
        return bytes_.data() + (offset - firstOffset_);
    }
    [[noreturn]] static void ReadBeyondBuffer();

    std::span<const std::uint8_t> bytes_;
    ByteOrder order_ = ByteOrder::LittleEndian;
    std::int64_t firstOffset_ = 0;
};

// Folds the whole of raw into one number in the given byte order (64-bit accumulator, low 32
// bits returned as a signed number); for more than four bytes only the four least significant
// ones count. The empty string gives 0. Never raises.
std::int32_t RawToInteger(ByteOrder order, std::string_view raw);

}  // namespace veltrane::exif
