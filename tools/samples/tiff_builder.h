// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds TIFF structures in either byte order, for sample files and for tests that need
// well-formed or deliberately broken EXIF data.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrane::samples {

using Bytes = std::vector<std::uint8_t>;

enum class ByteOrder { Little, Big };

// Field types of TIFF 6.0.
enum FieldType : std::uint16_t {
    kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSByte = 6, kUndefined = 7,
    kSShort = 8, kSLong = 9, kSRational = 10, kFloat = 11, kDouble = 12
};

class TiffBuilder {
public:
    explicit TiffBuilder(ByteOrder order = ByteOrder::Little);

    ByteOrder Order() const { return order_; }
    // Adds an empty directory and returns its number; directory 0 is the first directory.
    int AddIfd();

    // Entries are written in the order they are added (callers add them in tag order).
    void Ascii(int ifd, std::uint16_t tag, std::string_view text);  // adds the final NUL
    void Byte(int ifd, std::uint16_t tag, std::initializer_list<std::uint8_t> values);
    void Short(int ifd, std::uint16_t tag, std::initializer_list<std::uint16_t> values);
    void Long(int ifd, std::uint16_t tag, std::initializer_list<std::uint32_t> values);
    void Rational(int ifd, std::uint16_t tag,
                  std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> values);
    void SRational(int ifd, std::uint16_t tag,
                   std::initializer_list<std::pair<std::int32_t, std::int32_t>> values);
    void Undefined(int ifd, std::uint16_t tag, const Bytes& bytes);
    // Any entry: type and count as given, value bytes as given (already in the file's order).
    void Raw(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count, const Bytes& value);
    // A LONG entry whose value is the offset of directory target (ExifOffset, GPSInfo, ...).
    void Link(int ifd, std::uint16_t tag, int target);

    // "II*\0" or "MM\0*", the offset 8 of the first directory, the directories in order (each
    // followed by a zero next-directory link), then the values that do not fit in an entry.
    Bytes Build() const;

    Bytes U16(std::uint16_t v) const;
    Bytes U32(std::uint32_t v) const;

private:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        Bytes value;
        int link = -1;
    };
    ByteOrder order_;
    std::vector<std::vector<Entry>> ifds_;
};

// An APP1 segment: FF E1, the big-endian length, "Exif\0\0" and the TIFF bytes.
Bytes ExifApp1Segment(const Bytes& tiff);

}  // namespace veltrane::samples
