// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads and sets single numbers of an EXIF segment in place: the pixel sizes and the
// orientation that a lossless rotation or crop changes. Nothing is moved, added or removed; a
// value is set only where its tag already holds one SHORT or LONG, so every offset of the
// segment stays valid and the rest of it (maker notes, thumbnail) is left byte for byte.
//
//   APP1 payload (the bytes after the segment's length field):
//   +0   "Exif\0\0"
//   +6   "II" (little-endian) or "MM" (big-endian), 42 (2 bytes), offset of IFD0 (4 bytes):
//        the TIFF header, from which every offset counts
//   IFD  count (2 bytes), count entries of 12 bytes, offset of the next IFD (4 bytes)
//        entry: tag (2), type (2: 3 SHORT, 4 LONG, 13 IFD), count (4), value or offset (4);
//        a value of up to four bytes sits in the value field itself, from its first byte
//   IFD0 holds ImageWidth 0100, ImageLength 0101, Orientation 0112 and ExifIFDPointer 8769,
//   the offset of the EXIF IFD, which holds PixelXDimension A002 and PixelYDimension A003.
//
// Every read is checked against the payload's bounds; a payload that is no EXIF payload, or
// whose structures lie outside it, has no numbers and is never changed.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace veltrane {

enum class ExifDirectory { Ifd0, Exif };

inline constexpr std::uint16_t kExifImageWidth = 0x0100, kExifImageLength = 0x0101, kExifOrientation = 0x0112,
                               kExifPixelXDimension = 0xA002, kExifPixelYDimension = 0xA003;

// Whether payload begins "Exif\0\0".
bool IsExifPayload(std::span<const std::uint8_t> payload);

// The number of tag in the directory when the tag holds exactly one SHORT or LONG.
std::optional<std::uint32_t> ReadExifNumber(std::span<const std::uint8_t> payload, ExifDirectory directory,
                                            std::uint16_t tag);

// The text of an ASCII tag (Make 010F, Model 0110) up to its first zero byte, trailing spaces
// removed.
std::optional<std::string> ReadExifText(std::span<const std::uint8_t> payload, ExifDirectory directory,
                                        std::uint16_t tag);

// Sets that number to value, in the payload's byte order. False, and nothing changed, when the
// tag holds no single SHORT or LONG there or value does not fit a SHORT.
bool WriteExifNumber(std::span<std::uint8_t> payload, ExifDirectory directory, std::uint16_t tag,
                     std::uint32_t value);

}  // namespace veltrane
