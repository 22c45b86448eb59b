// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/common/image_list_line.h"
#include "core/images/extraction.h"
#include "core/images/scanner.h"
#include "core/metadata/exif_rows.h"
#include "tests/exif/exif_test_support.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::exif {
namespace {

using samples::TiffBuilder;
using namespace veltrane::exif::testing;

std::vector<std::string> Values(const ExifRows& rows) {
    std::vector<std::string> values;
    for (const ExifRow& row : rows) values.push_back(row.Value);
    return values;
}

TEST(ExifWindowRows, CarryTheCaptionsOfTheWindow) {
    const ExifRows rows = ExifWindowRows(Bytes{}, 1, 0, {});
    const char* captions[] = {"Image: ", "Description: ", "Manufacturer: ", "Camera: ", "Software: ",
                              "Orientation: ", "Date Taken: ", "Exposure: ", "Exposure Mode: ",
                              "Exposure Program: ", "F-Number: ", "Metering Method: ", "Flash: ", "ISO speed: ",
                              "EXIF Image width: ", "EXIF Image height: ", "X resolution: ", "Y resolution: ",
                              "Focal Length: "};
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].Caption, captions[i]) << i;
}

TEST(ExifWindowRows, ShowTheSampleCamerasFields) {
    const std::vector<std::string> expected = {
        "Image 001:  1 K", "", "Veltrane", "Sample Stereo Camera", "", "Normal", "2026:12:07 10:00:00",
        "1/60 sec", "Auto", "Normal", "F2.8", "MultiSegment", "Off, auto mode", "100", "64", "48",
        "72.00", "72.00", " 6.30 mm"};
    for (samples::ByteOrder order : {samples::ByteOrder::Little, samples::ByteOrder::Big}) {
        SCOPED_TRACE(order == samples::ByteOrder::Big ? "big-endian" : "little-endian");
        EXPECT_EQ(Values(ExifWindowRows(samples::SampleStereoImage(0, {}, order), 1, 1024, {})), expected);
    }
}

TEST(ExifWindowRows, ShowDashesForAnImageWithoutExif) {
    const ExifRows rows = ExifWindowRows(JpegOf({Segment(0xE0, BytesOf("JFIF"))}), 2, 7 * 1024 + 1023, {});
    EXPECT_EQ(rows[0].Value, "Image 002:  7 K");
    for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(rows[i].Value, "-") << i;
}

TEST(ExifWindowRows, ShowEmptyFieldsAndZeroSizesWhenNoDirectoryCouldBeWalked) {
    const ExifRows rows = ExifWindowRows(JpegOf({Segment(0xE1, BytesOf("Exif!"))}), 1, 0, {});
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].Value, (i == 14 || i == 15) ? "0" : "") << i;
}

TEST(ExifWindowRows, ShowOnlyTheFieldsTheImageHas) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Ascii(ifd0, 0x010F, std::string(35, 'K'));
    t.Ascii(ifd0, 0x0110, "Model");
    t.Link(ifd0, 0x8769, exif);
    t.Rational(exif, 0x829A, {{1, 250}});
    t.Ascii(exif, 0x9003, "2020:01:01 00:00:00");  // DateTimeOriginal is not "Date Taken"
    const ExifRows rows = ExifWindowRows(JpegWithTiff(t.Build()), 1, 0, {});
    for (std::size_t i = 1; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].Caption);
        switch (i) {
            case 2: EXPECT_EQ(rows[i].Value, std::string(32, 'K')); break;
            case 3: EXPECT_EQ(rows[i].Value, "Model"); break;
            case 7: EXPECT_EQ(rows[i].Value, "1/250 sec"); break;
            case 14:
            case 15: EXPECT_EQ(rows[i].Value, "0"); break;
            default: EXPECT_EQ(rows[i].Value, "");
        }
    }
}

TEST(ExifWindowRows, CutALongDescriptionToFiftyCharacters) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010E, std::string(60, 'd'));
    EXPECT_EQ(ExifWindowRows(JpegWithTiff(t.Build()), 1, 0, {})[1].Value, std::string(50, 'd'));
}

TEST(ExifWindowRows, ReadTheFileFormLikeTheBufferForm) {
    const veltrane::testing::TempDir folder;
    const Bytes jpeg = samples::SampleStereoImage(1);
    const ExifRows fromFile = ExifWindowRows(folder.Write("image.jpg", jpeg), 2, 1024, {});
    EXPECT_EQ(Values(fromFile), Values(ExifWindowRows(jpeg, 2, 1024, {})));
}

class NoWindow : public ScanListener {
public:
};

// Golden rows of the camera files beside the project (skipped when they are absent).
TEST(ExifWindowRows, ReadTheImagesOfRealMpoFiles) {
    const std::filesystem::path fixtures = VELTRANE_FIXTURES_DIR;
    if (!std::filesystem::exists(fixtures / "sugarshack.mpo")) GTEST_SKIP() << "no camera fixtures";
    struct Case {
        const char* file;
        int image;
        std::vector<std::string> values;
    };
    const Case cases[] = {
#include "tests/exif/fixture_rows.inc"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " image " + std::to_string(c.image));
        ImageIndex index;
        const std::string source = (fixtures / c.file).string();
        NoWindow listener;
        ScanImageOffsets(index, source, {}, listener);
        ASSERT_GE(index.ImageCount, c.image);
        const std::vector<std::uint8_t> image = ReadImageBytes(source, index, c.image);
        EXPECT_EQ(Values(ExifWindowRows(image, c.image, static_cast<std::int64_t>(image.size()), {})), c.values);
    }
}

}  // namespace
}  // namespace veltrane::exif
