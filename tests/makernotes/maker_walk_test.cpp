// SPDX-License-Identifier: GPL-3.0-or-later
// The maker-note walk on its own: a directory that collects what it decodes, and a small
// stand-in for the stored EXIF section with the note at a known place in it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/exif/tiff_directory.h"
#include "core/makernotes/maker_decoders.h"
#include "core/makernotes/maker_notes.h"
#include "core/metadata/metadata_reader.h"
#include "tests/makernotes/note_builder.h"

namespace veltrane::exif {
namespace {

using testing::BuildNote;
using testing::Bytes;
using testing::NoteEntry;
using testing::NoteValues;
using namespace std::string_view_literals;
namespace samples = veltrane::samples;

constexpr const char* kTooShort =
    "Error Detected = Maker-note directory runs past the end of the maker note";

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

class MakerWalk : public ::testing::Test {
protected:
    // The note is byte 40 of the stored section. In a JPEG file's section the TIFF data starts
    // at byte 8, so the note's TIFF offset is 32; a TIFF file's section holds the data from
    // offset 8 on, so there it is 48.
    static constexpr std::size_t kNoteIndex = 40;
    static std::int64_t NoteOffset(bool tiffFile) { return tiffFile ? 48 : 32; }

    std::string section;
    std::unique_ptr<TiffDirectory> info;

    static MakerNote NoteOf(std::string_view make, std::string_view note, bool tiffFile,
                            std::string_view version, std::string_view section = {},
                            ByteOrder order = ByteOrder::LittleEndian) {
        return {note, NoteOffset(tiffFile), make, "", version, tiffFile, order, section};
    }

    // Stored offset of a value at note byte p is p + Delta(make, note, tiffFile).
    static std::int64_t Delta(const std::string& make, const std::string& note, bool tiffFile,
                              const std::string& version = "0220") {
        return -SelectMakerLayout(NoteOf(make, note, tiffFile, version))->NoteIndexOfOffsetZero;
    }

    // The section's bytes: 40 bytes 's', the note, 40 bytes 't'.
    bool Decode(const std::string& make, const std::string& note, bool bigEndian = false,
                CollectMode collect = CollectMode::Everything, bool tiffFile = false,
                const std::string& version = "0220") {
        section = std::string(kNoteIndex, 's') + note + std::string(40, 't');
        info = std::make_unique<TiffDirectory>(ExifData{}, ReaderOptions{{}, collect, {}});
        const std::string_view noteBytes = std::string_view(section).substr(kNoteIndex, note.size());
        return DecodeMakerNote(NoteOf(make, noteBytes, tiffFile, version, section,
                                      bigEndian ? ByteOrder::BigEndian : ByteOrder::LittleEndian),
                               *info);
    }

    // The directory's problem as the reader's status would show it; "<before>" for none.
    std::string Status() const {
        return info->Problem() ? StatusText(*info->Problem(), info->ProblemDetail()) : "<before>";
    }

    std::vector<std::string> TagNames() const {
        std::vector<std::string> names;
        for (const TagEntry& tag : info->Tags()) names.push_back(tag.TagName);
        return names;
    }
};

TEST_F(MakerWalk, LeavesOtherMakersAlone) {
    EXPECT_FALSE(Decode("PENTAX Corporation", std::string(30, '\1')));
    EXPECT_EQ(info->MakerNoteText(), "");
    EXPECT_EQ(Status(), "<before>");
}

TEST_F(MakerWalk, WritesUnknownTagsAsLinesButSkipsSkipRows) {
    const NoteValues v(samples::ByteOrder::Little);
    const std::string note = AsString(BuildNote({}, 0, samples::ByteOrder::Little,
                                                {v.Short(0x0000, {1}), v.Short(0x0006, {7}),
                                                 v.Long(0x0008, {1001234}), v.Short(0x0077, {5})},
                                                0));
    EXPECT_TRUE(Decode("Canon", note));
    EXPECT_EQ(info->MakerNoteText(), "\r\nImageType = 7\r\nImageNumber = 1001234\r\nUnknown = 5");
    EXPECT_EQ(TagNames(), (std::vector<std::string>{"ImageType", "ImageNumber"}));
    const TagEntry& number = info->Tags()[1];
    EXPECT_EQ(number.Origin, TagOrigin::MakerNote);
    EXPECT_EQ(number.FieldType, 4);
    EXPECT_EQ(number.TagNumber, 0x0008);
    EXPECT_EQ(number.DisplayText, "1001234");
    EXPECT_EQ(number.RawBytes, AsString(v.U32(1001234)));
    EXPECT_EQ(number.ValueOffset, 0u);
    EXPECT_EQ(number.RawLength, 0);
    EXPECT_EQ(Status(), "<before>");
}

TEST_F(MakerWalk, EndsQuietlyAtACountOfZero) {
    EXPECT_TRUE(Decode("Canon", std::string(2, '\0')));
    EXPECT_EQ(info->MakerNoteText(), "");
    EXPECT_EQ(Status(), "<before>");
}

TEST_F(MakerWalk, EndsWithAnErrorWhenTheCountPromisesMoreEntriesThanTheNoteHolds) {
    const NoteValues v(samples::ByteOrder::Big);
    Bytes note = BuildNote({}, 0, samples::ByteOrder::Big, {v.Long(0x0008, {77})}, 0);
    note[0] = 0xFF;  // count 0xFFFF
    note[1] = 0xFF;
    EXPECT_TRUE(Decode("CANON INC.", AsString(note), true));
    EXPECT_EQ(info->MakerNoteText(), "\r\nImageNumber = 77");
    EXPECT_EQ(info->TagCount(), 1);
    EXPECT_EQ(Status(), kTooShort);
}

TEST_F(MakerWalk, SurvivesNotesCutShortAfterEveryPrefix) {
    struct Maker {
        const char* make;
        std::string prefix;
    };
    const Maker makers[] = {
        {"NIKON", std::string("Nikon\0\2\x10\0\0MM\0\x2A\0\0\0\x08", 18)},
        {"NIKON", std::string("Nikon\0\1\0", 8)},
        {"OLYMPUS", std::string("OLYMP\0\1\0", 8)},
        {"CASIO", std::string("QVC\0\0\0", 6)},
        {"FUJIFILM", std::string("FUJIFILM\x0C\0\0\0", 12)},
        {"SEIKO", std::string("SEIKO\0\1\0", 8)},
        {"SANYO", std::string("SANYO\0\1\0", 8)},
        {"CANON", ""},
        {"MINOLTA", ""},
        {"CASIO", ""},
    };
    const NoteValues v(samples::ByteOrder::Little);
    for (const Maker& m : makers) {
        const std::string version = m.prefix.size() == 8 && m.make[0] == 'N' ? "0210" : "0220";
        const std::string full = AsString(BuildNote(
            Bytes(m.prefix.begin(), m.prefix.end()), m.prefix.size(), samples::ByteOrder::Little,
            {v.Short(0x0201, {1}), v.Long(0x0202, {2, 3})}, 0));
        for (std::size_t extra = 0; extra <= 7; ++extra) {
            SCOPED_TRACE(std::string(m.make) + " + " + std::to_string(extra));
            const std::string note = full.substr(0, m.prefix.size() + extra);
            EXPECT_TRUE(Decode(m.make, note, false, CollectMode::Everything, false, version));
            EXPECT_EQ(info->MakerNoteText(), "");
            EXPECT_EQ(info->TagCount(), 0);
            EXPECT_EQ(Status(), kTooShort);
        }
    }
}

TEST_F(MakerWalk, ClipsValuesWhoseOffsetsPointAnywhere) {
    const NoteValues v(samples::ByteOrder::Little);
    auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                     std::uint32_t offset) {
        return NoteEntry{tag, type, count, v.U32(offset)};
    };
    // Offsets written into the entries directly (4-byte "values" of entries whose size is > 4).
    Bytes note = v.U16(6);
    for (const NoteEntry& e : {entry(0x0006, 2, 0xFFFFFFFF, 0xFFFFFFF0),  // far past both
                               entry(0x0007, 7, 16, 0),                   // before the note
                               entry(0x0008, 12, 0xFFFFFFFF, 0x7FFFFFFF),
                               entry(0x0009, 5, 0x20000000, 20),
                               entry(0x000C, 1, 200, 30),                 // past the section's end
                               entry(0x0070, 7, 5, 0xFFFFFFFF)}) {
        note = testing::Append(note, v.U16(e.tag));
        note = testing::Append(note, v.U16(e.type));
        note = testing::Append(note, v.U32(e.count));
        note = testing::Append(note, e.value);
    }
    note = testing::Append(note, v.U32(0));
    EXPECT_TRUE(Decode("Canon", AsString(note)));
    EXPECT_EQ(Status(), "<before>");
    ASSERT_EQ(TagNames(), (std::vector<std::string>{"ImageType", "FirmwareVersion", "ImageNumber",
                                                    "OwnerName", "CameraSerialNumber"}));
    // Fallback position o - 1 in the section's bytes, a start before the first byte counting as 0.
    EXPECT_EQ(info->Tags()[0].RawBytes, "");
    EXPECT_EQ(info->Tags()[1].RawBytes, section.substr(0, 16));
    EXPECT_EQ(info->Tags()[2].RawBytes, "");
    EXPECT_EQ(info->Tags()[3].RawBytes, section.substr(19));
    EXPECT_EQ(info->Tags()[4].RawBytes, section.substr(29));
    EXPECT_EQ(info->Tags()[0].DisplayText, "\"\"");
    EXPECT_EQ(info->Tags()[2].DisplayText, "");
    EXPECT_NE(info->MakerNoteText().find("\r\nUnknown = \"\""), std::string::npos);
}

TEST_F(MakerWalk, EndsWhenOverlappingValuesWouldCopyFarMoreThanTheData) {
    // 3000 entries whose values all are the same block: the section's bytes from their start.
    const NoteValues v(samples::ByteOrder::Little);
    Bytes note = v.U16(3000);
    for (int i = 0; i < 3000; ++i)
        for (const Bytes& b : {v.U16(0x0009), v.U16(7), v.U32(60000), v.U32(0)})
            note = testing::Append(note, b);
    note = testing::Append(note, v.U32(0));
    EXPECT_TRUE(Decode("Canon", AsString(note)));
    const auto sectionSize = static_cast<std::int64_t>(section.size());
    const std::int64_t budget = 2 * (static_cast<std::int64_t>(note.size()) + sectionSize) + 65536;
    EXPECT_EQ(info->TagCount(), budget / sectionSize);
    EXPECT_EQ(info->Tags()[0].RawBytes, section);
    EXPECT_EQ(Status(), "Error Detected = Maker-note values exceed the size of the data");
}

TEST_F(MakerWalk, TakesAValueEndingAtTheNotesLastByteFromTheNote) {
    const NoteValues v(samples::ByteOrder::Little);
    const std::int64_t delta = Delta("Canon", "", false);
    std::string note = AsString(
        BuildNote({}, 0, samples::ByteOrder::Little, {NoteValues::Ascii(0x0009, "Owner\0"sv)}, delta));
    EXPECT_TRUE(Decode("Canon", note));
    EXPECT_EQ(info->MakerNoteText(), "\r\nOwnerName = \"Owner\"");

    // One byte short: the same offset now leaves the note and is read from the section's bytes
    // at o - 1, here 9 bytes before the note's own copy.
    note.pop_back();
    EXPECT_TRUE(Decode("Canon", note));
    const std::size_t valueInNote = note.size() - 5;
    EXPECT_EQ(info->Tags()[0].RawBytes, section.substr(40 + valueInNote - 9, 6));
}

TEST_F(MakerWalk, ReadsAnOlympusValueOutsideTheNoteFromTheExifBytesAtOffsetPlusEight) {
    const NoteValues v(samples::ByteOrder::Little);
    Bytes note = testing::Text(std::string("OLYMP\0\1\0", 8));
    note = testing::Append(note, v.U16(1));
    // PictInfo, 10 bytes at stored offset 60: past the note, so from the section's byte 68.
    for (const Bytes& b : {v.U16(0x0208), v.U16(7), v.U32(10), v.U32(60)})
        note = testing::Append(note, b);
    note = testing::Append(note, v.U32(0));
    EXPECT_TRUE(Decode("OLYMPUS", AsString(note)));
    EXPECT_EQ(info->Tags()[0].RawBytes, section.substr(68, 10));
    EXPECT_EQ(info->MakerNoteText(), "\r\nPicture Info = \"tttttttttt\"");
}

TEST_F(MakerWalk, RendersAsciiWithoutANulWholeAndCutsLongLinesTo50) {
    const NoteValues v(samples::ByteOrder::Little);
    const std::int64_t delta = Delta("SANYO", "SANYO", false);
    const std::string dump(60, 'x');
    const std::string note = AsString(
        BuildNote(testing::Text("SANYO"), 8, samples::ByteOrder::Little,
                  {NoteValues::Ascii(0x0201, "ABCDEFGH"), NoteValues::Undefined(0x0F00, dump)},
                  delta));
    EXPECT_TRUE(Decode("SANYO", note));
    EXPECT_EQ(info->MakerNoteText(),
              "\r\nJpegQuality = \"ABCDEFGH\"\r\nDataDump = \"" + std::string(49, 'x'));
    EXPECT_EQ(info->Tags()[1].DisplayText, "\"" + std::string(49, 'x'));
    EXPECT_EQ(info->Tags()[1].RawBytes, dump);
}

TEST_F(MakerWalk, AddsNoLinesOrTagsWhenCollectingOnlyTheInfoText) {
    const NoteValues v(samples::ByteOrder::Little);
    const std::string note =
        AsString(BuildNote({}, 0, samples::ByteOrder::Little, {v.Short(0x0001, {0, 1, 0})}, 0));
    EXPECT_TRUE(Decode("Canon", note, false, CollectMode::InfoTextOnly));
    EXPECT_EQ(info->MakerNoteText(), "");
    EXPECT_EQ(info->TagCount(), 0);
}

TEST_F(MakerWalk, ReadsFujifilmNotesLittleEndianInFilesOfEitherByteOrder) {
    const NoteValues v(samples::ByteOrder::Little);
    Bytes prefix = testing::Text("FUJIFILM");
    prefix = testing::Append(prefix, v.U32(12));
    const std::string note = AsString(BuildNote(
        prefix, 12, samples::ByteOrder::Little, {v.Short(0x1001, {3}), v.Short(0x1031, {512})}, 0));
    EXPECT_TRUE(Decode("FUJIFILM", note, /*bigEndian=*/true));
    EXPECT_EQ(info->MakerNoteText(), "\r\nSharpness = Normal\r\nPictureMode = Shutter prior AE");

    // A note cut short ends its walk with an error.
    EXPECT_TRUE(Decode("FUJIFILM", note.substr(0, 20), true));
    EXPECT_EQ(Status(), kTooShort);
}

TEST_F(MakerWalk, SurvivesAnotherMakersNoteLayout) {
    // A Nikon type 3 note in files of every other maker, read with their layouts.
    const NoteValues v(samples::ByteOrder::Big);
    const std::string nikon = AsString(BuildNote(
        testing::Text(std::string("Nikon\0\2\x10\0\0MM\0\x2A\0\0\0\x08", 18)), 18, samples::ByteOrder::Big,
        {v.Rational(0x0084, {{180, 10}, {700, 10}, {35, 10}, {45, 10}}),
         NoteValues::Ascii(0x008D, "MODE2\0"sv)},
        -10));
    for (const char* make : {"Canon", "OLYMPUS", "FUJIFILM", "CASIO", "SEIKO", "SANYO", "MINOLTA"}) {
        for (bool bigEndian : {false, true}) {
            SCOPED_TRACE(make);
            EXPECT_TRUE(Decode(make, nikon, bigEndian));
            EXPECT_LE(info->TagCount(), 32);
        }
    }
}

TEST_F(MakerWalk, FindsTiffModeValuesRelativeToTheFileOffsets) {
    const NoteValues v(samples::ByteOrder::Little);
    const std::string note = AsString(BuildNote({}, 0, samples::ByteOrder::Little,
                                                {NoteValues::Ascii(0x0009, "Owner\0"sv)},
                                                Delta("Canon", "", true)));
    EXPECT_TRUE(Decode("Canon", note, false, CollectMode::Everything, true));
    EXPECT_EQ(info->MakerNoteText(), "\r\nOwnerName = \"Owner\"");
}

}  // namespace
}  // namespace veltrane::exif
