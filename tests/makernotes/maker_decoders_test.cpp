// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/makernotes/maker_decoders.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/exif/tiff_directory.h"
#include "core/metadata/metadata_reader.h"

namespace veltrane::exif {
namespace {

// The rendered form of a SHORT array: decimal items joined by ", ".
std::string Rendered(const std::vector<int>& items) {
    std::string out;
    for (int v : items) {
        if (!out.empty()) out += ", ";
        out += std::to_string(v);
    }
    return out;
}

std::vector<int> Items(std::size_t n) { return std::vector<int>(n, 0); }

class CanonDecoder : public ::testing::Test {
protected:
    std::unique_ptr<TiffDirectory> directory = std::make_unique<TiffDirectory>();
    FormatterContext context{{}, directory.get(), false};

    std::vector<std::pair<std::string, std::string>> SubFieldTags() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const TagEntry& e : directory->Tags()) out.emplace_back(e.TagName, e.DisplayText);
        return out;
    }
};

TEST(SplitItems, GivesOneItemMoreThanSeparatorsAndKeepsTheirBlanks) {
    struct Case {
        const char* text;
        const char* separator;
        std::vector<std::string_view> items;
    };
    const Case cases[] = {
        {"0, 2, 0", ",", {"0", " 2", " 0"}},
        {"abc", ",", {"abc"}},
        {"", ",", {""}},
        {"a,,b", ",", {"a", "", "b"}},
        {",,", ",", {"", "", ""}},
        {"1/2, 3/4", ", ", {"1/2", "3/4"}},
        {"a,b", "", {"a,b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " by '" + c.separator + "'");
        EXPECT_EQ(SplitItems(c.text, c.separator), c.items);
    }
}

TEST_F(CanonDecoder, ShortCameraSettingsGiveOnlyTheFieldsTheyHold) {
    EXPECT_EQ(DecodeCanonCameraSettings("0, 2, 0", context),
              "\r\nMacro mode = Normal\r\nSelf Timer =  2");
    EXPECT_EQ(SubFieldTags(), (std::vector<std::pair<std::string, std::string>>{
                                  {"Macro mode", "Normal"}, {"Self Timer", " 2"}}));
    const TagEntry& macro = directory->Tags()[0];
    EXPECT_EQ(macro.Caption, "Macro mode");
    EXPECT_EQ(macro.RawBytes, "Normal");
    EXPECT_EQ(macro.RawLength, 6);
    EXPECT_EQ(macro.FieldType, 2);
    EXPECT_EQ(macro.Origin, TagOrigin::MakerNote);
    EXPECT_EQ(macro.TagNumber, kSubFieldTagNumber);
}

TEST_F(CanonDecoder, AllBlankSubFieldsGiveAnEmptyBlockAndStillMarkIt) {
    // An array of one item holds none of the items the sub-fields read.
    EXPECT_EQ(DecodeCanonCameraSettings("5", context), "");
    EXPECT_TRUE(context.SubFieldsWritten);
    EXPECT_EQ(directory->TagCount(), 0);
}

TEST_F(CanonDecoder, ShotInfoReadsItsSixFields) {
    std::vector<int> v = Items(19);
    v[0] = 38;
    v[7] = 4;
    v[8] = 3;
    v[10] = 5;
    v[13] = 16388;
    v[15] = 65524;
    v[18] = 250;
    EXPECT_EQ(DecodeCanonShotInfo(Rendered(v), context),
              "\r\nWhite balance = Flourescent"
              "\r\nSequence Number =  3"
              "\r\nOpticalZoom Step =  5"
              "\r\nAF point =  16388"
              "\r\nFlash bias = -0.33 EV"
              "\r\nDistance =  250");
    EXPECT_TRUE(context.SubFieldsWritten);
    EXPECT_EQ(directory->TagCount(), 6);
}

TEST_F(CanonDecoder, CustomFunctionsAreReadToTheLastItem) {
    // 10: function 0; 257: 1/1; 512: 2/0; 1792: 7/0; 1794: 7/2; 1793: 7/1 (not in the map as
    // written); 4097: function 16; "x": no integer; 3841: 15/1, the last item.
    const std::string text = "10, 257, 512, 1792, 1794, 1793, 4097, x, 3841";
    EXPECT_EQ(DecodeCanonCustomFunctions(text, context),
              "\r\nNoise Reduction =  On"
              "\r\nShutter AE Lock Button = AF/AE lock"
              "\r\nAEB Sequence = 0"
              "\r\nAEB Sequence =  -"
              "\r\nShutter Release w/o CF Card = Disable");
    EXPECT_TRUE(context.SubFieldsWritten);
    EXPECT_EQ(directory->TagCount(), 5);
}

TEST_F(CanonDecoder, SubFieldsAreNotStoredWhenTheParserCollectsNoTags) {
    directory = std::make_unique<TiffDirectory>(ExifData{}, ReaderOptions{{}, CollectMode::InfoTextOnly, {}});
    context.Directory = directory.get();
    EXPECT_EQ(DecodeCanonCameraSettings("0, 1", context),
              "\r\nMacro mode = Macro\r\nSelf Timer =  1");
    EXPECT_EQ(directory->TagCount(), 0);
}

TEST(CanonDecoderWithoutParser, StillWritesItsLines) {
    FormatterContext context;
    EXPECT_EQ(DecodeCanonShotInfo("0, 0, 0, 0, 0, 0, 0, 1", context), "\r\nWhite balance = Sunny");
}

TEST(DecodeNikonLens, ShowsFocalAndApertureRanges) {
    struct Case {
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {"180/10, 700/10, 35/10, 45/10", "18.0-70.0(mm)  F3.5-F4.5"},
        {"50/1, 50/1, 14/10, 14/10", "50.0-50.0(mm)  F1.4-F1.4"},
        // Fewer than four pieces: once no ", " is left the pieces are empty, the rest is the
        // fourth number.
        {"10/1, 20/1, 3/1", "10.0-20.0(mm)  F0.0-F3.0"},
        {"7/2", "0.0-0.0(mm)  F0.0-F3.5"},
        {"", "0.0-0.0(mm)  F0.0-F0.0"},
        {"180/0, x, 35/10, 45/10", "0.0-0.0(mm)  F3.5-F4.5"},
    };
    FormatterContext context;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(DecodeNikonLens(c.text, context), c.shown);
    }
}

TEST(DecodeNikonColorMode, NamesTheThreeModes) {
    struct Case {
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {"\"MODE1\"", "Mode1 (sRGB)"},
        {"\"MODE2\"", "Mode 2 (Adobe RGB)"},
        {"\"MODE3a\"", "Mode 3 (sRGB): higher saturation"},
        {"\"COLOR\"", "COLOR"},
        {"\"MODE\"", "MODE\""},
        {"\"", ""},
        {"", ""},
    };
    FormatterContext context;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(DecodeNikonColorMode(c.text, context), c.shown);
    }
    EXPECT_FALSE(context.SubFieldsWritten);
}

}  // namespace
}  // namespace veltrane::exif
