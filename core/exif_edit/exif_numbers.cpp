// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exif_edit/exif_numbers.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace veltrane {
namespace {

constexpr std::size_t kTiffStart = 6;  // after "Exif\0\0"
constexpr std::size_t kEntrySize = 12;
constexpr std::uint16_t kAscii = 2, kShort = 3, kLong = 4, kIfd = 13;
constexpr std::uint16_t kExifIfdPointer = 0x8769;

// The TIFF structure of a payload: byte order and bounds-checked reads at TIFF offsets.
class Tiff {
public:
    explicit Tiff(std::span<const std::uint8_t> payload) {
        if (!IsExifPayload(payload) || payload.size() < kTiffStart + 8) return;
        bytes_ = payload.subspan(kTiffStart);
        if (bytes_[0] == 'M' && bytes_[1] == 'M') big_ = true;
        else if (bytes_[0] != 'I' || bytes_[1] != 'I') return;
        valid_ = Number(2, 2) == 42;
    }
    bool Valid() const { return valid_; }
    bool BigEndian() const { return big_; }
    bool Has(std::size_t offset, std::size_t n) const { return offset <= bytes_.size() && n <= bytes_.size() - offset; }
    // n bytes at offset as a number; the caller has checked Has(offset, n).
    std::uint32_t Number(std::size_t offset, std::size_t n) const {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v = (v << 8) | bytes_[offset + (big_ ? i : n - 1 - i)];
        return v;
    }

    // The TIFF offset of tag's entry in the IFD at ifd, when the whole IFD lies in the payload.
    std::optional<std::size_t> EntryOf(std::size_t ifd, std::uint16_t tag) const {
        if (!Has(ifd, 2)) return std::nullopt;
        const std::size_t count = Number(ifd, 2);
        if (!Has(ifd + 2, count * kEntrySize)) return std::nullopt;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = ifd + 2 + i * kEntrySize;
            if (Number(entry, 2) == tag) return entry;
        }
        return std::nullopt;
    }

    // The TIFF offset of the directory's entry for tag.
    std::optional<std::size_t> Locate(ExifDirectory directory, std::uint16_t tag) const {
        if (!valid_) return std::nullopt;
        std::size_t ifd = Number(4, 4);
        if (directory == ExifDirectory::Exif) {
            const auto pointer = EntryOf(ifd, kExifIfdPointer);
            if (!pointer) return std::nullopt;
            const std::uint32_t type = Number(*pointer + 2, 2);
            if ((type != kLong && type != kIfd) || Number(*pointer + 4, 4) != 1) return std::nullopt;
            ifd = Number(*pointer + 8, 4);
        }
        return EntryOf(ifd, tag);
    }

    // The entry's field size (2 for a SHORT, 4 for a LONG) when it holds one of them.
    std::size_t SingleNumberSize(std::size_t entry) const {
        if (Number(entry + 4, 4) != 1) return 0;
        const std::uint32_t type = Number(entry + 2, 2);
        return type == kShort ? 2 : type == kLong ? 4 : 0;
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool big_ = false;
    bool valid_ = false;
};

}  // namespace

bool IsExifPayload(std::span<const std::uint8_t> payload) {
    return payload.size() >= kTiffStart && std::memcmp(payload.data(), "Exif\0\0", kTiffStart) == 0;
}

std::optional<std::uint32_t> ReadExifNumber(std::span<const std::uint8_t> payload, ExifDirectory directory,
                                            std::uint16_t tag) {
    const Tiff tiff(payload);
    const auto entry = tiff.Locate(directory, tag);
    if (!entry) return std::nullopt;
    const std::size_t size = tiff.SingleNumberSize(*entry);
    if (size == 0) return std::nullopt;
    return tiff.Number(*entry + 8, size);
}

std::optional<std::string> ReadExifText(std::span<const std::uint8_t> payload, ExifDirectory directory,
                                        std::uint16_t tag) {
    const Tiff tiff(payload);
    const auto entry = tiff.Locate(directory, tag);
    if (!entry || tiff.Number(*entry + 2, 2) != kAscii) return std::nullopt;
    const std::size_t count = tiff.Number(*entry + 4, 4);
    // Up to four bytes sit in the value field itself, longer texts at the offset it holds.
    const std::size_t at = count <= 4 ? *entry + 8 : tiff.Number(*entry + 8, 4);
    if (!tiff.Has(at, count)) return std::nullopt;
    const auto* text = payload.data() + kTiffStart + at;
    std::string value(text, text + count);
    value.resize(std::min(value.find('\0'), value.size()));
    while (!value.empty() && value.back() == ' ') value.pop_back();
    return value;
}

bool WriteExifNumber(std::span<std::uint8_t> payload, ExifDirectory directory, std::uint16_t tag,
                     std::uint32_t value) {
    const Tiff tiff(payload);
    const auto entry = tiff.Locate(directory, tag);
    if (!entry) return false;
    const std::size_t size = tiff.SingleNumberSize(*entry);
    if (size == 0 || (size == 2 && value > 0xFFFF)) return false;
    // The value field lies inside the directory, which Locate found whole in the payload.
    std::uint8_t* field = payload.data() + kTiffStart + *entry + 8;
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t shift = 8 * (tiff.BigEndian() ? size - 1 - i : i);
        field[i] = static_cast<std::uint8_t>(value >> shift);
    }
    return true;
}

}  // namespace veltrane
