// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bounded reading of box payloads: a cursor over a byte range that knows where that range lies
// in the file, and the walk over the boxes of a container. Shared by the structure reader and
// the entity-group writer; every read past the range raises HeifFormatError naming the box.
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/heif_boxes/heif_structure.h"

namespace veltrane::heif_boxes {

// Big-endian fields read one after the other from a byte range.
class BoxCursor {
public:
    BoxCursor(std::span<const std::uint8_t> bytes, std::uint64_t filePosition, FourCc box)
        : bytes_(bytes), filePosition_(filePosition), box_(box) {}

    std::uint64_t Left() const { return bytes_.size() - pos_; }
    std::uint64_t FilePosition() const { return filePosition_ + pos_; }
    FourCc Box() const { return box_; }

    std::uint8_t U8() { return static_cast<std::uint8_t>(Unsigned(1)); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Unsigned(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Unsigned(4)); }
    std::uint64_t U64() { return Unsigned(8); }
    // An unsigned number of size bytes (0 to 8); size 0 reads nothing and gives 0.
    std::uint64_t Unsigned(unsigned size);
    // A string ending in a zero byte; a string that runs to the end of the range is taken whole.
    std::string CString();
    void Skip(std::uint64_t n);
    std::span<const std::uint8_t> Take(std::uint64_t n);
    std::span<const std::uint8_t> Rest() { return Take(Left()); }
    // Fails unless count entries of at least entrySize bytes each can still follow.
    void RequireEntries(std::uint64_t count, std::uint64_t entrySize, const char* what) const;

    [[noreturn]] void Fail(const std::string& cause) const;

private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t filePosition_;
    std::size_t pos_ = 0;
    FourCc box_;
};

// A box found in a container: its type, its place in the file and its payload (after the
// header; a full box's version and flags are part of the payload).
struct BoxView {
    FourCc type = 0;
    HeifBoxSpan span;
    std::span<const std::uint8_t> payload;
    std::uint64_t payloadPosition = 0;  // file position of payload[0]
    std::span<const std::uint8_t> usertype;  // the 16 bytes after a 'uuid' box's type, else empty
};

// Calls visit for each box in bytes (which start at file position filePosition), in order.
// A box whose size is 0 runs to the end of bytes. Stops early when visit returns false.
// Raises HeifFormatError for a header cut short, a size smaller than its header or a box that
// runs past the container, and for more than maxBoxes boxes.
void ForEachBox(std::span<const std::uint8_t> bytes, std::uint64_t filePosition, FourCc container,
                const std::function<bool(const BoxView&)>& visit, std::uint64_t maxBoxes = 1u << 20);

// Parses a box header from the first bytes of head (at least 8, up to 32 are looked at);
// boxSpace is how many bytes the container has left from there. Returns the header size.
HeifBoxSpan ParseBoxHeader(std::span<const std::uint8_t> head, std::uint64_t boxSpace, std::uint64_t filePosition,
                           FourCc container, FourCc& type);

}  // namespace veltrane::heif_boxes
