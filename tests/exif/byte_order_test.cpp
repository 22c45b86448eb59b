#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/exif/byte_order.h"
#include "core/exif/exif_error.h"

namespace veltrane::exif {
namespace {

tEndInd Buffer(std::string_view bytes, bool bigEndian) {
    tEndInd b;
    b.BigEndian = bigEndian;
    b.WorkBuffer = bytes;
    return b;
}

TEST(ByteOrderBuffer, ReadsSixteenBitsInEitherOrder) {
    const std::string bytes("\x01\x02", 2);
    EXPECT_EQ(Buffer(bytes, true).ReadUInt16At(1), 0x0102u);
    EXPECT_EQ(Buffer(bytes, false).ReadUInt16At(1), 0x0201u);
}

TEST(ByteOrderBuffer, ReadsThirtyTwoBitsAtOneBasedPositions) {
    const std::string bytes("\x00\x01\x02\x03\x04\xFF", 6);
    EXPECT_EQ(Buffer(bytes, true).ReadUInt32At(2), 0x01020304u);
    EXPECT_EQ(Buffer(bytes, false).ReadUInt32At(2), 0x04030201u);
    EXPECT_EQ(Buffer(bytes, false).ReadUInt32At(3), 0xFF040302u);
}

TEST(ByteOrderBuffer, FoldsWholeStringsIntoSignedIntegers) {
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
        EXPECT_EQ(Buffer({}, c.bigEndian).RawToInteger(c.raw), c.expected);
    }
}

TEST(ByteOrderBuffer, RaisesInsteadOfReadingOutsideItsBytes) {
    const std::string bytes("\x01\x02\x03\x04\x05", 5);
    const tEndInd b = Buffer(bytes, false);
    EXPECT_NO_THROW(b.ReadUInt16At(4));
    EXPECT_NO_THROW(b.ReadUInt32At(2));
    const std::int64_t outside16[] = {0, -1, 5, 6, std::numeric_limits<std::int64_t>::max(),
                                      std::numeric_limits<std::int64_t>::min()};
    for (std::int64_t pos : outside16) {
        SCOPED_TRACE(pos);
        EXPECT_THROW(b.ReadUInt16At(pos), ExifError);
    }
    const std::int64_t outside32[] = {0, 3, 5, std::numeric_limits<std::int64_t>::max()};
    for (std::int64_t pos : outside32) {
        SCOPED_TRACE(pos);
        EXPECT_THROW(b.ReadUInt32At(pos), ExifError);
    }
    EXPECT_THROW(Buffer({}, true).ReadUInt16At(1), ExifError);
}

TEST(ByteOrderBuffer, NamesTheOutOfBufferReadInItsError) {
    try {
        Buffer("x", false).ReadUInt16At(1);
        FAIL() << "no error raised";
    } catch (const ExifError& e) {
        EXPECT_STREQ(e.what(), kReadBeyondBuffer);
    }
}

}  // namespace
}  // namespace veltrane::exif
