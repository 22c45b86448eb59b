// SPDX-License-Identifier: GPL-3.0-or-later
// The marker segments of the output: the left image's EXIF with its pixel size updated, and
// the JPS descriptor.
#include <span>
#include <string_view>

#include "core/exif/byte_reader.h"
#include "core/exif/exif_error.h"
#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {

std::vector<std::uint8_t> JpsSegment(bool leftFieldFirst) { return JpsSegment(2, leftFieldFirst ? 0x04 : 0x00); }

std::vector<std::uint8_t> JpsSegment(int layout, int flags) {
    //  8 bytes  "_JPSJPS_"
    //  2 bytes  block length, big-endian: 4
    //  1 byte   separation (0)
    //  1 byte   flags: bit 0 half height, bit 1 half width, bit 2 left field first
    //  1 byte   layout: 2 = side by side, 3 = over/under
    //  1 byte   type: 1 = stereo
    //  2 bytes  comment length: 0
    std::vector<std::uint8_t> s = {'_', 'J', 'P', 'S', 'J', 'P', 'S', '_', 0, 4, 0};
    s.push_back(static_cast<std::uint8_t>(flags));
    s.insert(s.end(), {static_cast<std::uint8_t>(layout), 1, 0, 0});
    return s;
}

namespace {

// Writes value into the count-1 SHORT or LONG entry at TIFF offset entry (the TIFF data starts
// at tiffStart of app1).
void PatchEntryValue(const exif::ByteReader& tiff, std::vector<std::uint8_t>& app1, std::size_t tiffStart,
                     std::int64_t entry, std::uint32_t value) {
    const std::uint16_t type = tiff.U16(entry + 2);
    if (tiff.U32(entry + 4) != 1) return;
    const std::size_t at = tiffStart + static_cast<std::size_t>(entry) + 8;
    if (type == 3 && value <= 0xFFFF) {
        tiff.U16(entry + 8);  // bounds
        app1[at] = static_cast<std::uint8_t>(tiff.BigEndian() ? value >> 8 : value);
        app1[at + 1] = static_cast<std::uint8_t>(tiff.BigEndian() ? value : value >> 8);
    } else if (type == 4) {
        tiff.U32(entry + 8);
        for (int i = 0; i < 4; ++i) {
            const int shift = tiff.BigEndian() ? 24 - 8 * i : 8 * i;
            app1[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> shift);
        }
    }
}

}  // namespace

void PatchExifDimensions(std::vector<std::uint8_t>& app1, std::uint32_t width, std::uint32_t height) {
    //  6 bytes  "Exif\0\0"
    //  2 bytes  "II" or "MM"      <- TIFF offsets count from here
    //  2 bytes  42
    //  4 bytes  offset of IFD0, whose tag 8769 points to the EXIF directory
    //  directory: 2-byte count, then 12-byte entries (tag, type, count, value or offset)
    constexpr std::size_t kTiffStart = 6;
    if (app1.size() < kTiffStart + 8) return;
    exif::ByteOrder order = exif::ByteOrder::LittleEndian;
    if (app1[kTiffStart] == 'M' && app1[kTiffStart + 1] == 'M') order = exif::ByteOrder::BigEndian;
    else if (app1[kTiffStart] != 'I' || app1[kTiffStart + 1] != 'I') return;
    const exif::ByteReader tiff(std::span<const std::uint8_t>(app1).subspan(kTiffStart), order);
    // The offset of the entry of tag in the directory at ifdOffset, or -1.
    auto findEntry = [&](std::int64_t ifdOffset, std::uint32_t tag) -> std::int64_t {
        const std::uint32_t count = tiff.U16(ifdOffset);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::int64_t entry = ifdOffset + 2 + 12 * static_cast<std::int64_t>(i);
            if (tiff.U16(entry) == tag) return entry;
        }
        return -1;
    };
    try {
        const std::int64_t ifd0 = tiff.U32(4);
        const std::int64_t exifPointer = findEntry(ifd0, 0x8769);
        if (exifPointer < 0) return;
        const std::int64_t exifIfd = tiff.U32(exifPointer + 8);
        for (const auto& [tag, value] : {std::pair{0xA002u, width}, std::pair{0xA003u, height}}) {
            const std::int64_t entry = findEntry(exifIfd, tag);
            if (entry >= 0) PatchEntryValue(tiff, app1, kTiffStart, entry, value);
        }
    } catch (const exif::ExifError&) {
        // A damaged directory keeps its values: the segment is copied as it was.
    }
}

}  // namespace veltrane::stereo
