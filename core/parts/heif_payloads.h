// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the file-level boxes of a HEIF file hold besides the image items: the MP4 of a motion
// photo's 'mpvd' box and the Samsung trailer of a 'sefd' box (or the one nested after that MP4).
// Both are read through a ByteSource, bounded by the byte range of their box.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/heif_boxes/heif_structure.h"

namespace veltrane {
class InputFile;
}

namespace veltrane::parts::heif_payloads {

// Bytes of the file looked at, in memory or on disk. Read is only ever asked for bytes inside
// Size().
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    virtual void Read(std::uint64_t position, std::uint8_t* out, std::size_t n) = 0;
};

class SpanByteSource final : public ByteSource {
public:
    explicit SpanByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    void Read(std::uint64_t position, std::uint8_t* out, std::size_t n) override;

private:
    std::span<const std::uint8_t> bytes_;
};

class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(InputFile& file);
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t position, std::uint8_t* out, std::size_t n) override;

private:
    InputFile& file_;
    std::uint64_t size_;
};

// The top-level boxes of an MP4 or QuickTime file from begin on, as far as they are whole boxes
// (four printable characters as type, inside the range): end is where the last of them ends
// (begin when the first box is no 'ftyp'), brand the major brand of its 'ftyp'.
struct MovieExtent {
    std::uint64_t end = 0;
    heif_boxes::FourCc brand = 0;
};
MovieExtent WalkMovieBoxes(ByteSource& source, std::uint64_t begin, std::uint64_t end);

// Samsung's trailer, at the end of a byte range (all numbers little-endian):
//
//   records ...         each: u16 0, u16 type, u32 name length, the name, the data
//   "SEFH"              the directory
//   u32 version
//   u32 record count
//   per record (12 bytes): u16 0, u16 type, u32 offset back from "SEFH" to the record,
//                          u32 size of the record (its header and name included)
//   u32 directory size  from "SEFH" to the end of the entries
//   "SEFT"
struct SamsungRecord {
    std::uint16_t type = 0;
    std::string name;
    std::uint64_t dataOffset = 0;  // file positions
    std::uint64_t dataLength = 0;
};
struct SamsungTrailer {
    std::uint64_t start = 0;  // the first byte of the trailer: its first record or its directory
    std::vector<SamsungRecord> records;
};
// The trailer that ends [begin, end), or nothing when the range does not end with "SEFT".
// Records that lie outside the range are left out with a line in problems, as is a directory
// that does not fit.
std::optional<SamsungTrailer> ReadSamsungTrailer(ByteSource& source, std::uint64_t begin, std::uint64_t end,
                                                 std::vector<std::string>& problems);

}  // namespace veltrane::parts::heif_payloads
