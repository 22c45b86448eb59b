// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <string>

#include "core/exif/exif_error.h"
#include "core/exif/exif_reader.h"
#include "core/metadata/metadata_reader.h"
#include "tests/exif/exif_test_support.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::exif {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using samples::TiffBuilder;
using namespace veltrane::exif::testing;

// The data of a walk over TIFF data alone: its section is the data itself.
ExifData TiffDataOnly(std::string_view tiff, ByteOrder order) { return {ByteReader(AsBytes(tiff), order), tiff, false}; }

TEST(WalkDirectory, FindsTagsByNameIgnoringLetterCaseAcrossSubDirectories) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), gps = t.AddIfd();
    t.Ascii(ifd0, 0x0132, "2024:01:02 03:04:05");
    t.Link(ifd0, 0x8825, gps);
    t.Rational(gps, 0x0002, {{50, 1}, {3, 1}, {1234, 100}});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    ASSERT_NE(reader->Directory(), nullptr);
    EXPECT_EQ(reader->StatusText(), "<none>");
    EXPECT_EQ(reader->Directory()->TagValueByName("datetime"), "2024:01:02 03:04:05");
    EXPECT_EQ(reader->Directory()->TagValueByName("GPSLatitude"), "50 Degrees 3 Minutes 12 Seconds");
    EXPECT_EQ(reader->Directory()->IndexOfTagName("GPSINFO"), 2);  // after the GPS tags it leads to
    EXPECT_EQ(reader->Directory()->TagValueByName("Make"), "");
    EXPECT_EQ(reader->Directory()->IndexOfTagName("Make"), -1);
}

TEST(WalkDirectory, WritesOneInfoLinePerEntryWithItsCaption) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Cam");
    t.Short(ifd0, 0x0112, {1});
    t.Short(ifd0, 0x1234, {7});  // not in the dictionary
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->Directory()->InfoText(), "\r\nMake = Cam\r\nOrientation = Normal\r\nUnknown = 7");
    // The unknown tag is shown but not stored.
    EXPECT_THAT(TagNames(*reader), ElementsAre("Make", "Orientation"));
}

TEST(WalkDirectory, RecordsAnEmptyDirectoryAndAddsNothing) {
    TiffBuilder t;
    t.AddIfd();
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->Directory()->TagCount(), 0);
    EXPECT_EQ(reader->Directory()->InfoText(), "");
    EXPECT_EQ(reader->Directory()->VisitedDirectories().count(8), 1u);
}

TEST(WalkDirectory, ReadsValuesOfUpToFourBytesFromTheEntryItself) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Short(ifd0, 0x0102, {8, 8});      // 4 bytes: in the entry
    t.Short(ifd0, 0x0115, {1, 2, 3});   // 6 bytes: at the offset
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    const TiffDirectory& info = *reader->Directory();
    ASSERT_EQ(info.TagCount(), 2);
    // Entry 0 starts at offset 8 + 2; its value field 8 bytes later.
    EXPECT_EQ(info.Tags()[0].ValueOffset, 8u + 2 + 8);
    EXPECT_EQ(info.Tags()[0].DisplayText, "8, 8");
    // The first directory holds 2 entries and a link: the value follows at TIFF offset 38.
    EXPECT_EQ(info.Tags()[1].ValueOffset, 38u);
    EXPECT_EQ(info.Tags()[1].DisplayText, "1, 2, 3");
    EXPECT_EQ(info.Tags()[1].RawLength, 6);
    EXPECT_EQ(info.Tags()[1].FieldType, 3);
    EXPECT_EQ(info.Tags()[1].Origin, TagOrigin::Directory);
}

TEST(WalkDirectory, SkipsEntriesWithoutBytes) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Raw(ifd0, 0x010E, 2, 0, {});               // count 0
    t.Raw(ifd0, 0x010F, 0, 4, {'a', 'b', 0, 0});  // type 0
    t.Raw(ifd0, 0x0110, 13, 4, {'a', 'b', 0, 0}); // type 13 has no size
    t.Ascii(ifd0, 0x0131, "sw");
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_THAT(TagNames(*reader), ElementsAre("Software"));
    EXPECT_EQ(reader->Directory()->InfoText(), "\r\nSoftware = sw");
}

TEST(WalkDirectory, KeepsTheLastWidthAndHeightItMeets) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Short(ifd0, 0x0100, {640});
    t.Short(ifd0, 0x0101, {480});
    t.Link(ifd0, 0x8769, exif);
    t.Long(exif, 0xA002, {3000});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->Directory()->PixelWidth(), 3000);
    EXPECT_EQ(reader->Directory()->PixelHeight(), 480);
}

TEST(WalkDirectory, WalksEveryDirectoryOnlyOnce) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Cam");
    t.Link(ifd0, 0x8769, exif);
    t.Link(ifd0, 0x8769, exif);     // the same directory again
    t.Link(exif, 0xA005, ifd0);     // back to the first directory
    t.Short(exif, 0x8827, {100});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_THAT(TagNames(*reader),
                ElementsAre("Make", "InteroperabilityOffset", "ISOSpeedRatings", "ExifOffset", "ExifOffset"));
    EXPECT_EQ(reader->Directory()->VisitedDirectories().size(), 2u);
}

TEST(WalkDirectory, WalksSubDirectoriesWhenTheirTagIsMet) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), exif = t.AddIfd(), interop = t.AddIfd(), sub = t.AddIfd();
    t.Link(ifd0, 0x014A, sub);
    t.Link(ifd0, 0x8769, exif);
    t.Ascii(ifd0, 0x8298, "(c)");
    t.Link(exif, 0xA005, interop);
    t.Ascii(interop, 0x0001, "R98");
    t.Short(sub, 0x0103, {6});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_THAT(TagNames(*reader), ElementsAre("Compression", "SubIFDs", "InteroperabilityIndex",
                                               "InteroperabilityOffset", "ExifOffset", "Copyright"));
    EXPECT_EQ(reader->Directory()->TagValueByName("Compression"), "Jpeg");
}

TEST(WalkDirectory, ShowsGpsVersionIdOnlyInTheInfoText) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), gps = t.AddIfd();
    t.Link(ifd0, 0x8825, gps);
    t.Byte(gps, 0x0000, {2, 2, 0, 0});
    t.Byte(gps, 0x0005, {0});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_THAT(reader->Directory()->InfoText(), HasSubstr("\r\nGPSVersion ID = 2, 2, 0, 0"));
    EXPECT_THAT(TagNames(*reader), ElementsAre("GPSAltitudeRef", "GPSInfo"));
    EXPECT_EQ(reader->Directory()->TagValueByName("GPSAltitudeRef"), "Sealevel");
}

TEST(WalkDirectory, CutsMakeAndModelToTheirFieldLengths) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, std::string(40, 'M'));
    t.Ascii(ifd0, 0x0110, std::string(45, 'm'));
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->Directory()->MakeText(), std::string(32, 'M'));
    EXPECT_EQ(reader->Directory()->ModelText(), std::string(40, 'm'));
    EXPECT_EQ(reader->Directory()->TagValueByName("Make"), std::string(40, 'M'));
}

TEST(WalkDirectory, TakesTheUserCommentWithoutItsCodeAndFinalByte) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    Bytes comment = BytesOf(std::string_view("ASCII\0\0\0", 8));
    Append(comment, BytesOf("  Hello World!"));
    t.Undefined(ifd0, 0x9286, comment);
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->Directory()->UserCommentText(), "Hello World");
    EXPECT_EQ(reader->Directory()->TagValueByName("UserComment"), "Hello World");
    EXPECT_THAT(reader->Directory()->InfoText(), HasSubstr("\r\nUser Comment = Hello World"));
}

TEST(WalkDirectory, KeepsTheExifVersionAndTheMakerNoteBytes) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "NoSuchMaker");
    t.Undefined(ifd0, 0x9000, BytesOf("0220"));
    t.Undefined(ifd0, 0x927C, BytesOf("maker note bytes"));
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    const TiffDirectory& info = *reader->Directory();
    EXPECT_EQ(info.VersionText(), "0220");
    EXPECT_EQ(info.MakerNoteBytes(), "maker note bytes");
    EXPECT_EQ(info.MakerNoteOffset(), info.Tags()[2].ValueOffset);
    // The TIFF data starts after the section's length and "Exif\0\0".
    EXPECT_EQ(reader->Sections()[0].Bytes.substr(8 + static_cast<std::size_t>(info.MakerNoteOffset()), 16),
              "maker note bytes");
    EXPECT_FALSE(info.MakerNoteDecoded());
    EXPECT_EQ(info.Tags()[2].TagName, "MakerNote");
}

TEST(WalkDirectory, EndsAtAFormatterErrorAndKeepsWhatCameBefore) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Cam");
    t.Short(ifd0, 0x9209, {1, 0});  // Flash with two items: '1, 0' is no integer
    t.Ascii(ifd0, 0x9290, "12");
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_THAT(TagNames(*reader), ElementsAre("Make"));
    EXPECT_EQ(reader->StatusText(), "Not an EXIF file");  // the load failed
    EXPECT_TRUE(reader->HasExifSection());
}

TEST(WalkDirectory, ReportsATooLargeDirectoryAndWalksNothingOfIt) {
    // The bytes a TIFF file's reader holds after the header, from offset 8: a table of 21333
    // entries (255998 bytes) lies inside them, but takes more than a TIFF file's limit.
    std::string held("\x55\x53", 2);
    held += std::string(kTiffFileBytesRead - 2, '\0');
    TiffDirectory info({ByteReader(AsBytes(held), ByteOrder::LittleEndian, 8), held, true});
    info.Walk(8, kImageDirectory);
    ASSERT_TRUE(info.Problem().has_value());
    EXPECT_EQ(StatusText(*info.Problem()), "Illegally sized directory");
    EXPECT_EQ(info.TagCount(), 0);
    EXPECT_EQ(info.InfoText(), "");
    // The same bytes as a JPEG file's TIFF data: the table only has to lie inside them.
    TiffDirectory jpeg(TiffDataOnly(held, ByteOrder::LittleEndian));
    jpeg.Walk(0, kImageDirectory);
    EXPECT_FALSE(jpeg.Problem().has_value());
}

TEST(WalkDirectory, ReportsADirectoryOutsideItsBuffer) {
    const struct {
        const char* what;
        std::string buffer;
        std::int64_t start;
    } cases[] = {
        {"start past the end", std::string(20, '\0'), 29},
        {"start before the first byte", std::string(20, '\0'), -6},
        {"count on the last byte", std::string(20, '\0'), 19},
        {"entry table past the end", std::string("\x02\x00", 2) + std::string(20, '\0'), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TiffDirectory info(TiffDataOnly(c.buffer, ByteOrder::LittleEndian));
        info.Walk(c.start, kImageDirectory);
        ASSERT_TRUE(info.Problem().has_value());
        EXPECT_EQ(StatusText(*info.Problem()), "Illegally sized directory");
        EXPECT_EQ(info.TagCount(), 0);
    }
}

TEST(WalkDirectory, ClipsValuesThatRunPastTheData) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    // Values whose offset lies far outside, or whose count is larger than all data.
    t.Raw(ifd0, 0x010E, 2, 8, t.U32(0xFFFFFFF0));
    t.Raw(ifd0, 0x0111, 4, 0xFFFFFFFF, t.U32(0));
    t.Raw(ifd0, 0x0117, 5, 0x40000000, t.U32(8));  // 8 x 2^30 bytes: more than 32 bits
    const Bytes tiff = t.Build();
    const auto reader = ReadJpeg(JpegWithTiff(tiff));
    const TiffDirectory& info = *reader->Directory();
    EXPECT_EQ(reader->StatusText(), "<none>");
    ASSERT_EQ(info.TagCount(), 3);
    EXPECT_EQ(info.Tags()[0].RawBytes, "");
    EXPECT_EQ(info.Tags()[0].DisplayText, "");
    // Both others run from their offset to the end of the section.
    const std::size_t sectionBytes = reader->Sections()[0].Bytes.size();
    EXPECT_EQ(info.Tags()[1].RawLength, static_cast<std::int32_t>(sectionBytes - 8));
    EXPECT_EQ(info.Tags()[2].RawLength, static_cast<std::int32_t>(sectionBytes - 16));
}

TEST(WalkDirectory, IgnoresSubDirectoryPointersOutsideTheData) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Long(ifd0, 0x8769, {0x7FFFFFF0});
    t.Raw(ifd0, 0x8825, 4, 2, t.U32(0xFFFFFFFF));  // the pointer itself lies outside
    t.Ascii(ifd0, 0x0131, "after");
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->StatusText(), "<none>");
    EXPECT_THAT(TagNames(*reader), ElementsAre("ExifOffset", "GPSInfo", "Software"));
}

TEST(WalkDirectory, StopsFollowingDirectoriesNestedTooDeeply) {
    TiffBuilder t;
    std::vector<int> ifds;
    for (int i = 0; i < kMaxDirectoryDepth + 8; ++i) ifds.push_back(t.AddIfd());
    for (std::size_t i = 0; i + 1 < ifds.size(); ++i) t.Link(ifds[i], 0x8769, ifds[i + 1]);
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->StatusText(), "<none>");
    EXPECT_EQ(reader->Directory()->VisitedDirectories().size(), static_cast<std::size_t>(kMaxDirectoryDepth));
    EXPECT_EQ(reader->Directory()->TagCount(), kMaxDirectoryDepth);
}

// A directory of count entries of tag 0x0131 at offset 0, each with the given type, count and
// value field (little-endian), followed by fill bytes up to size.
std::string DirectoryBuffer(int count, std::uint16_t type, std::uint32_t items, std::uint32_t value,
                            std::size_t size) {
    auto le = [](std::uint64_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
        return s;
    };
    std::string b = le(static_cast<std::uint64_t>(count), 2);
    for (int i = 0; i < count; ++i) b += le(0x0131, 2) + le(type, 2) + le(items, 4) + le(value, 4);
    b.resize(size, 'x');
    return b;
}

TEST(WalkDirectory, EndsWhenEntriesAreReadFarMoreOftenThanTheBufferHoldsThem) {
    // Overlapping directories make the same bytes count as entries again and again; a walk reads
    // at most as many entries as the buffer could hold side by side, plus an allowance.
    const std::string buffer = DirectoryBuffer(100, 1, 1, 0, 1202);
    TiffDirectory info(TiffDataOnly(buffer, ByteOrder::LittleEndian));
    info.Walk(0, kImageDirectory);
    EXPECT_EQ(info.TagCount(), 100);
    EXPECT_THROW(info.Walk(0, kImageDirectory), ExifError);
    EXPECT_EQ(info.TagCount(), 1202 / 12 + kEntryAllowance);
}

TEST(WalkDirectory, EndsWhenValuesAreCopiedFarMoreOftenThanTheBufferHoldsThem) {
    // Fifty entries share one value of 60000 bytes.
    const std::string buffer = DirectoryBuffer(50, 7, 60000, 1000, 70000);
    TiffDirectory info(TiffDataOnly(buffer, ByteOrder::LittleEndian));
    EXPECT_THROW(info.Walk(0, kImageDirectory), ExifError);
    EXPECT_EQ(info.TagCount(), (2 * 70000 + kRawByteAllowance) / 60000);
}

TEST(WalkDirectory, BuildsOnlyTheInfoTextOrOnlyTheTagListWhenAskedTo) {
    const Bytes jpeg = samples::SampleStereoImage(0);
    const auto infoOnly = ReadJpeg(jpeg, CollectMode::InfoTextOnly);
    EXPECT_EQ(infoOnly->Directory()->TagCount(), 0);
    EXPECT_THAT(infoOnly->Directory()->InfoText(), HasSubstr("\r\nMake = Veltrane"));
    EXPECT_EQ(infoOnly->Directory()->MakeText(), "Veltrane");
    EXPECT_EQ(infoOnly->Directory()->PixelWidth(), 64);

    const auto listOnly = ReadJpeg(jpeg, CollectMode::TagListOnly);
    EXPECT_EQ(listOnly->Directory()->InfoText(), "");
    EXPECT_EQ(listOnly->Directory()->TagValueByName("Make"), "Veltrane");
    EXPECT_EQ(listOnly->Directory()->MakeText(), "Veltrane");
}

TEST(AppendTag, RefusesTagNumberZeroAndGrowsInStepsOf25) {
    TiffDirectory info;
    TagEntry none;
    EXPECT_EQ(info.AppendTag(none), -1);
    EXPECT_EQ(info.TagCapacity(), 0);
    TagEntry tag;
    tag.TagNumber = 1;
    tag.TagName = "T";
    for (int i = 0; i < 24; ++i) EXPECT_EQ(info.AppendTag(tag), i);
    EXPECT_EQ(info.TagCapacity(), 25);
    EXPECT_EQ(info.AppendTag(tag), 24);  // keeps one spare slot
    EXPECT_EQ(info.TagCapacity(), 50);
    EXPECT_EQ(info.AppendTag(none), 24);
    EXPECT_EQ(info.TagCount(), 25);
    EXPECT_EQ(info.Tags().size(), 25u);
    EXPECT_GE(info.Tags().capacity(), 50u);
}

TEST(TagLookups, AnswerWithTheFirstTagOfAName) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Link(ifd0, 0x8769, exif);
    t.Rational(exif, 0x920E, {{100, 1}});
    t.Rational(exif, 0xA20E, {{200, 1}});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    const TiffDirectory& info = *reader->Directory();
    EXPECT_EQ(info.TagValueByName("focalplanexresolution"), "100/1");
    EXPECT_DOUBLE_EQ(info.NumberByName("FocalPlaneXResolution"), 100);
    EXPECT_EQ(info.IntegerByName("FocalPlaneXResolution"), 100);
    EXPECT_EQ(info.EntryByName("FocalPlaneXResolution").TagNumber, 0x920E);
    EXPECT_EQ(info.EntryByName("Missing").TagNumber, 0);
    EXPECT_EQ(info.EntryByName("Missing").TagName, "");
    EXPECT_DOUBLE_EQ(info.NumberByName("Missing"), 0);
}

Bytes FocalPlaneTiff(bool withY, bool with35mm) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Short(ifd0, 0x0100, {640});
    t.Short(ifd0, 0x0101, {480});
    t.Link(ifd0, 0x8769, exif);
    t.Rational(exif, 0x920A, {{5, 1}});
    t.Rational(exif, 0xA20E, {{200, 1}});
    if (withY) t.Rational(exif, 0xA20F, {{200, 1}});
    t.Short(exif, 0xA210, {3});
    if (with35mm) t.Short(exif, 0xA405, {35});
    return t.Build();
}

TEST(DeriveFilmFocalLength, AddsTheEquivalentOfTheSensorDiagonal) {
    const auto reader = ReadJpeg(JpegWithTiff(FocalPlaneTiff(true, false)));
    const TiffDirectory& info = *reader->Directory();
    const TagEntry derived = info.EntryByName("FocalLengthIn35mmFilm");
    EXPECT_EQ(derived.TagName, "FocalLengthin35mmFilm");
    EXPECT_EQ(derived.TagNumber, 0xA405);
    EXPECT_EQ(derived.DisplayText, " 5.41");
    EXPECT_EQ(derived.FieldType, 10);
    EXPECT_EQ(derived.DisplayFormat, "%s mm");
    EXPECT_EQ(derived.RawBytes, "");
    EXPECT_EQ(derived.Caption, "Focal Length in 35mm Film");
    EXPECT_THAT(info.InfoText(), ::testing::EndsWith("\r\nFocal Length in 35mm Film =  5.41"));
}

TEST(DeriveFilmFocalLength, AddsNothingWhenAnInputIsMissing) {
    const auto noY = ReadJpeg(JpegWithTiff(FocalPlaneTiff(false, false)));
    EXPECT_EQ(noY->Directory()->IndexOfTagName("FocalLengthin35mmFilm"), -1);
    const auto stored = ReadJpeg(JpegWithTiff(FocalPlaneTiff(true, true)));
    EXPECT_EQ(stored->Directory()->TagValueByName("FocalLengthin35mmFilm"), "35.00 mm");
    EXPECT_EQ(stored->Directory()->TagCount(), 8);
}

TEST(WalkDirectory, ReadsBigEndianDataLikeLittleEndianData) {
    samples::SampleExif exif;
    const auto little = ReadJpeg(samples::SampleStereoImage(0, exif, samples::ByteOrder::Little));
    const auto big = ReadJpeg(samples::SampleStereoImage(0, exif, samples::ByteOrder::Big));
    EXPECT_EQ(big->Directory()->InfoText(), little->Directory()->InfoText());
    EXPECT_EQ(big->Directory()->Order(), ByteOrder::BigEndian);
    EXPECT_EQ(little->Directory()->Order(), ByteOrder::LittleEndian);
    EXPECT_THAT(big->Directory()->InfoText(), HasSubstr("\r\nExposure Time = 1/60 sec"));
}

}  // namespace
}  // namespace veltrane::exif
