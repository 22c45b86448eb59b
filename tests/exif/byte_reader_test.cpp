// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/exif/byte_reader.h"
#include "core/exif/exif_error.h"

namespace veltrane::exif {
namespace {

ByteReader Reader(std::string_view bytes, bool bigEndian, std::int64_t firstOffset = 0) {
    return ByteReader(AsBytes(bytes), bigEndian ? ByteOrder::BigEndian : ByteOrder::LittleEndian, firstOffset);
}

TEST(ByteReader, ReadsSixteenBitsInEitherOrder) {
    const std::string bytes("\x01\x02", 2);
    EXPECT_EQ(Reader(bytes, true).U16(0), 0x0102u);
    EXPECT_EQ(Reader(bytes, false).U16(0), 0x0201u);
}

TEST(ByteReader, ReadsThirtyTwoBitsAtZeroBasedOffsets) {
    const std::string bytes("\x00\x01\x02\x03\x04\xFF", 6);
    EXPECT_EQ(Reader(bytes, true).U32(1), 0x01020304u);
    EXPECT_EQ(Reader(bytes, false).U32(1), 0x04030201u);
    EXPECT_EQ(Reader(bytes, false).U32(2), 0xFF040302u);
}

TEST(ByteReader, FoldsWholeStringsIntoSignedIntegers) {
    struct Case {
        std::string raw;
        bool bigEndian;
        std::int32_t expected;
    };
    const Case cases[] = {
        {std::string("\xFF\xFF\xFF\xFF", 4), false, -1},
        {std::string("\xFF\xFF\xFF\xFF", 4), true, -1},
        {std::string("\xFF\xFF", 2), false, 65535},
        {std::string("\xFF\xFF", 2), true, 65535},
        {std::string("\x00\x00\x00\x80", 4), false, std::numeric_limits<std::int32_t>::min()},
        {std::string("\x00\x00\x00\x80", 4), true, 128},
        {std::string(), false, 0},
        {std::string(), true, 0},
        // More than four bytes: only the four least significant count.
        {std::string("\x01\x02\x03\x04\x05", 5), true, 0x02030405},
        {std::string("\x01\x02\x03\x04\x05", 5), false, 0x04030201},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.raw) + (c.bigEndian ? " big-endian" : " little-endian"));
        EXPECT_EQ(RawToInteger(c.bigEndian ? ByteOrder::BigEndian : ByteOrder::LittleEndian, c.raw), c.expected);
    }
}

TEST(ByteReader, RaisesInsteadOfReadingOutsideItsBytes) {
    const std::string bytes("\x01\x02\x03\x04\x05", 5);
    const ByteReader b = Reader(bytes, false);
    EXPECT_NO_THROW(b.U16(3));
    EXPECT_NO_THROW(b.U32(1));
    const std::int64_t outside16[] = {-1, -2, 4, 5, std::numeric_limits<std::int64_t>::max(),
                                      std::numeric_limits<std::int64_t>::min()};
    for (std::int64_t offset : outside16) {
        SCOPED_TRACE(offset);
        EXPECT_THROW(b.U16(offset), ExifError);
    }
    const std::int64_t outside32[] = {-1, 2, 4, std::numeric_limits<std::int64_t>::max()};
    for (std::int64_t offset : outside32) {
        SCOPED_TRACE(offset);
        EXPECT_THROW(b.U32(offset), ExifError);
    }
    EXPECT_THROW(Reader({}, true).U16(0), ExifError);
}

TEST(ByteReader, NamesTheOutOfBufferReadInItsError) {
    try {
        Reader("x", false).U16(0);
        FAIL() << "no error raised";
    } catch (const ExifError& e) {
        EXPECT_STREQ(e.what(), kReadBeyondBuffer);
    }
}

TEST(ByteReader, HoldsOnlyTheBytesFromItsFirstOffsetOn) {
    // The bytes of offsets 8 to 13, as a TIFF file's reader holds them after the header.
    const std::string bytes("abcdef", 6);
    const ByteReader b = Reader(bytes, true, 8);
    EXPECT_EQ(b.U16(8), 0x6162u);
    EXPECT_THROW(b.U16(7), ExifError);
    EXPECT_THROW(b.U16(13), ExifError);
    struct Case {
        std::int64_t offset, n;
        std::string_view clipped;
        bool held;
    };
    const Case cases[] = {
        {8, 6, "abcdef", true}, {10, 2, "cd", true},    {4, 6, "ab", false},
        {12, 100, "ef", false}, {0, 8, "", false},      {14, 1, "", false},
        {9, 0, "", true},       {-20, 30, "ab", false}, {0xFFFFFFFF, 0x7FFFFFFF8, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + " + " + std::to_string(c.n));
        EXPECT_EQ(b.Clipped(c.offset, c.n), c.clipped);
        EXPECT_EQ(b.Holds(c.offset, c.n), c.held);
    }
}

}  // namespace
}  // namespace veltrane::exif
