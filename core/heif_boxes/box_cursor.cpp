// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/heif_boxes/box_cursor.h"

namespace veltrane::heif_boxes {

namespace {
constexpr FourCc kUuid = MakeFourCc("uuid");
}

std::string FourCcText(FourCc code) {
    std::string text(4, '?');
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(code >> (24 - 8 * i));
        if (c >= 0x20 && c < 0x7F) text[static_cast<std::size_t>(i)] = static_cast<char>(c);
    }
    return text;
}

void BoxCursor::Fail(const std::string& cause) const {
    // Box 0 is the file itself, whose own boxes name themselves in the cause.
    throw HeifFormatError(box_ == 0 ? cause : "box '" + FourCcText(box_) + "': " + cause);
}

std::uint64_t BoxCursor::Unsigned(unsigned size) {
    if (size > 8) Fail("field of " + std::to_string(size) + " bytes");
    if (Left() < size) Fail("cut short");
    std::uint64_t value = 0;
    for (unsigned i = 0; i < size; ++i) value = (value << 8) | bytes_[pos_ + i];
    pos_ += size;
    return value;
}

std::string BoxCursor::CString() {
    std::string text;
    while (pos_ < bytes_.size()) {
        const auto c = bytes_[pos_++];
        if (c == 0) break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

void BoxCursor::Skip(std::uint64_t n) {
    if (Left() < n) Fail("cut short");
    pos_ += static_cast<std::size_t>(n);
}

std::span<const std::uint8_t> BoxCursor::Take(std::uint64_t n) {
    if (Left() < n) Fail("cut short");
    const auto part = bytes_.subspan(pos_, static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(n);
    return part;
}

void BoxCursor::RequireEntries(std::uint64_t count, std::uint64_t entrySize, const char* what) const {
    if (entrySize != 0 && count > Left() / entrySize)
        Fail(std::to_string(count) + " " + what + " do not fit in its " + std::to_string(Left()) + " bytes");
}

HeifBoxSpan ParseBoxHeader(std::span<const std::uint8_t> head, std::uint64_t boxSpace, std::uint64_t filePosition,
                           FourCc container, FourCc& type) {
    BoxCursor c(head, filePosition, container);
    if (boxSpace < 8 || c.Left() < 8) c.Fail("a box header is cut short at offset " + std::to_string(filePosition));
    HeifBoxSpan span;
    span.offset = filePosition;
    span.size = c.U32();
    type = c.U32();
    span.headerSize = 8;
    if (span.size == 1) {
        if (boxSpace < 16) c.Fail("a box header is cut short at offset " + std::to_string(filePosition));
        span.size = c.U64();
        span.headerSize = 16;
        span.largeSize = true;
    } else if (span.size == 0) {
        span.size = boxSpace;
    }
    if (type == kUuid) span.headerSize += 16;
    const std::string name = "box '" + FourCcText(type) + "' at offset " + std::to_string(filePosition);
    if (span.size < span.headerSize) c.Fail(name + " is smaller than its header");
    if (span.size > boxSpace) c.Fail(name + (container == 0 ? " runs past the end of the file" : " runs past the end of its container"));
    return span;
}

void ForEachBox(std::span<const std::uint8_t> bytes, std::uint64_t filePosition, FourCc container,
                const std::function<bool(const BoxView&)>& visit, std::uint64_t maxBoxes) {
    std::uint64_t pos = 0, count = 0;
    while (pos < bytes.size()) {
        if (++count > maxBoxes) BoxCursor(bytes, filePosition, container).Fail("holds too many boxes");
        BoxView box;
        const auto rest = bytes.subspan(static_cast<std::size_t>(pos));
        box.span = ParseBoxHeader(rest, rest.size(), filePosition + pos, container, box.type);
        box.payload = rest.subspan(box.span.headerSize, static_cast<std::size_t>(box.span.size - box.span.headerSize));
        box.payloadPosition = filePosition + pos + box.span.headerSize;
        if (box.type == kUuid) box.usertype = rest.subspan(box.span.headerSize - 16, 16);
        if (!visit(box)) return;
        pos += box.span.size;
    }
}

}  // namespace veltrane::heif_boxes
