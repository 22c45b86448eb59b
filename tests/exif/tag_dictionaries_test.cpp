// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "core/exif/tag_dictionaries.h"

namespace veltrane::exif {
namespace {

TEST(TagDictionaries, HoldTheirRowsWithTheUnknownRowLast) {
    EXPECT_EQ(MainTagDictionary.size(), 251u);
    EXPECT_EQ(GpsTagDictionary.size(), 31u);
    EXPECT_EQ(MainTagDictionary[250].TagName, "Unknown");
    EXPECT_EQ(MainCaption(250), "Unknown");
    EXPECT_EQ(MainTagDictionary[0].TagNumber, 0x0001);
    EXPECT_EQ(MainTagDictionary[249].TagNumber, 0xA420);
}

TEST(TagDictionaries, KeepTheNamesSpelledAsTheFormatsHaveThem) {
    struct Case {
        const char* name;
        std::uint16_t tag;
    };
    const Case cases[] = {{"GrayReponseUnit", 0x0122},  {"GrayReponseCurve", 0x0123},
                          {"Matteing", 0x80E3},         {"ThumbnailStripBytesCount", 0x502C},
                          {"FocalLengthin35mmFilm", 0xA405}, {"IPTC/NAA", 0x83BB},
                          {"TIFF/EPStandardID", 0x9216}, {"CFAPattern", 0x828E}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int row = DictionaryIndexOfName(c.name);
        ASSERT_GE(row, 0);
        EXPECT_EQ(MainTagDictionary[static_cast<std::size_t>(row)].TagName, c.name);
        EXPECT_EQ(MainTagDictionary[static_cast<std::size_t>(row)].TagNumber, c.tag);
    }
    EXPECT_EQ(GpsTagDictionary[0x17].TagName, "GPSDestBearingkRef");
}

TEST(LookupTagNumber, PicksTheDictionaryByTheKindOfDirectory) {
    struct Case {
        std::uint16_t tag;
        int kind;
        const char* name;
        std::uint16_t number;
    };
    const Case cases[] = {
        {0x001E, kGpsDirectory, "GPSDifferential", 0x001E},
        {0x0112, kImageDirectory, "Orientation", 0x0112},
        {0x0112, kGpsDirectory, "Unknown", 0},
        {0x0000, kGpsDirectory, "GPSVersionID", 0},
        {0x0001, kImageDirectory, "InteroperabilityIndex", 0x0001},
        {0x0001, kGpsDirectory, "GPSLatitudeRef", 0x0001},
        {0x0000, kImageDirectory, "Unknown", 0},
        {0xFFFF, kImageDirectory, "Unknown", 0},
        {0x9209, 3, "Unknown", 0},
        {0xA20B, kImageDirectory, "FlashEnergy", 0xA20B},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.tag << " kind " << c.kind);
        const TagEntry e = LookupTagNumber(c.tag, static_cast<DirectoryKind>(c.kind));
        EXPECT_EQ(e.TagName, c.name);
        EXPECT_EQ(e.TagNumber, c.number);
    }
}

TEST(LookupTagNumber, HandsOutFullRowsWithCompletedCaptions) {
    const TagEntry orientation = LookupTagNumber(0x0112, kImageDirectory);
    EXPECT_EQ(orientation.Caption, "Orientation");
    EXPECT_EQ(orientation.ValueMap, "1:Normal,3:Rotated 180\xB0,6:CounterClockwise 90\xB0,8:Clockwise 90\xB0");
    const TagEntry film = LookupTagNumber(0xA405, kImageDirectory);
    EXPECT_EQ(film.Caption, "Focal Length in 35mm Film");
    EXPECT_EQ(film.DisplayFormat, "%5.2f mm");
    EXPECT_EQ(LookupTagNumber(0x9209, kImageDirectory).Formatter, &FlashFormatter);
    EXPECT_EQ(LookupTagNumber(0x0007, kGpsDirectory).Formatter, &GpsTimeFormatter);
    EXPECT_EQ(LookupTagNumber(0x0005, kGpsDirectory).ValueMap, "0:Sealevel");
    const TagEntry unknown = LookupTagNumber(0x1234, kImageDirectory);
    EXPECT_EQ(unknown.Caption, "Unknown");
    EXPECT_TRUE(unknown.ValueMap.empty());
    EXPECT_TRUE(unknown.DisplayFormat.empty());
    EXPECT_EQ(unknown.Formatter, nullptr);
}

TEST(DictionaryIndexOfName, FindsTheFirstTagRowIgnoringLetterCase) {
    struct Case {
        const char* name;
        int tag;  // -1: not found
    };
    const Case cases[] = {{"FocalLengthIn35mmFilm", 0xA405}, {"FlashEnergy", 0x920B},
                          {"datetime", 0x0132},              {"SENSINGMETHOD", 0x9217},
                          {"Unknown", -1},                   {"GPSLatitude", -1},
                          {"", -1},                          {"DateTim", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int row = DictionaryIndexOfName(c.name);
        if (c.tag < 0) {
            EXPECT_EQ(row, -1);
        } else {
            ASSERT_GE(row, 0);
            EXPECT_EQ(MainTagDictionary[static_cast<std::size_t>(row)].TagNumber, c.tag);
        }
    }
}

TEST(SpacedName, PutsABlankBeforeEveryCapitalThatFollowsANonCapital) {
    const std::pair<const char*, const char*> cases[] = {
        {"ExposureTime", "Exposure Time"},   {"ISOSpeedRatings", "ISOSpeed Ratings"},
        {"YCbCrPositioning", "YCb Cr Positioning"}, {"T4Options", "T4 Options"},
        {"GPSTimeStamp", "GPSTime Stamp"},   {"FNumber", "FNumber"},
        {"GPSLatitude", "GPSLatitude"},      {"Unknown", "Unknown"},
        {"TIFF/EPStandardID", "TIFF/ EPStandard ID"}, {"", ""},
        {"a", "a"},
        {"aB", "aB"},  // the first character counts as a capital, whatever it is
        {"abC", "ab C"},
    };
    for (const auto& [name, caption] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(SpacedName(name), caption);
    }
}

TEST(CaptionCompletion, KeepsStoredCaptionsAndSpacesTheRest) {
    InitTagDictionaries();
    EXPECT_EQ(LookupTagNumber(0x9216, kImageDirectory).Caption, "TIFF/ EPStandard ID");
    EXPECT_EQ(LookupTagNumber(0xA216, kImageDirectory).Caption, "TIFF/EPStandardID");
    EXPECT_EQ(LookupTagNumber(0x83BB, kImageDirectory).Caption, "IPTC/NAA");
    EXPECT_EQ(LookupTagNumber(0x829A, kImageDirectory).Caption, "Exposure Time");
    EXPECT_EQ(LookupTagNumber(0x0007, kGpsDirectory).Caption, "GPSTime Stamp");
    EXPECT_EQ(LookupTagNumber(0x0000, kGpsDirectory).Caption, "GPSVersion ID");
}

TEST(CaptionCompletion, ChangesNothingWhenRunAgain) {
    InitTagDictionaries();
    const std::string before = MainCaption(0);
    const std::string gpsBefore = GpsCaption(30);
    InitTagDictionaries();
    EXPECT_EQ(MainCaption(0), before);
    EXPECT_EQ(MainCaption(0), "Interoperability Index");
    EXPECT_EQ(GpsCaption(30), gpsBefore);
}

TEST(TableLookups, IndexOfTagTakesTheFirstRowAndValueMapOfTagTheLast) {
    static constexpr std::array<TagRow, 3> table = {
        MakeTagRow(0x0010, "First", "", "1:one"),
        MakeTagRow(0x0020, "Other"),
        MakeTagRow(0x0010, "Second", "", "2:two"),
    };
    EXPECT_EQ(IndexOfTag(0x0010, table), 0);
    EXPECT_EQ(IndexOfTag(0x0020, table), 1);
    EXPECT_EQ(IndexOfTag(0x0030, table), -1);
    EXPECT_EQ(ValueMapOfTag(0x0010, table), "2:two");
    EXPECT_EQ(ValueMapOfTag(0x0020, table), "");
    EXPECT_EQ(ValueMapOfTag(0x0030, table), "");
    EXPECT_EQ(IndexOfTag(0x0010, std::span<const TagRow>{}), -1);
}

}  // namespace
}  // namespace veltrane::exif
