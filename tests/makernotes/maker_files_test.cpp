// SPDX-License-Identifier: GPL-3.0-or-later
// One synthetic maker note per layout, inside the EXIF directory of a JPEG file and of a TIFF
// file, read through ExifReader exactly as a file on disk would be.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/exif/exif_reader.h"
#include "core/exif/tiff_directory.h"
#include "core/makernotes/maker_decoders.h"
#include "core/metadata/metadata_reader.h"
#include "tests/makernotes/note_builder.h"

namespace veltrane::exif {
namespace {

using namespace std::string_view_literals;
using testing::BuildNote;
using testing::ByteOrder;
using testing::Bytes;
using testing::Camera;
using testing::NoteEntry;
using testing::NoteValues;
using testing::Text;
using Tags = std::vector<std::pair<std::string, std::string>>;

// How a layout's stored offsets count: from the EXIF TIFF header, from byte 10 of the note
// (Nikon type 3) or from the note's first byte (Fujifilm).
enum class OffsetsFrom { TiffHeader, NoteByte10, NoteStart };

struct LayoutFile {
    const char* title;
    Camera camera;
    Bytes prefix;
    std::size_t directoryStart;
    OffsetsFrom offsets;
    std::function<std::vector<NoteEntry>(const NoteValues&)> entries;
    std::string text;  // the expected MakerNoteText
    Tags tags;         // the expected tags of the note (Origin 1), name and DisplayText
    bool littleEndianNote = false;  // the note's numbers are little-endian in any file
};

void PrintTo(const LayoutFile& c, std::ostream* os) { *os << c.title; }

std::string Rendered(const std::vector<std::uint16_t>& items) {
    std::string out;
    for (auto v : items) out += (out.empty() ? "" : ", ") + std::to_string(v);
    return out;
}

std::vector<std::uint16_t> CanonSettings() {
    std::vector<std::uint16_t> v(33, 0);
    v[0] = 66;
    v[1] = 2;
    v[3] = 1;
    v[5] = 1;
    v[7] = 3;
    v[10] = 1;
    v[11] = 10;
    v[13] = 65535;
    v[15] = 1;
    v[16] = 17;
    v[20] = 1;
    v[23] = 21;
    v[24] = 7;
    v[25] = 1000;
    v[28] = 8;
    v[32] = 65535;
    return v;
}

std::vector<std::uint16_t> CanonShotInfo() {
    std::vector<std::uint16_t> v(19, 0);
    v[0] = 38;
    v[7] = 4;
    v[8] = 3;
    v[10] = 5;
    v[13] = 16388;
    v[15] = 65524;
    v[18] = 250;
    return v;
}

const std::string kCanonSettingsLines =
    "\r\nMacro mode = Normal\r\nSelf Timer =  2\r\nCompression Rate = Fine"
    "\r\nFlash Mode = Not fired\r\nDrive Mode = Continuous\r\nFocus Mode = MF"
    "\r\nImage Size = Medium\r\nEasy Shoot = Macro/Close-Up\r\nContrast = Low"
    "\r\nSaturation = Normal\r\nSharpness = High\r\nCCD ISO = 100\r\nMetering Mode = Normal"
    "\r\nAF Point = Normal\r\nExposure Mode = High\r\nLong focal =  21\r\nShort focal =  7"
    "\r\nFocal Units =  1000\r\nFlash Details =  8\r\nFocus Mode = Low";

const Tags kCanonSettingsTags = {
    {"Macro mode", "Normal"},   {"Self Timer", " 2"},       {"Compression Rate", "Fine"},
    {"Flash Mode", "Not fired"}, {"Drive Mode", "Continuous"}, {"Focus Mode", "MF"},
    {"Image Size", "Medium"},   {"Easy Shoot", "Macro/Close-Up"}, {"Contrast", "Low"},
    {"Saturation", "Normal"},   {"Sharpness", "High"},      {"CCD ISO", "100"},
    {"Metering Mode", "Normal"}, {"AF Point", "Normal"},    {"Exposure Mode", "High"},
    {"Long focal", " 21"},      {"Short focal", " 7"},      {"Focal Units", " 1000"},
    {"Flash Details", " 8"},    {"Focus Mode", "Low"}};

Tags Concat(std::initializer_list<Tags> parts) {
    Tags out;
    for (const Tags& p : parts)
        for (const auto& t : p) out.push_back(t);
    return out;
}

const Bytes kNikonType3Prefix = Text("Nikon\0\2\x10\0\0MM\0\x2A\0\0\0\x08"sv);

std::vector<LayoutFile> Layouts() {
    std::vector<LayoutFile> cases;
    cases.push_back(
        {"NikonType3",
         {"NIKON CORPORATION", "NIKON D70", "0220", ByteOrder::Big, {}},
         kNikonType3Prefix,
         18,
         OffsetsFrom::NoteByte10,
         [](const NoteValues& v) -> std::vector<NoteEntry> {
             return {NoteValues::Undefined(0x0001, "0210"), v.Short(0x0002, {0, 200}),
                     v.Rational(0x000A, {{1, 1}}),
                     v.Rational(0x0084, {{180, 10}, {700, 10}, {35, 10}, {45, 10}}),
                     NoteValues::Ascii(0x008D, "MODE2\0"sv), v.Short(0x00AA, {7})};
         },
         "\r\nFamily ID = \"0210\"\r\nISO Speed = 0, 200"
         "\r\nLens information = 18.0-70.0(mm)  F3.5-F4.5"
         "\r\nColor Mode = Mode 2 (Adobe RGB)\r\nUnknown = 7",
         {{"FamilyID", "\"0210\""},
          {"ISOSpeed", "0, 200"},
          {"LensInformation", "18.0-70.0(mm)  F3.5-F4.5"},
          {"ColorMode", "Mode 2 (Adobe RGB)"}}});
    cases.push_back({"NikonType1",
                     {"NIKON", "E990", "0210", ByteOrder::Little, {}},
                     Text("Nikon\0\1\0"sv),
                     8,
                     OffsetsFrom::TiffHeader,
                     [](const NoteValues& v) -> std::vector<NoteEntry> {
                         return {v.Short(0x0003, {12}), v.Short(0x0004, {1}), v.Short(0x0006, {3}),
                                 v.Short(0x0009, {1}), v.Rational(0x000A, {{150, 100}})};
                     },
                     "\r\nQuality = 2 Mpixel Fine\r\nColorMode = Color\r\nISOSpeed = "
                     "\r\nDigitalZoom = 150/100",
                     {{"Quality", "2 Mpixel Fine"},
                      {"ColorMode", "Color"},
                      {"ISOSpeed", ""},
                      {"DigitalZoom", "150/100"}}});
    cases.push_back({"NikonWithoutPrefix",
                     {"Nikon", "E700", "0200", ByteOrder::Big, {}},
                     {},
                     0,
                     OffsetsFrom::TiffHeader,
                     [](const NoteValues& v) -> std::vector<NoteEntry> {
                         return {NoteValues::Ascii(0x0004, "FINE  \0"sv),
                                 v.Rational(0x0085, {{0, 1}}),
                                 NoteValues::Undefined(0x0F00, "12345678")};
                     },
                     "\r\nQuality = \"FINE  \"\r\nManual Focus Distance = 0/1",
                     {{"Quality", "\"FINE  \""}, {"ManualFocusDistance", "0/1"}}});
    cases.push_back({"Olympus",
                     {"OLYMPUS OPTICAL CO.,LTD", "C3030Z", "0210", ByteOrder::Little, {}},
                     Text("OLYMP\0\1\0"sv),
                     8,
                     OffsetsFrom::TiffHeader,
                     [](const NoteValues& v) -> std::vector<NoteEntry> {
                         return {v.Long(0x0200, {0, 1, 0}), v.Short(0x0201, {2}),
                                 v.Short(0x0202, {1}), v.Rational(0x0204, {{100, 100}}),
                                 NoteValues::Ascii(0x0207, "OK\0"sv),
                                 NoteValues::Undefined(0x0F00, "abcdefgh")};
                     },
                     "\r\nSpecialMode = 0, 1, 0\r\nJpegQual = HQ\r\nMacro = Macro;"
                     "\r\nDigital Zoom Ratio = 100/100\r\nFirmware = \"OK\"",
                     {{"SpecialMode", "0, 1, 0"},
                      {"JpegQual", "HQ"},
                      {"Macro", "Macro;"},
                      {"DigiZoom", "100/100"},
                      {"Firmware", "\"OK\""}}});
    cases.push_back({"CasioQvc",
                     {"CASIO COMPUTER CO.,LTD", "EX-Z3", "0220", ByteOrder::Big, {}},
                     Text("QVC\0\0\0"sv),
                     6,
                     OffsetsFrom::TiffHeader,
                     [](const NoteValues& v) -> std::vector<NoteEntry> {
                         return {v.Short(0x0002, {640, 480}), v.Short(0x0008, {2}),
                                 NoteValues::Undefined(0x0E00, "PrintIM\0"sv),
                                 v.Short(0x2000, {1}), v.Short(0x3000, {2})};
                     },
                     "\r\nThumbnail Dimensions = 640, 480\r\nQuality = Super Fine"
                     "\r\n\tPrint Image Matching Info = \"PrintIM.\"\r\nRecord Mode = Normal",
                     {{"ThumbnailDimensions", "640, 480"},
                      {"Quality", "Super Fine"},
                      {"PIM", "\"PrintIM.\""},
                      {"RecordMode", "Normal"}}});
    cases.push_back({"Casio",
                     {"CASIO", "QV-3000EX", "0210", ByteOrder::Little, {}},
                     {},
                     0,
                     OffsetsFrom::TiffHeader,
                     [](const NoteValues& v) -> std::vector<NoteEntry> {
                         return {v.Short(0x0001, {5}), v.Long(0x0006, {1500}),
                                 v.Short(0x0008, {1}), v.Long(0x000A, {65537}),
                                 v.Short(0x0014, {64})};
                     },
                     "\r\nRecordingMode = Landscape\r\nObjectDistance = 1500"
                     "\r\nDigitalZoom = 2X Digital Zoom\r\nCCDSensitivity = Normal",
                     {{"RecordingMode", "Landscape"},
                      {"ObjectDistance", "1500"},
                      {"DigitalZoom", "2X Digital Zoom"},
                      {"CCDSensitivity", "Normal"}}});
    {
        // A big-endian file: the note is read little-endian, the EXIF entry after it in the
        // file's order again.
        const NoteValues big(ByteOrder::Big);
        Camera fuji{"FUJIFILM", "FinePix S2Pro", "0220", ByteOrder::Big, {big.Long(0xA002, {640})}};
        Bytes prefix = Text("FUJIFILM");
        prefix = testing::Append(prefix, NoteValues(ByteOrder::Little).U32(12));
        cases.push_back({"Fujifilm",
                         fuji,
                         prefix,
                         12,
                         OffsetsFrom::NoteStart,
                         [](const NoteValues& v) -> std::vector<NoteEntry> {
                             return {NoteValues::Undefined(0x0000, "0130"),
                                     NoteValues::Ascii(0x1000, "NORMAL \0"sv),
                                     v.Short(0x1001, {3}), v.Short(0x1031, {512}),
                                     v.Short(0x1032, {1})};
                         },
                         "\r\nVersion = \"0130\"\r\nQuality = \"NORMAL \"\r\nSharpness = Normal"
                         "\r\nPictureMode = Shutter prior AE",
                         {{"Quality", "\"NORMAL \""},
                          {"Sharpness", "Normal"},
                          {"PictureMode", "Shutter prior AE"}},
                         true});
    }
    cases.push_back(
        {"Canon",
         {"Canon", "Canon PowerShot S40", "0220", ByteOrder::Little, {}},
         {},
         0,
         OffsetsFrom::TiffHeader,
         [](const NoteValues& v) -> std::vector<NoteEntry> {
             return {v.Short(0x0001, CanonSettings()), v.Short(0x0004, CanonShotInfo()),
                     NoteValues::Ascii(0x0006, "IMG:PowerShot S40 JPEG\0"sv),
                     v.Long(0x0008, {1001234}), v.Short(0x000F, {10, 257, 512, 3841}),
                     v.Long(0x0010, {1})};
         },
         kCanonSettingsLines + "\r\nExposureInfo1 = " + Rendered(CanonSettings()) +
             "\r\nWhite balance = Flourescent\r\nSequence Number =  3\r\nOpticalZoom Step =  5"
             "\r\nAF point =  16388\r\nFlash bias = -0.33 EV\r\nDistance =  250"
             "\r\nExposureInfo2 = " + Rendered(CanonShotInfo()) +
             "\r\nImageType = \"IMG:PowerShot S40 JPEG\"\r\nImageNumber = 1001234"
             "\r\nNoise Reduction =  On\r\nShutter AE Lock Button = AF/AE lock"
             "\r\nShutter Release w/o CF Card = Disable"
             "\r\nCustomFunctions = 10, 257, 512, 3841",
         Concat({kCanonSettingsTags,
                 {{"ExposureInfo1", Rendered(CanonSettings())},
                  {"White balance", "Flourescent"},
                  {"Sequence Number", " 3"},
                  {"OpticalZoom Step", " 5"},
                  {"AF point", " 16388"},
                  {"Flash bias", "-0.33 EV"},
                  {"Distance", " 250"},
                  {"ExposureInfo2", Rendered(CanonShotInfo())},
                  {"ImageType", "\"IMG:PowerShot S40 JPEG\""},
                  {"ImageNumber", "1001234"},
                  {"Noise Reduction", " On"},
                  {"Shutter AE Lock Button", "AF/AE lock"},
                  {"Shutter Release w/o CF Card", "Disable"},
                  {"CustomFunctions", "10, 257, 512, 3841"}}})});
    cases.push_back({"Seiko",
                     {"SEIKO EPSON CORP.", "PhotoPC 3000Z", "0210", ByteOrder::Little, {}},
                     Text("SEIKO\0\1\0"sv),
                     8,
                     OffsetsFrom::TiffHeader,
                     [](const NoteValues& v) -> std::vector<NoteEntry> {
                         return {v.Long(0x0200, {0, 0, 0}), v.Short(0x0203, {1}),
                                 v.Long(0x020B, {1600}), v.Short(0x0300, {1})};
                     },
                     "\r\nSpecial Mode = 0, 0, 0\r\nWidth = 1600\r\n?? = 1",
                     {{"Special Mode", "0, 0, 0"}, {"Width", "1600"}, {"??", "1"}}});
    cases.push_back({"Sanyo",
                     {"SANYO Electric Co.,Ltd.", "SR6", "0210", ByteOrder::Big, {}},
                     Text("SANYO\0\1\0"sv),
                     8,
                     OffsetsFrom::TiffHeader,
                     [](const NoteValues& v) -> std::vector<NoteEntry> {
                         return {v.Short(0x0201, {0x0201}), v.Short(0x0203, {1}),
                                 NoteValues::Undefined(0x0F00, "\x01\x02" "dump\0\x1F"sv)};
                     },
                     "\r\nJpegQuality = 513\r\nDataDump = \"..dump..\"",
                     {{"JpegQuality", "513"}, {"DataDump", "\"..dump..\""}}});
    cases.push_back({"Minolta",
                     {"Minolta Co., Ltd.", "DiMAGE 7", "0220", ByteOrder::Little, {}},
                     {},
                     0,
                     OffsetsFrom::TiffHeader,
                     [](const NoteValues&) -> std::vector<NoteEntry> {
                         return {NoteValues::Undefined(0x0000, "MLY0"),
                                 NoteValues::Undefined(0x0E00, "PIM\0\x01" "AB\x1F"sv)};
                     },
                     "\r\nModelID = \"MLY0\"\r\nPIMdata = \"PIM..AB.\"",
                     {{"PIMdata", "\"PIM..AB.\""}}});
    return cases;
}

Bytes TiffFor(const LayoutFile& c) {
    return testing::ExifTiffWithNote(c.camera, [&](std::int64_t noteOffset) {
        std::int64_t delta = 0;
        if (c.offsets == OffsetsFrom::TiffHeader) delta = noteOffset;
        if (c.offsets == OffsetsFrom::NoteByte10) delta = -10;
        const ByteOrder order = c.littleEndianNote ? ByteOrder::Little : c.camera.order;
        return BuildNote(c.prefix, c.directoryStart, order, c.entries(NoteValues(order)), delta);
    });
}

Tags MakerTags(const TiffDirectory& info) {
    Tags out;
    for (const TagEntry& e : info.Tags())
        if (e.Origin == TagOrigin::MakerNote) out.emplace_back(e.TagName, e.DisplayText);
    return out;
}

class MakerNoteInFile : public ::testing::TestWithParam<std::tuple<LayoutFile, bool>> {};

TEST_P(MakerNoteInFile, IsDecodedLineByLine) {
    const auto& [c, tiffFile] = GetParam();
    const Bytes tiff = TiffFor(c);
    const Bytes file = tiffFile ? tiff : testing::JpegWithExif(tiff);
    ExifReader reader(FullReaderParts);
    reader.OpenBuffer(file, tiffFile ? exif::SourceFormat::Tiff : exif::SourceFormat::Jpeg);
    EXPECT_EQ(reader.StatusText(), "<none>");
    ASSERT_NE(reader.Directory(), nullptr);
    const TiffDirectory& info = *reader.Directory();
    EXPECT_TRUE(info.MakerNoteDecoded());
    EXPECT_EQ(info.MakerNoteText(), c.text);
    EXPECT_EQ(MakerTags(info), c.tags);
    EXPECT_EQ(info.TagValueByName("Make"), c.camera.make);
    EXPECT_NE(info.IndexOfTagName("MakerNote"), -1);
    if (!c.camera.afterNote.empty()) {
        EXPECT_EQ(info.PixelWidth(), 640);
        EXPECT_EQ(info.TagValueByName("ExifImageWidth"), "640");
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryLayout, MakerNoteInFile, ::testing::Combine(::testing::ValuesIn(Layouts()), ::testing::Bool()),
    [](const ::testing::TestParamInfo<MakerNoteInFile::ParamType>& param) {
        return std::string(std::get<0>(param.param).title) +
               (std::get<1>(param.param) ? "InTiffFile" : "InJpegFile");
    });

TEST(MakerNoteOfAnotherMaker, IsLeftAlone) {
    LayoutFile c = Layouts()[7];  // the Canon note
    c.camera.make = "PENTAX";
    ExifReader reader(FullReaderParts);
    reader.OpenBuffer(testing::JpegWithExif(TiffFor(c)), exif::SourceFormat::Jpeg);
    ASSERT_NE(reader.Directory(), nullptr);
    EXPECT_FALSE(reader.Directory()->MakerNoteDecoded());
    EXPECT_EQ(reader.Directory()->MakerNoteText(), "");
    EXPECT_EQ(MakerTags(*reader.Directory()), Tags{});
}

TEST(MakerNoteOfAnotherMaker, InTheRealCameraFilesIsStoredButNotDecoded) {
    const std::filesystem::path fixtures = VELTRANE_FIXTURES_DIR;
    if (!std::filesystem::exists(fixtures / "frozenpond.mpo")) GTEST_SKIP() << "no fixtures";
    for (const char* name : {"frozenpond.mpo", "sugarshack.mpo"}) {
        SCOPED_TRACE(name);
        std::ifstream in(fixtures / name, std::ios::binary);
        const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ExifReader reader(FullReaderParts);
        reader.OpenBuffer(file, exif::SourceFormat::Jpeg);  // the walk stops at the first image's scan
        ASSERT_NE(reader.Directory(), nullptr);
        EXPECT_EQ(reader.Directory()->MakeText(), "Nintendo");
        EXPECT_FALSE(reader.Directory()->MakerNoteDecoded());
        EXPECT_EQ(reader.Directory()->MakerNoteText(), "");
        EXPECT_NE(reader.Directory()->IndexOfTagName("MakerNote"), -1);
        EXPECT_EQ(MakerTags(*reader.Directory()), Tags{});
    }
}

}  // namespace
}  // namespace veltrane::exif
