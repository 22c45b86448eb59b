// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF number editor on payloads built in either byte order, and on damaged ones: a value is
// read and set only where its tag holds one SHORT or LONG, and nothing outside the value's own
// bytes ever changes.
#include <gtest/gtest.h>

#include <functional>

#include "core/exif_edit/exif_numbers.h"
#include "tools/samples/tiff_builder.h"

namespace veltrane {
namespace {

using samples::Bytes;
using samples::ByteOrder;

// "Exif\0\0" and a TIFF structure: IFD0 with ImageWidth (SHORT), Orientation (SHORT), a LONG
// 0101 of count 2 and the EXIF IFD link; the EXIF IFD with PixelXDimension (LONG) and
// PixelYDimension (SHORT).
Bytes SamplePayload(ByteOrder order) {
    samples::TiffBuilder tiff(order);
    const int ifd0 = tiff.AddIfd(), exif = tiff.AddIfd();
    tiff.Short(ifd0, kExifImageWidth, {640});
    tiff.Long(ifd0, kExifImageLength, {480, 7});
    tiff.Short(ifd0, kExifOrientation, {6});
    tiff.Link(ifd0, 0x8769, exif);
    tiff.Long(exif, kExifPixelXDimension, {640});
    tiff.Short(exif, kExifPixelYDimension, {480});
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    const Bytes bytes = tiff.Build();
    payload.insert(payload.end(), bytes.begin(), bytes.end());
    return payload;
}

TEST(ExifNumbers, ReadsAndSetsSingleShortsAndLongsInBothByteOrders) {
    struct Case {
        ExifDirectory directory;
        std::uint16_t tag;
        std::optional<std::uint32_t> before;
        std::uint32_t value;
        bool set;  // whether the value can be set
    };
    const Case cases[] = {
        {ExifDirectory::Ifd0, kExifImageWidth, 640, 4000, true},
        {ExifDirectory::Ifd0, kExifOrientation, 6, 1, true},
        {ExifDirectory::Exif, kExifPixelXDimension, 640, 70000, true},  // a LONG takes more than 16 bits
        {ExifDirectory::Exif, kExifPixelYDimension, 480, 2992, true},
        {ExifDirectory::Exif, kExifPixelYDimension, 480, 70000, false},  // a SHORT does not
        {ExifDirectory::Ifd0, kExifImageLength, std::nullopt, 100, false},  // two LONGs
        {ExifDirectory::Ifd0, kExifPixelXDimension, std::nullopt, 100, false},  // in the other IFD
        {ExifDirectory::Exif, kExifOrientation, std::nullopt, 1, false},
    };
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.tag) + (order == ByteOrder::Big ? " big-endian" : " little-endian"));
            const Bytes original = SamplePayload(order);
            Bytes payload = original;
            EXPECT_EQ(ReadExifNumber(payload, c.directory, c.tag), c.before);
            EXPECT_EQ(WriteExifNumber(payload, c.directory, c.tag, c.value), c.set);
            EXPECT_EQ(ReadExifNumber(payload, c.directory, c.tag), c.set ? std::optional(c.value) : c.before);
            // Only the value's own bytes differ.
            std::size_t changed = 0;
            for (std::size_t i = 0; i < payload.size(); ++i) changed += payload[i] != original[i];
            EXPECT_LE(changed, c.set ? 4u : 0u);
            if (!c.set) {
                EXPECT_EQ(payload, original);
            }
        }
    }
}

TEST(ExifNumbers, LeavesDamagedPayloadsAsTheyAre) {
    // Each damage is made on a little-endian sample: TIFF offsets count from byte 6.
    const std::pair<const char*, std::function<void(Bytes&)>> damages[] = {
        {"no Exif header", [](Bytes& p) { p[0] = 'X'; }},
        {"unknown byte order", [](Bytes& p) { p[6] = 'X'; p[7] = 'X'; }},
        {"not 42", [](Bytes& p) { p[8] = 43; }},
        {"IFD0 beyond the end", [](Bytes& p) { p[10] = 0xF0; p[11] = 0xFF; }},
        {"IFD0 count past the end", [](Bytes& p) { p[14] = 0xFF; p[15] = 0x7F; }},
        {"cut inside IFD0", [](Bytes& p) { p.resize(30); }},
        {"cut inside the TIFF header", [](Bytes& p) { p.resize(10); }},
        {"empty", [](Bytes& p) { p.clear(); }},
    };
    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        Bytes payload = SamplePayload(ByteOrder::Little);
        damage(payload);
        const Bytes damaged = payload;
        for (const auto& [directory, tag] : {std::pair{ExifDirectory::Ifd0, kExifOrientation},
                                             std::pair{ExifDirectory::Exif, kExifPixelXDimension}}) {
            EXPECT_FALSE(ReadExifNumber(payload, directory, tag));
            EXPECT_FALSE(WriteExifNumber(payload, directory, tag, 1));
        }
        EXPECT_EQ(payload, damaged);
    }
    // The EXIF IFD link pointing past the end, or of the wrong type, hides only the EXIF IFD.
    for (const std::uint8_t type : {std::uint8_t{2}, std::uint8_t{4}}) {
        Bytes payload = SamplePayload(ByteOrder::Little);
        // IFD0 at TIFF offset 8: count, then entries of 12 bytes; the link is the fourth.
        const std::size_t link = 6 + 8 + 2 + 3 * 12;
        ASSERT_EQ(payload[link], 0x69);
        payload[link + 2] = type;
        if (type == 4) payload[link + 8] = payload[link + 9] = payload[link + 10] = payload[link + 11] = 0xFF;
        EXPECT_FALSE(ReadExifNumber(payload, ExifDirectory::Exif, kExifPixelXDimension));
        EXPECT_EQ(ReadExifNumber(payload, ExifDirectory::Ifd0, kExifOrientation), 6u);
    }
}

}  // namespace
}  // namespace veltrane
