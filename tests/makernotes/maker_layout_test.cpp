// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "core/common/ascii.h"
#include "core/exif/tiff_directory.h"
#include "core/makernotes/maker_notes.h"
#include "core/makernotes/maker_tables.h"
#include "tests/makernotes/note_builder.h"

namespace veltrane::exif {
namespace {

// A note of each layout that lists every row of its table once, as a SHORT of value 1: the walk
// writes a line for every row but the "Skip" rows, and stores a tag for each of those but a
// row of tag number 0 (which no tag list holds), in table order.
TEST(MakerTables, AreWalkedRowByRow) {
    struct Maker {
        const char* make;
        const char* version;
        std::string prefix;
        std::span<const TagRow> table;
    };
    const Maker makers[] = {
        {"NIKON", "0220", std::string("Nikon\0\2\x10\0\0II\x2A\0\x08\0\0\0", 18), NikonType3Table},
        {"NIKON", "0210", std::string("Nikon\0\1\0", 8), NikonType1Table},
        {"OLYMPUS", "0220", std::string("OLYMP\0\1\0", 8), OlympusTable},
        {"CASIO", "0220", std::string("QVC\0\0\0", 6), CasioQvcTable},
        {"CASIO", "0220", "", CasioTable},
        {"FUJIFILM", "0220", std::string("FUJIFILM\x0C\0\0\0", 12), FujiTable},
        {"Canon", "0220", "", CanonTable},
        {"SEIKO EPSON", "0220", std::string("SEIKO\0\1\0", 8), SeikoTable},
        {"SANYO", "0220", std::string("SANYO\0\1\0", 8), SanyoTable},
        {"Minolta", "0220", "", MinoltaTable},
    };
    const testing::NoteValues v(samples::ByteOrder::Little);
    for (const Maker& m : makers) {
        SCOPED_TRACE(m.make + std::string(" ") + std::to_string(m.prefix.size()));
        std::vector<testing::NoteEntry> entries;
        std::vector<std::string> names;
        std::vector<std::string> lines;
        for (const TagRow& row : m.table) {
            entries.push_back(v.Short(row.TagNumber, {1}));
            if (EqualIgnoringAsciiCase(row.Caption, "Skip")) continue;
            if (row.TagNumber != 0) names.emplace_back(row.TagName);
            lines.push_back("\r\n" + std::string(row.Caption) + " = ");
        }
        const samples::Bytes note = testing::BuildNote(testing::Text(m.prefix), m.prefix.size(),
                                                       samples::ByteOrder::Little, entries, 0);
        const std::string bytes(note.begin(), note.end());
        TiffDirectory directory;
        ASSERT_TRUE(DecodeMakerNote({bytes, 100, m.make, "", m.version, false, ByteOrder::LittleEndian, bytes},
                                    directory));
        EXPECT_FALSE(directory.Problem().has_value());
        std::vector<std::string> stored;
        for (const TagEntry& tag : directory.Tags()) stored.push_back(tag.TagName);
        EXPECT_EQ(stored, names);
        for (const std::string& line : lines)
            EXPECT_NE(directory.MakerNoteText().find(line), std::string::npos) << line;
    }
}

TEST(MakerTables, CarryTheDecodersOnTheirFiveRows) {
    auto formatterOf = [](std::span<const TagRow> table, std::uint16_t tag) {
        const int i = IndexOfTag(tag, table);
        return i < 0 ? nullptr : table[static_cast<std::size_t>(i)].Formatter;
    };
    EXPECT_EQ(formatterOf(CanonTable, 0x0001), &DecodeCanonCameraSettings);
    EXPECT_EQ(formatterOf(CanonTable, 0x0004), &DecodeCanonShotInfo);
    EXPECT_EQ(formatterOf(CanonTable, 0x000F), &DecodeCanonCustomFunctions);
    EXPECT_EQ(formatterOf(NikonType3Table, 0x0084), &DecodeNikonLens);
    EXPECT_EQ(formatterOf(NikonType3Table, 0x008D), &DecodeNikonColorMode);
    int withFormatter = 0;
    for (std::span<const TagRow> table :
         {std::span<const TagRow>(NikonType3Table), std::span<const TagRow>(NikonType1Table),
          std::span<const TagRow>(OlympusTable), std::span<const TagRow>(CasioTable),
          std::span<const TagRow>(CasioQvcTable), std::span<const TagRow>(FujiTable),
          std::span<const TagRow>(CanonTable), std::span<const TagRow>(SeikoTable),
          std::span<const TagRow>(SanyoTable), std::span<const TagRow>(MinoltaTable)})
        for (const TagRow& row : table) withFormatter += row.Formatter != nullptr ? 1 : 0;
    EXPECT_EQ(withFormatter, 5);
}

TEST(MakerTables, KeepTheirTextsAsWritten) {
    EXPECT_EQ(ValueMapOfTag(0x0202, OlympusTable), "0=Normal,1:Macro;");
    EXPECT_EQ(CasioQvcTable[static_cast<std::size_t>(IndexOfTag(0x0E00, CasioQvcTable))].Caption,
              "\tPrint Image Matching Info");
    EXPECT_EQ(SeikoTable[static_cast<std::size_t>(IndexOfTag(0x0203, SeikoTable))].Caption, "skip");
    EXPECT_EQ(SanyoTable[static_cast<std::size_t>(IndexOfTag(0x0F00, SanyoTable))].TagName,
              "DataDump");
    EXPECT_EQ(LookupValueName(ValueMapOfTag(0x0003, NikonType1Table), "6"),
              "SXGA Fine10:2 Mpixel Basic");
}

struct LayoutCase {
    const char* title;
    const char* make;
    const char* model;
    const char* version;
    std::string note;
    bool tiffFile;
    const char* layout;
    std::int64_t directoryOffset, noteIndexOfOffsetZero, sectionIndexOfOffsetZero;
    bool littleEndian;
};

// The note's TIFF offset is 100 in every case: in a layout whose offsets count from the TIFF
// header, stored offset 100 is the note's first byte, in JPEG and TIFF files alike.
const LayoutCase kLayouts[] = {
    {"Nikon, EXIF 0220", "NIKON CORPORATION", "NIKON D70", "0220", "Nikon", false,
     "Nikon type 3", 18, 10, -1, false},
    {"Nikon, lower-case make", "nikon", "E990", "0221", "", false, "Nikon type 3", 18, 10, -1, false},
    {"Nikon, EXIF 0210, Nikon prefix", "NIKON", "E990", "0210", std::string("Nikon\0\1\0", 8),
     false, "Nikon type 1", 8, -100, -1, false},
    {"Nikon, EXIF 0200, no prefix", "NIKON", "E700", "0200", "\0\x05", false, "Nikon", 0, -100, -1,
     false},
    {"Nikon, prefix in other case", "NIKON", "E700", "0210", "NIKON", false, "Nikon", 0, -100, -1,
     false},
    {"Nikon TIFF, no version, D model", "NIKON", "NIKON D1X", "", "Nikon", true, "Nikon type 3",
     18, 10, -1, false},
    {"Nikon JPEG, no version, D model", "NIKON", "NIKON D1X", "", "Nikon", false, "Nikon type 1",
     8, -100, -1, false},
    {"Nikon TIFF, no version, E model", "NIKON", "E5000", "", "Nikon", true, "Nikon type 1", 8,
     -100, -1, false},
    {"Nikon TIFF, no version, model without space", "NIKON", "D100", "", "x", true,
     "Nikon type 3", 18, 10, -1, false},
    {"Olympus", "OLYMPUS OPTICAL CO.,LTD", "C3030Z", "0210", "OLYMP", false, "Olympus", 8, -100, 8,
     false},
    {"Olympus TIFF", "OLYMPUS", "E-1", "0220", "OLYMP", true, "Olympus", 8, -100, 8, false},
    {"Casio QVC", "CASIO COMPUTER CO.,LTD", "EX-Z3", "0220", std::string("QVC\0\0\0", 6), false,
     "Casio QVC", 6, -100, -1, false},
    {"Casio, QVC later", "CASIO", "QV-3000EX", "0210", "xQVC", false, "Casio", 0, -100, -1, false},
    {"Casio, qvc lower case", "CASIO", "QV-3000EX", "0210", "qvc", false, "Casio", 0, -100, -1,
     false},
    {"Fujifilm", "FUJIFILM", "FinePix S2Pro", "0220", "FUJIFILM", false, "Fujifilm", 12, 0, -1,
     true},
    {"Fujifilm TIFF", "Fujifilm", "X", "0220", "FUJIFILM", true, "Fujifilm", 12, 0, -1, true},
    {"Canon", "Canon", "Canon PowerShot S40", "0220", "", false, "Canon", 0, -100, -1, false},
    {"Canon TIFF", "Canon", "Canon EOS D30", "0210", "", true, "Canon", 0, -100, -1, false},
    {"Seiko", "SEIKO EPSON CORP.", "PhotoPC 3000Z", "0210", "", false, "Seiko", 8, -100, -1, false},
    {"Sanyo", "SANYO Electric Co.,Ltd.", "SR6", "0210", "SANYO", false, "Sanyo", 8, -100, -1, false},
    {"Minolta", "Minolta Co., Ltd.", "DiMAGE 7", "0220", "", false, "Minolta", 0, -100, -1, false},
};

// A note of the given facts at TIFF offset offset (the section is not looked at).
MakerNote Facts(std::string_view make, std::string_view model, std::string_view version, std::string_view note,
                bool tiffFile, std::int64_t offset) {
    return {note, offset, make, model, version, tiffFile, ByteOrder::BigEndian, {}};
}

TEST(SelectMakerLayout, PicksTheLayoutOfTheMakeAndItsFurtherTest) {
    for (const LayoutCase& c : kLayouts) {
        SCOPED_TRACE(c.title);
        const auto layout = SelectMakerLayout(Facts(c.make, c.model, c.version, c.note, c.tiffFile, 100));
        ASSERT_TRUE(layout.has_value());
        EXPECT_EQ(layout->Name, c.layout);
        EXPECT_EQ(layout->DirectoryOffset, c.directoryOffset);
        EXPECT_EQ(layout->NoteIndexOfOffsetZero, c.noteIndexOfOffsetZero);
        EXPECT_EQ(layout->SectionIndexOfOffsetZero, c.sectionIndexOfOffsetZero);
        EXPECT_EQ(layout->LittleEndian, c.littleEndian);
    }
}

TEST(SelectMakerLayout, UsesTheTableOfTheLayout) {
    auto table = [](const char* make, const char* version, std::string note) {
        return SelectMakerLayout(Facts(make, "M", version, note, false, 1))->Table.data();
    };
    EXPECT_EQ(table("NIKON", "0220", ""), NikonType3Table.data());
    EXPECT_EQ(table("NIKON", "0210", "Nikon"), NikonType1Table.data());
    EXPECT_EQ(table("NIKON", "0210", ""), NikonType3Table.data());
    EXPECT_EQ(table("OLYMPUS", "", ""), OlympusTable.data());
    EXPECT_EQ(table("CASIO", "", "QVC"), CasioQvcTable.data());
    EXPECT_EQ(table("CASIO", "", ""), CasioTable.data());
    EXPECT_EQ(table("FUJIFILM", "", ""), FujiTable.data());
    EXPECT_EQ(table("CANON", "", ""), CanonTable.data());
    EXPECT_EQ(table("SEIKO", "", ""), SeikoTable.data());
    EXPECT_EQ(table("SANYO", "", ""), SanyoTable.data());
    EXPECT_EQ(table("MINOLTA", "", ""), MinoltaTable.data());
}

TEST(SelectMakerLayout, RecognisesNoOtherMake) {
    for (const char* make : {"", "NIK", "KONICA MINOLTA", "PENTAX", "SONY", " NIKON", "Samsung"}) {
        SCOPED_TRACE(make);
        EXPECT_FALSE(SelectMakerLayout(Facts(make, "", "0220", "", false, 1)).has_value());
    }
}

TEST(VersionGreaterThan, ComparesBytesThenLength) {
    EXPECT_TRUE(VersionGreaterThan("0220", "0210"));
    EXPECT_TRUE(VersionGreaterThan("0221", "0210"));
    EXPECT_TRUE(VersionGreaterThan("02100", "0210"));
    EXPECT_TRUE(VersionGreaterThan("\xFF", "0210"));  // bytes compare unsigned
    EXPECT_FALSE(VersionGreaterThan("0210", "0210"));
    EXPECT_FALSE(VersionGreaterThan("0200", "0210"));
    EXPECT_FALSE(VersionGreaterThan("", "0210"));
    EXPECT_FALSE(VersionGreaterThan("021", "0210"));
}

TEST(ModelCharacter, TakesTheCharacterAfterTheFirstSpace) {
    EXPECT_EQ(ModelCharacter("NIKON D70"), 'D');
    EXPECT_EQ(ModelCharacter("D100"), 'D');
    EXPECT_EQ(ModelCharacter("NIKON E5000 D"), 'E');
    EXPECT_EQ(ModelCharacter("NIKON "), '\0');
    EXPECT_EQ(ModelCharacter(""), '\0');
}

}  // namespace
}  // namespace veltrane::exif
