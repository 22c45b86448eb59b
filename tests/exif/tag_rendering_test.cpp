// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "core/common/number_format.h"
#include "core/exif/exif_error.h"
#include "core/exif/tag_dictionaries.h"
#include "core/exif/tag_rendering.h"

namespace veltrane::exif {
namespace {

ByteOrder Order(bool bigEndian) { return bigEndian ? ByteOrder::BigEndian : ByteOrder::LittleEndian; }

std::string Le16(std::uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}
std::string Be32(std::uint32_t v) {
    std::string s;
    for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}
std::string LeRational(std::int32_t n, std::int32_t d) {
    return Le32(static_cast<std::uint32_t>(n)) + Le32(static_cast<std::uint32_t>(d));
}

FormatterContext gContext;

// The text of one entry of the image directory (or the GPS directory), little-endian.
std::string Text(std::uint16_t tag, int type, const std::string& raw, DirectoryKind kind = kImageDirectory) {
    return TagText(Order(false), {}, type, raw, LookupTagNumber(tag, kind));
}

TEST(TagText, RendersTheDictionaryExamples) {
    struct Case {
        const char* what;
        std::uint16_t tag;
        int type;
        std::string raw;
        std::string expected;
        DirectoryKind kind = kImageDirectory;
    };
    const Case cases[] = {
        {"Orientation 6", 0x0112, 3, Le16(6), "CounterClockwise 90\xB0"},
        {"Orientation not in the map", 0x0112, 3, Le16(2), ""},
        {"PhotometricInterpretation", 0x0106, 3, Le16(2), "RGB"},
        {"XResolution 72/1", 0x011A, 5, LeRational(72, 1), "72.00"},
        {"XResolution 300/1", 0x011A, 5, LeRational(300, 1), "300.00"},
        {"XResolution 1/1", 0x011A, 5, LeRational(1, 1), " 1.00"},
        {"ExposureTime 1/60", 0x829A, 5, LeRational(1, 60), "1/60 sec"},
        {"ExposureTime 10/1", 0x829A, 5, LeRational(10, 1), "10/1 sec"},
        {"FNumber 28/10", 0x829D, 5, LeRational(28, 10), "F2.8"},
        {"FNumber 0/0", 0x829D, 5, LeRational(0, 0), "F0.0"},
        {"FocalLength 63/10", 0x920A, 5, LeRational(63, 10), " 6.30 mm"},
        {"FocalLengthin35mmFilm SHORT 28", 0xA405, 3, Le16(28), "28.00 mm"},
        {"BitsPerSample", 0x0102, 3, Le16(8) + Le16(8) + Le16(8), "8, 8, 8"},
        {"SHORT 0xFFFF", 0x0118, 3, Le16(0xFFFF), "65535"},
        {"SSHORT 0xFFFF", 0x0118, 8, Le16(0xFFFF), "65535"},
        {"SBYTE 0xFF", 0x0118, 6, "\xFF", "255"},
        {"LONG 0xFFFFFFFF", 0x0118, 4, Le32(0xFFFFFFFF), "-1"},
        {"LONG 0x80000000", 0x0118, 4, Le32(0x80000000), "-2147483648"},
        {"SLONG -1", 0x0118, 9, Le32(0xFFFFFFFF), "-1"},
        {"SRATIONAL -1/3", 0x9204, 10, LeRational(-1, 3), "-1/3"},
        {"FLOAT", 0x0118, 11, Le32(0x3FC00000), "-9999.99"},
        {"DOUBLE pair", 0x0118, 12, std::string(16, '\0'), "-9999.99, -9999.99"},
        {"field type 0", 0x0118, 0, "abcd", "0"},
        {"field type 13", 0x0118, 13, "abcd", "0"},
        {"ExifVersion", 0x9000, 7, "0220", "\"0220\""},
        {"FileSource UNDEFINED 3", 0xA300, 7, "\x03", "\".\""},
        {"UNDEFINED up to its first NUL", 0x9000, 7, std::string("ab\0cd", 5), "\"ab\""},
        {"ASCII with a final NUL", 0x010F, 2, std::string("Canon\0", 6), "Canon"},
        {"ASCII loses only one NUL", 0x010F, 2, std::string("ab\0\0", 4), "ab."},
        {"ASCII of 60 characters", 0x010E, 2, std::string(60, 'x'), std::string(50, 'x')},
        {"ASCII control characters", 0x010E, 2, "a\tb\x7F\x80", "a.b\x7F\x80"},
        {"GPSAltitudeRef 0", 0x0005, 1, std::string(1, '\0'), "Sealevel", kGpsDirectory},
        {"GPSAltitudeRef 1", 0x0005, 1, "\x01", "", kGpsDirectory},
        {"ComponentsConfiguration YCbCr", 0x9101, 7, std::string("\x01\x02\x03\x00", 4), "YCbCr"},
        {"ComponentsConfiguration RGB", 0x9101, 7, std::string("\x04\x05\x06\x00", 4), "RGB"},
        {"Flash 0x41", 0x9209, 3, Le16(0x41), "On, red-eye reduction"},
        {"Title", 0x9C9B, 1, std::string("T\0e\0s\0t\0\0\0", 10), "Test"},
        {"GPSLatitude", 0x0002, 5, LeRational(50, 1) + LeRational(3, 1) + LeRational(1234, 100),
         "50 Degrees 3 Minutes 12 Seconds", kGpsDirectory},
        {"GPSTimeStamp", 0x0007, 5, LeRational(9, 1) + LeRational(30, 1) + LeRational(4550, 100), "9:30:46",
         kGpsDirectory},
        {"unknown tag", 0x1234, 3, Le16(7), "7"},
        {"GPSVersionID has tag number 0", 0x0000, 1, std::string("\x02\x02\x00\x00", 4), "2, 2, 0, 0",
         kGpsDirectory},
        // An unlisted item renders as nothing, and the separator before the next item is skipped
        // while nothing precedes it.
        {"unlisted then listed", 0x0112, 3, Le16(2) + Le16(6), "CounterClockwise 90\xB0"},
        {"listed then unlisted", 0x0112, 3, Le16(1) + Le16(2), "Normal, "},
        {"surplus bytes are ignored", 0x0102, 3, Le16(8) + "\x09", "8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Text(c.tag, c.type, c.raw, c.kind), c.expected);
    }
}

TEST(RenderValue, ReadsItemsInTheByteOrderOfItsParser) {
    EXPECT_EQ(RenderValue(Order(true), {}, std::string("\x01\x02", 2), 3, "", ""), "258");
    EXPECT_EQ(RenderValue(Order(false), {}, std::string("\x01\x02", 2), 3, "", ""), "513");
    EXPECT_EQ(RenderValue(Order(true), {}, Be32(1) + Be32(60), 5, "", "%s sec"), "1/60 sec");
    EXPECT_EQ(RenderValue(Order(true), {}, Be32(72) + Be32(1), 5, "", "%5.2f"), "72.00");
}

TEST(RenderValue, RendersAtMost128Items) {
    std::string raw;
    for (int i = 0; i < 200; ++i) raw += static_cast<char>(i);
    const std::string text = RenderValue(Order(false), {}, raw, 1, "", "");
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 127);
    EXPECT_EQ(text.substr(text.size() - 5), ", 127");
}

TEST(RenderValue, AppliesAMapToRationalsOverTheWholeTextSoFar) {
    EXPECT_EQ(RenderValue(Order(false), {}, LeRational(1, 2), 5, "1/2:Half", ""), "1/2Half");
    EXPECT_EQ(RenderValue(Order(false), {}, LeRational(1, 2) + LeRational(3, 4), 5, "1/2, 3/4:Pair", ""),
              "1/2, 3/4Pair");
    EXPECT_EQ(RenderValue(Order(false), {}, LeRational(1, 3), 5, "1/2:Half", ""), "1/3");
}

TEST(RenderValue, RefusesPatternsThatDoNotFitTheirArgument) {
    EXPECT_THROW(RenderValue(Order(false), {}, Le16(1), 3, "", "%d"), ExifError);
    EXPECT_THROW(RenderValue(Order(false), {}, Le16(1), 3, "", "%f %f"), ExifError);
    EXPECT_THROW(RenderValue(Order(false), {}, Le16(1), 3, "", "%s %d"), ExifError);
    EXPECT_THROW(RenderValue(Order(false), {}, Le16(1), 3, "", "%99999f"), ExifError);
    EXPECT_EQ(RenderValue(Order(false), {}, Le16(1), 3, "", "100%% %0.0f"), "100% 1");
    EXPECT_EQ(RenderValue(Order(false), {}, Le16(1), 3, "", "[%s]"), "[1]");
    // Only a pattern holding "%s" itself receives the text.
    EXPECT_THROW(RenderValue(Order(false), {}, Le16(1), 3, "", "[%3s]"), ExifError);
}

TEST(RenderValue, UsesTheDecimalSeparatorItIsGiven) {
    const NumberFormat comma{','};
    EXPECT_EQ(RenderValue(Order(false), comma, LeRational(72, 1), 5, "", "%5.2f"), "72,00");
    EXPECT_EQ(RenderValue(Order(false), comma, LeRational(28, 10), 5, "", "F%0.1f"), "F2,8");
    FormatterContext context{comma, nullptr, false};
    EXPECT_EQ(ShutterSpeedFormatter("1/1", context), "0,5000 sec (1/2)");
}

TEST(NumericValue, FollowsTheFieldType) {
    struct Case {
        const char* what;
        std::string raw;
        int type;
        bool bigEndian;
        double expected;
    };
    const Case cases[] = {
        {"SHORT", Le16(640), 3, false, 640},
        {"two SHORTs run together", Le16(1) + Le16(2), 3, false, 131073},
        {"RATIONAL", LeRational(1, 4), 5, false, 0.25},
        {"SRATIONAL", LeRational(-3, 4), 10, false, -0.75},
        {"zero denominator", LeRational(5, 0), 5, false, 0},
        {"big-endian RATIONAL", Be32(3) + Be32(2), 5, true, 1.5},
        {"FLOAT little-endian", Le32(0x3FC00000), 11, false, 1.5},
        {"FLOAT big-endian", Be32(0x3FC00000), 11, true, 1.5},
        {"DOUBLE little-endian", Le32(0) + Le32(0x40040000), 12, false, 2.5},
        {"DOUBLE big-endian", Be32(0x40040000) + Be32(0), 12, true, 2.5},
        {"FLOAT too short", "\x01", 11, false, 0},
        {"FLOAT not a number", Le32(0x7FC00000), 11, false, 0},
        {"ASCII", "12", 2, false, 0},
        {"UNDEFINED", "12", 7, false, 0},
        {"type 13", "1234", 13, false, 0},
        {"empty", "", 4, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_DOUBLE_EQ(NumericValue(Order(c.bigEndian), c.raw, c.type), c.expected);
    }
}

TEST(LookupValueName, FindsTheNameOfATrimmedValue) {
    const char* map = "0:Auto,1:Manual,2:Auto bracket";
    EXPECT_EQ(LookupValueName(map, "1"), "Manual");
    EXPECT_EQ(LookupValueName(map, "2"), "Auto bracket");
    EXPECT_EQ(LookupValueName(map, " 0\t"), "Auto");
    EXPECT_EQ(LookupValueName(map, "5"), "");
    EXPECT_EQ(LookupValueName(map, ""), "");
    EXPECT_EQ(LookupValueName("", "1"), "");
    EXPECT_EQ(LookupValueName("10:Ten,1:One", "1"), "One");
    EXPECT_EQ(LookupValueName(":Empty,1:One", ""), "Empty");
    EXPECT_EQ(LookupValueName("1:One,", "1"), "One");
    // A value with a comma (a rational list looked up whole) may match across items.
    EXPECT_EQ(LookupValueName("a:x,1/2, 3/4:Pair", "1/2, 3/4"), "Pair");
    EXPECT_EQ(LookupValueName("1/2,x:y", "1/2,x"), "y");
}

TEST(FractionToNumber, ReadsSimpleAndMixedFractions) {
    const std::pair<const char*, double> cases[] = {
        {"1/60", 1.0 / 60}, {"2 1/2", 2.5},     {"-3/1", -3},      {"5", 0},
        {"1/2, 3/4", 0},    {"1/0", 0},         {"a/b", 0},        {"", 0},
        {" 7/2 ", 3.5},     {"4294967296/1", 0}, {"+1/4", 0.25},   {"1/ 2", 0},
        {"1/2x", 0},        {"2  1/2", 2.5},
    };
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text);
        EXPECT_DOUBLE_EQ(FractionToNumber(text), value);
    }
}

TEST(RationalText, WritesBothPartsInDecimal) {
    EXPECT_EQ(RationalText(-1, 3), "-1/3");
    EXPECT_EQ(RationalText(0, 0), "0/0");
    EXPECT_EQ(RationalText(-2147483647 - 1, 2147483647), "-2147483648/2147483647");
}

TEST(PrintableText, KeepsFiftyCharactersAndHidesControlBytes) {
    EXPECT_EQ(PrintableText(std::string("a\x00\x1F b", 5)), "a.. b");
    EXPECT_EQ(PrintableText("\x7F\x80\xFF"), "\x7F\x80\xFF");
    EXPECT_EQ(PrintableText(std::string(51, 'y')), std::string(50, 'y'));
    EXPECT_EQ(PrintableText(""), "");
}

TEST(ShutterSpeedFormatter, ShowsSecondsAndTheReciprocal) {
    const std::pair<const char*, const char*> cases[] = {
        {"5906891/1000000", "0.0167 sec (1/60)"},
        {"1/1", "0.5000 sec (1/2)"},
        {"0/1", "1.0000 sec"},
        {"-1/1", "2.0000 sec"},
        {"", "1.0000 sec"},
        {"2147483647/1", "0.0000 sec"},  // no reciprocal beyond the 32-bit range
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ShutterSpeedFormatter(text, gContext), expected);
    }
}

TEST(FlashFormatter, SpellsOutTheFlashBits) {
    const std::pair<const char*, const char*> cases[] = {
        {"0", "Off"},
        {"1", "On"},
        {"2", "Off, UNKNOWN"},
        {"5", "On, no strobe return"},
        {"8", "Off, forced"},
        {"16", "Off, surpressed"},
        {"25", "On, auto mode"},
        {"31", "On, strobe return, auto mode"},
        {"32", "Off, no flash function"},
        {"89", "On, auto mode, red-eye reduction"},
        {"  65", "On, red-eye reduction"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(FlashFormatter(text, gContext), expected);
    }
}

TEST(FlashFormatter, RaisesTheConversionErrorForTwoItems) {
    try {
        FlashFormatter("1, 0", gContext);
        FAIL() << "no error raised";
    } catch (const ExifError& e) {
        EXPECT_STREQ(e.what(), "'1, 0' is not a valid integer value");
    }
    EXPECT_THROW(FlashFormatter("", gContext), ExifError);
}

TEST(WideTextFormatter, KeepsTheLowBytesOfTheCharacterCodes) {
    EXPECT_EQ(WideTextFormatter("84, 0, 101, 0, 115, 0, 116, 0, 0, 0", gContext), "Test");
    EXPECT_EQ(WideTextFormatter("", gContext), "");
    EXPECT_EQ(WideTextFormatter("65", gContext), "");           // the last item is never read
    EXPECT_EQ(WideTextFormatter("65, 1, 66, x", gContext), "AB");  // nor converted
    EXPECT_THROW(WideTextFormatter("x, 0", gContext), ExifError);
}

TEST(ComponentsFormatter, ReadsCharacterPositionsTwoToFive) {
    EXPECT_EQ(ComponentsFormatter(std::string("\"\x01\x02\x03\"", 5), gContext), "YCbCr");
    EXPECT_EQ(ComponentsFormatter(std::string("\"\x04\x05\x06\x01\x02", 6), gContext), "RGBY");
    EXPECT_EQ(ComponentsFormatter("\"", gContext), "");
    EXPECT_EQ(ComponentsFormatter("\"\x07\x00", gContext), "");
}

TEST(GpsFormatters, SplitDegreesMinutesAndSeconds) {
    const std::pair<const char*, const char*> coordinates[] = {
        {"50/1, 3/1, 1234/100", "50 Degrees 3 Minutes 12 Seconds"},
        {"50/1, 1234/100, 0/1", "50 Degrees 12 Minutes 20 Seconds"},
        {"50/1", "0 Degrees 0 Minutes 50 Seconds"},
        {"", "0 Degrees 0 Minutes 0 Seconds"},
        {"-1/3, 0/1, 0/1", "0 Degrees 0 Minutes 0 Seconds"},
    };
    for (const auto& [text, expected] : coordinates) {
        SCOPED_TRACE(text);
        EXPECT_EQ(GpsCoordinateFormatter(text, gContext), expected);
    }
    EXPECT_EQ(GpsTimeFormatter("12/1, 5/1, 3/1", gContext), "12:5:3");
    EXPECT_EQ(GpsTimeFormatter("9/1, 30/1, 4550/100", gContext), "9:30:46");
    EXPECT_EQ(GpsTimeFormatter("9/1, 30/1, 0/1", gContext), "9:30:0");
}

TEST(FieldSize, CountsBytesPerItemAndZeroForUnknownTypes) {
    const int expected[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    for (int t = 0; t <= 12; ++t) EXPECT_EQ(FieldSize(t), expected[t]) << t;
    EXPECT_EQ(FieldSize(13), 0);
    EXPECT_EQ(FieldSize(0xFFFF), 0);
    EXPECT_EQ(FieldSize(-1), 0);
}

TEST(RoundHalfEven, RoundsHalvesToEvenAndRefusesWhatIsNoInteger) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(5.408), 5);
    EXPECT_THROW(RoundHalfEven(1e10), ExifError);
    EXPECT_THROW(RoundHalfEven(std::nan("")), ExifError);
}

}  // namespace
}  // namespace veltrane::exif
