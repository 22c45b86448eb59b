#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <string>

#include "core/exif/exif_error.h"
#include "core/exif/jpeg_sections.h"
#include "core/metadata/metadata_reader.h"
#include "tests/exif/exif_test_support.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::exif {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using samples::ByteOrder;
using samples::TiffBuilder;
using namespace veltrane::exif::testing;

TEST(WalkDirectory, FindsTagsByNameIgnoringLetterCaseAcrossSubDirectories) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), gps = t.AddIfd();
    t.Ascii(ifd0, 0x0132, "2024:01:02 03:04:05");
    t.Link(ifd0, 0x8825, gps);
    t.Rational(gps, 0x0002, {{50, 1}, {3, 1}, {1234, 100}});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    ASSERT_TRUE(reader->ImageInfo);
    EXPECT_EQ(reader->ErrorText, "<none>");
    EXPECT_EQ(reader->ImageInfo->TagValueByName("datetime"), "2024:01:02 03:04:05");
    EXPECT_EQ(reader->ImageInfo->TagValueByName("GPSLatitude"), "50 Degrees 3 Minutes 12 Seconds");
    EXPECT_EQ(reader->ImageInfo->IndexOfTagName("GPSINFO"), 2);  // after the GPS tags it leads to
    EXPECT_EQ(reader->ImageInfo->TagValueByName("Make"), "");
    EXPECT_EQ(reader->ImageInfo->IndexOfTagName("Make"), -1);
}

TEST(WalkDirectory, WritesOneInfoLinePerEntryWithItsCaption) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Cam");
    t.Short(ifd0, 0x0112, {1});
    t.Short(ifd0, 0x1234, {7});  // not in the dictionary
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->ImageInfo->InfoText, "\r\nMake = Cam\r\nOrientation = Normal\r\nUnknown = 7");
    // The unknown tag is shown but not stored.
    EXPECT_THAT(TagNames(*reader), ElementsAre("Make", "Orientation"));
}

TEST(WalkDirectory, RecordsAnEmptyDirectoryAndAddsNothing) {
    TiffBuilder t;
    t.AddIfd();
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->ImageInfo->TagCount, 0);
    EXPECT_EQ(reader->ImageInfo->InfoText, "");
    EXPECT_EQ(reader->ImageInfo->VisitedDirectories.count({9, 17}), 1u);
}

TEST(WalkDirectory, ReadsValuesOfUpToFourBytesFromTheEntryItself) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Short(ifd0, 0x0102, {8, 8});      // 4 bytes: in the entry
    t.Short(ifd0, 0x0115, {1, 2, 3});   // 6 bytes: at the offset
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    const TImageInfo& info = *reader->ImageInfo;
    ASSERT_EQ(info.TagCount, 2);
    // Entry 0 starts at position 17 + 2; its value field 8 bytes later.
    EXPECT_EQ(info.TagList[0].ValueStart, 17 + 2 + 8);
    EXPECT_EQ(info.TagList[0].DisplayText, "8, 8");
    // The first directory holds 2 entries and a link: the value follows at TIFF offset 38.
    EXPECT_EQ(info.TagList[1].ValueStart, 38 + 9);
    EXPECT_EQ(info.TagList[1].DisplayText, "1, 2, 3");
    EXPECT_EQ(info.TagList[1].RawLength, 6);
    EXPECT_EQ(info.TagList[1].FieldType, 3);
    EXPECT_EQ(info.TagList[1].Origin, 0);
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
    EXPECT_EQ(reader->ImageInfo->InfoText, "\r\nSoftware = sw");
}

TEST(WalkDirectory, KeepsTheLastWidthAndHeightItMeets) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Short(ifd0, 0x0100, {640});
    t.Short(ifd0, 0x0101, {480});
    t.Link(ifd0, 0x8769, exif);
    t.Long(exif, 0xA002, {3000});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->ImageInfo->PixelWidth, 3000);
    EXPECT_EQ(reader->ImageInfo->PixelHeight, 480);
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
    EXPECT_EQ(reader->ImageInfo->VisitedDirectories.size(), 2u);
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
    EXPECT_EQ(reader->ImageInfo->TagValueByName("Compression"), "Jpeg");
}

TEST(WalkDirectory, ShowsGpsVersionIdOnlyInTheInfoText) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), gps = t.AddIfd();
    t.Link(ifd0, 0x8825, gps);
    t.Byte(gps, 0x0000, {2, 2, 0, 0});
    t.Byte(gps, 0x0005, {0});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_THAT(reader->ImageInfo->InfoText, HasSubstr("\r\nGPSVersion ID = 2, 2, 0, 0"));
    EXPECT_THAT(TagNames(*reader), ElementsAre("GPSAltitudeRef", "GPSInfo"));
    EXPECT_EQ(reader->ImageInfo->TagValueByName("GPSAltitudeRef"), "Sealevel");
}

TEST(WalkDirectory, CutsMakeAndModelToTheirFieldLengths) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, std::string(40, 'M'));
    t.Ascii(ifd0, 0x0110, std::string(45, 'm'));
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->ImageInfo->MakeText, std::string(32, 'M'));
    EXPECT_EQ(reader->ImageInfo->ModelText, std::string(40, 'm'));
    EXPECT_EQ(reader->ImageInfo->TagValueByName("Make"), std::string(40, 'M'));
}

TEST(WalkDirectory, TakesTheUserCommentWithoutItsCodeAndFinalByte) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    Bytes comment = BytesOf(std::string_view("ASCII\0\0\0", 8));
    Append(comment, BytesOf("  Hello World!"));
    t.Undefined(ifd0, 0x9286, comment);
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->ImageInfo->UserCommentText, "Hello World");
    EXPECT_EQ(reader->ImageInfo->TagValueByName("UserComment"), "Hello World");
    EXPECT_THAT(reader->ImageInfo->InfoText, HasSubstr("\r\nUser Comment = Hello World"));
}

TEST(WalkDirectory, KeepsTheExifVersionAndTheMakerNoteBytes) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "NoSuchMaker");
    t.Undefined(ifd0, 0x9000, BytesOf("0220"));
    t.Undefined(ifd0, 0x927C, BytesOf("maker note bytes"));
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    const TImageInfo& info = *reader->ImageInfo;
    EXPECT_EQ(info.VersionText, "0220");
    EXPECT_EQ(info.MakerNoteBytes, "maker note bytes");
    EXPECT_EQ(info.MakerNoteStart, info.TagList[2].ValueStart);
    EXPECT_EQ(reader->Section(1).SectionBytes.substr(static_cast<std::size_t>(info.MakerNoteStart - 1), 16),
              "maker note bytes");
    EXPECT_FALSE(info.MakerNoteDecoded);
    EXPECT_EQ(info.TagList[2].TagName, "MakerNote");
}

TEST(WalkDirectory, EndsAtAFormatterErrorAndKeepsWhatCameBefore) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Cam");
    t.Short(ifd0, 0x9209, {1, 0});  // Flash with two items: '1, 0' is no integer
    t.Ascii(ifd0, 0x9290, "12");
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_THAT(TagNames(*reader), ElementsAre("Make"));
    EXPECT_EQ(reader->ErrorText, "Not an EXIF file");  // the load failed
    EXPECT_TRUE(reader->HasExifSection());
}

TEST(WalkDirectory, ReportsATooLargeDirectoryAndWalksNothingOfIt) {
    TimgData owner{255, FullReaderParts};
    TImageInfo info(&owner, 255);
    // A count of 0x0800 entries needs 24578 bytes; base + size allows 100.
    std::string buffer("\x00\x08", 2);
    buffer += std::string(30000, '\0');
    info.WorkBuffer = buffer;
    info.WalkDirectory(1, 9, kImageDirectory, 91);
    EXPECT_EQ(owner.ErrorText, "Illegally sized directory");
    EXPECT_EQ(info.TagCount, 0);
    EXPECT_EQ(info.InfoText, "");
}

TEST(WalkDirectory, ReportsADirectoryOutsideItsBuffer) {
    const struct {
        const char* what;
        std::string buffer;
        std::int64_t start;
    } cases[] = {
        {"start past the end", std::string(20, '\0'), 30},
        {"start before the first byte", std::string(20, '\0'), -5},
        {"count on the last byte", std::string(20, '\0'), 20},
        {"entry table past the end", std::string("\x02\x00", 2) + std::string(20, '\0'), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TimgData owner{255, FullReaderParts};
        TImageInfo info(&owner, 255);
        info.WorkBuffer = c.buffer;
        info.WalkDirectory(c.start, 9, kImageDirectory, 65000);
        EXPECT_EQ(owner.ErrorText, "Illegally sized directory");
        EXPECT_EQ(info.TagCount, 0);
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
    const TImageInfo& info = *reader->ImageInfo;
    EXPECT_EQ(reader->ErrorText, "<none>");
    ASSERT_EQ(info.TagCount, 3);
    EXPECT_EQ(info.TagList[0].RawBytes, "");
    EXPECT_EQ(info.TagList[0].DisplayText, "");
    // Both others run from their offset to the end of the section.
    const std::size_t sectionBytes = reader->Section(1).SectionBytes.size();
    EXPECT_EQ(info.TagList[1].RawLength, static_cast<std::int32_t>(sectionBytes - 8));
    EXPECT_EQ(info.TagList[2].RawLength, static_cast<std::int32_t>(sectionBytes - 16));
}

TEST(WalkDirectory, IgnoresSubDirectoryPointersOutsideTheData) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Long(ifd0, 0x8769, {0x7FFFFFF0});
    t.Raw(ifd0, 0x8825, 4, 2, t.U32(0xFFFFFFFF));  // the pointer itself lies outside
    t.Ascii(ifd0, 0x0131, "after");
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->ErrorText, "<none>");
    EXPECT_THAT(TagNames(*reader), ElementsAre("ExifOffset", "GPSInfo", "Software"));
}

TEST(WalkDirectory, StopsFollowingDirectoriesNestedTooDeeply) {
    TiffBuilder t;
    std::vector<int> ifds;
    for (int i = 0; i < kMaxDirectoryDepth + 8; ++i) ifds.push_back(t.AddIfd());
    for (std::size_t i = 0; i + 1 < ifds.size(); ++i) t.Link(ifds[i], 0x8769, ifds[i + 1]);
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    EXPECT_EQ(reader->ErrorText, "<none>");
    EXPECT_EQ(reader->ImageInfo->VisitedDirectories.size(), static_cast<std::size_t>(kMaxDirectoryDepth));
    EXPECT_EQ(reader->ImageInfo->TagCount, kMaxDirectoryDepth);
}

// A directory of count entries of tag 0x0131 at position 1, each with the given type, count and
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
    TImageInfo info(nullptr, 255);
    info.WorkBuffer = buffer;
    info.WalkDirectory(1, 0, kImageDirectory, 100000);
    EXPECT_EQ(info.TagCount, 100);
    EXPECT_THROW(info.WalkDirectory(1, 0, kImageDirectory, 100000), ExifError);
    EXPECT_EQ(info.TagCount, 1202 / 12 + kEntryAllowance);
}

TEST(WalkDirectory, EndsWhenValuesAreCopiedFarMoreOftenThanTheBufferHoldsThem) {
    // Fifty entries share one value of 60000 bytes.
    const std::string buffer = DirectoryBuffer(50, 7, 60000, 1000, 70000);
    TImageInfo info(nullptr, 255);
    info.WorkBuffer = buffer;
    EXPECT_THROW(info.WalkDirectory(1, 1, kImageDirectory, 100000), ExifError);
    EXPECT_EQ(info.TagCount, (2 * 70000 + kRawByteAllowance) / 60000);
}

TEST(WalkDirectory, BuildsOnlyTheInfoTextInCollectMode2AndOnlyTheListIn4) {
    const Bytes jpeg = samples::SampleStereoImage(0);
    const auto infoOnly = ReadJpeg(jpeg, 2);
    EXPECT_EQ(infoOnly->ImageInfo->TagCount, 0);
    EXPECT_THAT(infoOnly->ImageInfo->InfoText, HasSubstr("\r\nMake = Veltrane"));
    EXPECT_EQ(infoOnly->ImageInfo->MakeText, "Veltrane");
    EXPECT_EQ(infoOnly->ImageInfo->PixelWidth, 64);

    const auto listOnly = ReadJpeg(jpeg, 4);
    EXPECT_EQ(listOnly->ImageInfo->InfoText, "");
    EXPECT_EQ(listOnly->ImageInfo->TagValueByName("Make"), "Veltrane");
    EXPECT_EQ(listOnly->ImageInfo->MakeText, "Veltrane");
}

TEST(AppendTag, RefusesTagNumberZeroAndGrowsInStepsOf25) {
    TImageInfo info(nullptr, 255);
    TTagEntry none;
    EXPECT_EQ(info.AppendTag(none), -1);
    EXPECT_EQ(info.TagCapacity, 0);
    TTagEntry tag;
    tag.TagNumber = 1;
    tag.TagName = "T";
    for (int i = 0; i < 24; ++i) EXPECT_EQ(info.AppendTag(tag), i);
    EXPECT_EQ(info.TagCapacity, 25);
    EXPECT_EQ(info.AppendTag(tag), 24);  // keeps one spare slot
    EXPECT_EQ(info.TagCapacity, 50);
    EXPECT_EQ(info.AppendTag(none), 24);
    EXPECT_EQ(info.TagCount, 25);
    EXPECT_EQ(info.TagList.size(), 25u);
    EXPECT_GE(info.TagList.capacity(), 50u);
}

TEST(TagLookups, AnswerWithTheFirstTagOfAName) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Link(ifd0, 0x8769, exif);
    t.Rational(exif, 0x920E, {{100, 1}});
    t.Rational(exif, 0xA20E, {{200, 1}});
    const auto reader = ReadJpeg(JpegWithTiff(t.Build()));
    const TImageInfo& info = *reader->ImageInfo;
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
    const TImageInfo& info = *reader->ImageInfo;
    const TTagEntry derived = info.EntryByName("FocalLengthIn35mmFilm");
    EXPECT_EQ(derived.TagName, "FocalLengthin35mmFilm");
    EXPECT_EQ(derived.TagNumber, 0xA405);
    EXPECT_EQ(derived.DisplayText, " 5.41");
    EXPECT_EQ(derived.FieldType, 10);
    EXPECT_EQ(derived.DisplayFormat, "%s mm");
    EXPECT_EQ(derived.RawBytes, "");
    EXPECT_EQ(derived.Caption, "Focal Length in 35mm Film");
    EXPECT_THAT(info.InfoText, ::testing::EndsWith("\r\nFocal Length in 35mm Film =  5.41"));
}

TEST(DeriveFilmFocalLength, AddsNothingWhenAnInputIsMissing) {
    const auto noY = ReadJpeg(JpegWithTiff(FocalPlaneTiff(false, false)));
    EXPECT_EQ(noY->ImageInfo->IndexOfTagName("FocalLengthin35mmFilm"), -1);
    const auto stored = ReadJpeg(JpegWithTiff(FocalPlaneTiff(true, true)));
    EXPECT_EQ(stored->ImageInfo->TagValueByName("FocalLengthin35mmFilm"), "35.00 mm");
    EXPECT_EQ(stored->ImageInfo->TagCount, 8);
}

TEST(WalkDirectory, ReadsBigEndianDataLikeLittleEndianData) {
    samples::SampleExif exif;
    const auto little = ReadJpeg(samples::SampleStereoImage(0, exif, ByteOrder::Little));
    const auto big = ReadJpeg(samples::SampleStereoImage(0, exif, ByteOrder::Big));
    EXPECT_EQ(big->ImageInfo->InfoText, little->ImageInfo->InfoText);
    EXPECT_TRUE(big->BigEndian);
    EXPECT_FALSE(little->BigEndian);
    EXPECT_THAT(big->ImageInfo->InfoText, HasSubstr("\r\nExposure Time = 1/60 sec"));
}

}  // namespace
}  // namespace veltrane::exif
