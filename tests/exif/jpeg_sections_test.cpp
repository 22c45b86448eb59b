// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/exif/exif_reader.h"
#include "core/metadata/metadata_reader.h"
#include "tests/exif/exif_test_support.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::exif {
namespace {

using ::testing::ElementsAre;
using samples::TiffBuilder;
using namespace veltrane::exif::testing;

Bytes SmallTiff() {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Cam");
    return t.Build();
}

Bytes ExifApp1() { return Segment(0xE1, ExifPayload(SmallTiff())); }
Bytes Other(std::uint8_t marker) { return Segment(marker, BytesOf("abc")); }

using TempFolder = veltrane::testing::TempDir;

TEST(OpenFile, ReadsNothingForAPathThatNamesNoFile) {
    ExifReader reader{FullReaderParts};
    TempFolder folder;
    EXPECT_FALSE(reader.OpenFile(folder / "missing.jpg"));
    EXPECT_EQ(reader.StatusText(), "");
    EXPECT_EQ(reader.Directory(), nullptr);
    EXPECT_FALSE(reader.OpenFile(folder.Path().string()));  // a folder is no file either
    EXPECT_EQ(reader.StatusText(), "");
}

TEST(OpenFile, ChoosesTheFormatByTheExtensionInAnyLetterCase) {
    TempFolder folder;
    const Bytes jpeg = JpegOf({ExifApp1()});
    const Bytes tiff = SmallTiff();
    const struct {
        const char* name;
        const Bytes* bytes;
        bool read;
    } cases[] = {
        {"a.jpg", &jpeg, true},  {"b.JPG", &jpeg, true},  {"c.Jpeg", &jpeg, true}, {"d.jpe", &jpeg, true},
        {"e.tif", &tiff, true},  {"f.TIFF", &tiff, true}, {"g.NEF", &tiff, true},  {"h.png", &jpeg, false},
        {"i", &jpeg, false},     {"j.jpg.bak", &jpeg, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExifReader reader{FullReaderParts};
        const bool found = reader.OpenFile(folder.Write(c.name, *c.bytes));
        EXPECT_EQ(found, c.read);
        EXPECT_EQ(reader.StatusText(), c.read ? "<none>" : "Not an EXIF file");
        if (c.read) {
            ASSERT_NE(reader.Directory(), nullptr);
            EXPECT_EQ(reader.Directory()->MakeText(), "Cam");
        }
    }
}

TEST(OpenFile, ReadsTheSameAsTheBufferForm) {
    TempFolder folder;
    const Bytes jpeg = samples::SampleStereoImage(1);
    ExifReader fromFile{FullReaderParts}, fromBuffer{FullReaderParts};
    fromFile.OpenFile(folder.Write("x.jpg", jpeg));
    fromBuffer.OpenBuffer(jpeg, exif::SourceFormat::Jpeg);
    EXPECT_EQ(fromFile.StatusText(), fromBuffer.StatusText());
    EXPECT_EQ(fromFile.Sections().size(), fromBuffer.Sections().size());
    EXPECT_EQ(fromFile.Directory()->InfoText(), fromBuffer.Directory()->InfoText());
}

TEST(OpenFile, ForgetsThePreviousFile) {
    ExifReader reader{FullReaderParts};
    reader.OpenBuffer(JpegOf({ExifApp1()}), SourceFormat::Jpeg);
    ASSERT_TRUE(reader.HasExifSection());
    EXPECT_FALSE(reader.OpenBuffer(JpegOf({Other(0xE0)}), SourceFormat::Jpeg));
    EXPECT_FALSE(reader.HasExifSection());
    EXPECT_EQ(reader.Directory(), nullptr);
    EXPECT_EQ(reader.Sections().size(), 2u);
}

TEST(JpegWalk, AcceptsAnApp1RightAfterTheStartOfImage) {
    const auto reader = ReadJpeg(JpegOf({ExifApp1()}));
    EXPECT_TRUE(reader->HasExifSection());
    EXPECT_EQ(reader->ExifSection(), &reader->Sections()[0]);
    EXPECT_EQ(reader->StatusText(), "<none>");
    EXPECT_EQ(reader->Sections()[0].Marker, 0xE1);
    EXPECT_EQ(reader->Sections()[0].Length, static_cast<int>(reader->Sections()[0].Bytes.size()));
    EXPECT_EQ(reader->Sections().size(), 2u);  // the APP1 and the start of scan
    EXPECT_EQ(reader->Sections()[1].Marker, 0xDA);
}

TEST(JpegWalk, GivesUpAtTheFifthSectionWithoutMetadataBefore) {
    const auto reader = ReadJpeg(JpegOf({Other(0xE0), Other(0xE2), Other(0xDB), Other(0xC4), ExifApp1()}));
    EXPECT_FALSE(reader->HasAnyMetadata());
    EXPECT_EQ(reader->Sections().size(), 5u);
    EXPECT_EQ(reader->StatusText(), "Not an EXIF file");
    ExifReader again{FullReaderParts};
    EXPECT_FALSE(again.OpenBuffer(JpegOf({Other(0xE0), Other(0xE2), Other(0xDB), Other(0xC4), ExifApp1()}), SourceFormat::Jpeg));
}

TEST(JpegWalk, AcceptsAFifthApp1AfterACommentButNotASixth) {
    const auto fifth = ReadJpeg(JpegOf({Other(0xE0), Other(0xFE), Other(0xDB), Other(0xC4), ExifApp1()}));
    EXPECT_EQ(fifth->ExifSection(), &fifth->Sections()[4]);
    EXPECT_EQ(fifth->CommentSection(), &fifth->Sections()[1]);
    const auto sixth =
        ReadJpeg(JpegOf({Other(0xE0), Other(0xFE), Other(0xDB), Other(0xC4), Other(0xC0), ExifApp1()}));
    EXPECT_FALSE(sixth->HasExifSection());
    EXPECT_TRUE(sixth->HasAnyMetadata());
    EXPECT_EQ(sixth->Sections()[5].Marker, 0xDA);  // the refused APP1 gave its slot back
}

TEST(JpegWalk, KeepsOnlyTheFirstApp1AndReusesTheSlotOfLaterOnes) {
    const auto reader = ReadJpeg(JpegOf({ExifApp1(), Segment(0xE1, BytesOf("http://ns.adobe.com/xap/1.0/")),
                                         Other(0xDB)}));
    EXPECT_EQ(reader->ExifSection(), &reader->Sections()[0]);
    EXPECT_EQ(reader->Sections()[1].Marker, 0xDB);
    EXPECT_EQ(reader->Sections()[2].Marker, 0xDA);
    EXPECT_EQ(reader->Sections().size(), 3u);
}

TEST(JpegWalk, ReadsPastTwentyMarkersWhenApp1SectionsAreRefused) {
    Bytes jpeg = {0xFF, 0xD8};
    Append(jpeg, ExifApp1());
    for (int i = 0; i < 30; ++i) Append(jpeg, Segment(0xE1, BytesOf("more")));
    Append(jpeg, Other(0xFE));
    Append(jpeg, {0xFF, 0xD9, 0x00, 0x02});
    const auto reader = ReadJpeg(jpeg);
    EXPECT_EQ(reader->CommentSection(), &reader->Sections()[1]);
    EXPECT_EQ(reader->Sections().size(), 3u);
    EXPECT_EQ(reader->StatusText(), "<none>");
}

TEST(JpegWalk, StoresAtMostTwentySections) {
    Bytes jpeg = {0xFF, 0xD8};
    Append(jpeg, Other(0xFE));
    for (int i = 0; i < 30; ++i) Append(jpeg, Other(0xE2));
    const auto reader = ReadJpeg(jpeg);
    EXPECT_EQ(reader->Sections().size(), 20u);
    EXPECT_EQ(reader->StatusText(), "<none>");
}

TEST(JpegWalk, SkipsFillBytesBeforeAMarker) {
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xFF};
    Append(jpeg, ExifApp1());
    Append(jpeg, {0xFF, 0xD9, 0x00, 0x02});
    const auto reader = ReadJpeg(jpeg);
    EXPECT_EQ(reader->Sections()[0].Marker, 0xE1);
    EXPECT_TRUE(reader->HasExifSection());
}

TEST(JpegWalk, StopsAtTheStartOfScan) {
    Bytes jpeg = JpegOf({Other(0xE0)});
    Append(jpeg, Other(0xFE));  // after the scan: never read
    const auto reader = ReadJpeg(jpeg);
    EXPECT_FALSE(reader->HasAnyMetadata());
    EXPECT_EQ(reader->Sections().size(), 2u);
}

TEST(JpegWalk, KeepsTheFirstIptcSectionAndTheLastComment) {
    const auto reader = ReadJpeg(JpegOf({Segment(0xED, BytesOf("Photoshop 3.0")), Other(0xFE),
                                         Segment(0xED, BytesOf("second")), Segment(0xFE, BytesOf("last"))}));
    EXPECT_EQ(reader->IptcSection(), &reader->Sections()[0]);
    ASSERT_NE(reader->Iptc(), nullptr);
    EXPECT_FALSE(reader->Iptc()->HasDatasets());
    EXPECT_EQ(reader->CommentSection(), &reader->Sections()[3]);
    EXPECT_FALSE(reader->HasExifSection());
    EXPECT_TRUE(reader->HasAnyMetadata());
}

TEST(JpegWalk, RefusesFilesWithoutStartOfImage) {
    const Bytes cases[] = {{}, {0xFF}, {0xFF, 0xD9}, {0x00, 0xD8, 0xFF, 0xE1}};
    for (const Bytes& bytes : cases) {
        ExifReader reader{FullReaderParts};
        EXPECT_FALSE(reader.OpenBuffer(bytes, exif::SourceFormat::Jpeg));
        EXPECT_EQ(reader.StatusText(), "Not an EXIF file");
        EXPECT_EQ(reader.Sections().size(), 0u);
    }
}

TEST(JpegWalk, FailsTheLoadOnSectionLengthsBelowTwo) {
    for (std::uint8_t length : {std::uint8_t{0}, std::uint8_t{1}}) {
        SCOPED_TRACE(static_cast<int>(length));
        Bytes jpeg = {0xFF, 0xD8};
        Append(jpeg, Other(0xFE));
        Append(jpeg, {0xFF, 0xE2, 0x00, length, 0xFF, 0xD9});
        ExifReader reader{FullReaderParts};
        EXPECT_TRUE(reader.OpenBuffer(jpeg, exif::SourceFormat::Jpeg));  // the comment before still counts
        EXPECT_EQ(reader.StatusText(), "Not an EXIF file");
        EXPECT_EQ(reader.Sections().size(), 2u);
        EXPECT_EQ(reader.Sections()[1].Length, length);
    }
}

TEST(JpegWalk, KeepsTheDeclaredLengthOfASectionCutShort) {
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xFE, 0xFF, 0xFF, 'a', 'b'};
    const auto reader = ReadJpeg(jpeg);
    EXPECT_EQ(reader->Sections()[0].Length, 0xFFFF);
    ASSERT_EQ(reader->Sections()[0].Bytes.size(), 0xFFFFu);
    EXPECT_EQ(reader->Sections()[0].Bytes.substr(0, 5), std::string("\xFF\xFF" "ab\0", 5));
    EXPECT_EQ(reader->Sections()[0].Bytes.back(), '\0');
    // The file ends where the next marker should be: the load fails, the comment stays.
    EXPECT_EQ(reader->CommentSection(), &reader->Sections()[0]);
    EXPECT_EQ(reader->StatusText(), "Not an EXIF file");
}

TEST(JpegWalk, FailsTheLoadWhenTheFileEndsInsideAMarker) {
    const Bytes cases[] = {{0xFF, 0xD8}, {0xFF, 0xD8, 0xFF}, {0xFF, 0xD8, 0xFF, 0xFF, 0xFF}, {0xFF, 0xD8, 0xFF, 0xE1, 0x00}};
    for (const Bytes& bytes : cases) {
        ExifReader reader{FullReaderParts};
        EXPECT_FALSE(reader.OpenBuffer(bytes, exif::SourceFormat::Jpeg));
        EXPECT_EQ(reader.StatusText(), "Not an EXIF file");
    }
}

TEST(CheckExifHeader, WalksNothingAfterAWrongHeader) {
    const struct {
        const char* what;
        Bytes payload;
        const char* error;
    } cases[] = {
        {"Exif followed by a byte other than NUL", BytesOf(std::string_view("Exif\x01\0II*\0\x08\0\0\0", 14)),
         "Incorrect Exif header"},
        {"no Exif at all", BytesOf("JFIF"), "Incorrect Exif header"},
        {"a payload shorter than the magic", BytesOf("Ex"), "Incorrect Exif header"},
        {"byte order mark XX", BytesOf(std::string_view("Exif\0\0XX*\0\x08\0\0\0", 14)),
         "Invalid Exif alignment marker"},
        {"no byte order mark", BytesOf(std::string_view("Exif\0\0", 6)), "Invalid Exif alignment marker"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The load succeeds, so its "<none>" replaces the header's text ...
        const auto complete = ReadJpeg(JpegOf({Segment(0xE1, c.payload)}));
        EXPECT_TRUE(complete->HasExifSection());
        ASSERT_NE(complete->Directory(), nullptr);
        EXPECT_EQ(complete->Directory()->TagCount(), 0);
        EXPECT_EQ(complete->StatusText(), "<none>");
        // ... unless the load fails afterwards.
        Bytes truncated = {0xFF, 0xD8};
        Append(truncated, Segment(0xE1, c.payload));
        const auto failed = ReadJpeg(truncated);
        EXPECT_EQ(failed->StatusText(), c.error);
    }
}

TEST(CheckExifHeader, FailsTheLoadWhenTheSectionEndsBeforeTheFirstOffset) {
    const auto reader = ReadJpeg(JpegOf({Segment(0xE1, BytesOf(std::string_view("Exif\0\0MM\0*", 10)))}));
    EXPECT_TRUE(reader->HasExifSection());
    ASSERT_NE(reader->Directory(), nullptr);
    EXPECT_EQ(reader->Directory()->Order(), ByteOrder::BigEndian);
    EXPECT_EQ(reader->StatusText(), "Not an EXIF file");
}

TEST(CheckExifHeader, StartsAtTheHeaderWhenTheFirstOffsetIsZero) {
    Bytes tiff = SmallTiff();
    tiff[4] = 0;  // first directory offset 0: taken as 8
    const auto reader = ReadJpeg(JpegWithTiff(tiff));
    EXPECT_EQ(reader->Directory()->MakeText(), "Cam");
}

TEST(TiffRead, TakesTheFirstDirectoryAtOffsetEightWhateverTheHeaderSays) {
    Bytes tiff = SmallTiff();
    tiff[4] = 100;
    const auto reader = ReadTiff(tiff);
    EXPECT_EQ(reader->StatusText(), "<none>");
    EXPECT_EQ(reader->Directory()->MakeText(), "Cam");
    EXPECT_EQ(reader->ExifSection(), &reader->Sections()[0]);
    EXPECT_EQ(reader->Sections().size(), 1u);
    EXPECT_EQ(reader->Sections()[0].Bytes.size(), 256000u);
    EXPECT_TRUE(reader->Directory()->TiffFile());
    EXPECT_EQ(reader->Directory()->Data().Tiff.FirstOffset(), 8);  // the header is not held
}

TEST(TiffRead, ReadsBigEndianFiles) {
    TiffBuilder t(samples::ByteOrder::Big);
    const int ifd0 = t.AddIfd();
    t.Short(ifd0, 0x0100, {1234});
    const auto reader = ReadTiff(t.Build());
    EXPECT_EQ(reader->Directory()->Order(), ByteOrder::BigEndian);
    EXPECT_EQ(reader->Directory()->PixelWidth(), 1234);
}

TEST(TiffRead, RefusesFilesWithoutByteOrderMark) {
    const Bytes cases[] = {{}, {'I'}, {'I', 'M', 42, 0}, {0xFF, 0xD8, 0xFF, 0xE1}};
    for (const Bytes& bytes : cases) {
        ExifReader reader{FullReaderParts};
        EXPECT_FALSE(reader.OpenBuffer(bytes, exif::SourceFormat::Tiff));
        EXPECT_EQ(reader.StatusText(), "Not an EXIF file");
        EXPECT_EQ(reader.Directory(), nullptr);
    }
}

TEST(TiffRead, ReadsAFileOfOnlyItsHeader) {
    const Bytes bytes = {'M', 'M'};
    ExifReader reader{FullReaderParts};
    EXPECT_TRUE(reader.OpenBuffer(bytes, exif::SourceFormat::Tiff));
    EXPECT_EQ(reader.StatusText(), "<none>");  // the zero count at offset 8 is an empty directory
    EXPECT_EQ(reader.Directory()->TagCount(), 0);
}

TEST(JpegWalk, ReadsNoFurtherThanTheStartOfScan) {
    // Whatever follows the scan header, including a truncated tail, does not change the result.
    Bytes jpeg = samples::SampleStereoImage(0);
    const auto whole = ReadJpeg(jpeg);
    for (std::size_t i = 0; i < 1000; ++i) jpeg.push_back(0xFF);
    const auto longer = ReadJpeg(jpeg);
    EXPECT_EQ(whole->Directory()->InfoText(), longer->Directory()->InfoText());
    EXPECT_EQ(longer->StatusText(), "<none>");
}

}  // namespace
}  // namespace veltrane::exif
