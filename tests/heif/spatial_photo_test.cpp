// SPDX-License-Identifier: GPL-3.0-or-later
// Spatial photos through libheif: a pair encoded by libheif with the stereo group added by a
// small writer of this test (not the program's), read by the program; the program's own writer
// read back through libheif, the box reader and heif-info; files without or with a broken group.
#include <gtest/gtest.h>

#include <libheif/heif.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/common/io_error.h"
#include "core/heif_boxes/heif_image_metadata.h"
#include "imaging/heif/spatial_photo.h"
#include "tests/support/temp_dir.h"
#include "imaging/stereo/spatial_jpeg.h"
#include "tests/heif/spatial_fixtures.h"
#include "tools/heif_spatial/jpeg_eyes.h"
#include "tools/samples/jpeg_writer.h"

// x265 3.5 keeps about 1 KiB of every x265_encoder_open after the encoder is closed, whoever
// drives it (libheif's own calls in this test leak the same); LeakSanitizer is told so. Without
// frame pointers in x265 the fast unwinder may only see its allocator: the library is named too.
extern "C" const char* __lsan_default_suppressions() { return "leak:x265_encoder_open\nleak:libx265.so\n"; }

namespace veltrane::heif {
namespace {

using namespace spatial_test;

// What libheif itself decodes the eye's item to, as interleaved RGB.
RgbImage LibheifRgb(const std::string& path, std::uint32_t item) {
    heif_context* ctx = heif_context_alloc();
    EXPECT_EQ(heif_context_read_from_file(ctx, path.c_str(), nullptr).code, heif_error_Ok);
    heif_image_handle* handle = nullptr;
    EXPECT_EQ(heif_context_get_image_handle(ctx, item, &handle).code, heif_error_Ok);
    heif_image* image = nullptr;
    EXPECT_EQ(heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code, heif_error_Ok);
    RgbImage out;
    out.width = heif_image_get_width(image, heif_channel_interleaved);
    out.height = heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* p = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < out.height; ++y) out.pixels.insert(out.pixels.end(), p + y * stride, p + y * stride + out.width * 3);
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(ctx);
    return out;
}

// Everything the reader gives of a spatial photo whose eyes are the test eyes.
void ExpectSpatialPhoto(const std::string& path, double maxDifferenceFromSource) {
    const auto photo = SpatialPhoto::Open(path);
    const std::array<RgbImage, 2> eyes = {photo.DecodeRgb(Eye::Left), photo.DecodeRgb(Eye::Right)};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "left" : "right");
        const Eye eye = i == 0 ? Eye::Left : Eye::Right;
        const JpegEye& source = TestEyes().rgb[static_cast<std::size_t>(i)];
        EXPECT_EQ(photo.Width(eye), source.width);
        EXPECT_EQ(photo.Height(eye), source.height);
        EXPECT_EQ(photo.Metadata(eye).exifTiff, source.metadata.exifTiff);
        EXPECT_EQ(photo.Metadata(eye).iccProfile, kIcc[i]);
        EXPECT_EQ(heif_boxes::HeifImageExifTiff(path, i + 1), source.metadata.exifTiff);
        EXPECT_LT(MeanDifference(eyes[static_cast<std::size_t>(i)].pixels, source.rgb), maxDifferenceFromSource);
        // The band conversion agrees with libheif's own (it is bit-exact on these files).
        const auto reference = LibheifRgb(path, photo.ItemId(eye));
        EXPECT_LT(MeanDifference(eyes[static_cast<std::size_t>(i)].pixels, reference.pixels), 0.1);
    }
    // The right eye is the right eye, not the left one twice.
    EXPECT_GT(MeanDifference(eyes[0].pixels, TestEyes().rgb[1].rgb), MeanDifference(eyes[0].pixels, TestEyes().rgb[0].rgb));
}

TEST(SpatialPhoto, ReadsAPairWhoseGroupAnotherWriterAdded) {
    testing::TempDir dir;
    const auto path = dir.Write("pair.heic", LibheifPair(true));
    ExpectSpatialPhoto(path, 3.0);
    const auto photo = SpatialPhoto::Open(path);
    EXPECT_EQ(photo.ItemId(Eye::Left), 1u);
    EXPECT_EQ(photo.ItemId(Eye::Right), 3u);
}

TEST(SpatialPhoto, WritesPairsThatLibheifTheBoxReaderAndHeifInfoRead) {
    struct Case {
        const char* name;
        bool fromYcbcr;
    };
    for (const Case c : {Case{"raw YCbCr 4:2:0 eyes", true}, Case{"RGB eyes", false}}) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        const auto path = dir / "written.heic";
        SpatialPhotoWriter writer;
        for (int i = 0; i < 2; ++i)
            stereo::AddJpegEye(writer, i == 0 ? Eye::Left : Eye::Right,
                                  (c.fromYcbcr ? TestEyes().raw : TestEyes().rgb)[static_cast<std::size_t>(i)]);
        writer.Write(path);
        ExpectSpatialPhoto(path, 3.0);

        heif_context* ctx = heif_context_alloc();
        ASSERT_EQ(heif_context_read_from_file(ctx, path.c_str(), nullptr).code, heif_error_Ok);
        EXPECT_EQ(heif_context_get_number_of_top_level_images(ctx), 2);
        heif_item_id primary = 0;
        heif_context_get_primary_image_ID(ctx, &primary);
        EXPECT_EQ(primary, SpatialPhoto::Open(path).ItemId(Eye::Left));
        heif_image_handle* handle = nullptr;
        heif_context_get_image_handle(ctx, SpatialPhoto::Open(path).ItemId(Eye::Right), &handle);
        heif_item_id exif = 0;
        ASSERT_EQ(heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &exif, 1), 1);
        Bytes payload(heif_image_handle_get_metadata_size(handle, exif));
        heif_image_handle_get_metadata(handle, exif, payload.data());
        EXPECT_EQ(Bytes(payload.begin() + 4, payload.end()), TestEyes().rgb[1].metadata.exifTiff);
        Bytes icc(heif_image_handle_get_raw_color_profile_size(handle));
        heif_image_handle_get_raw_color_profile(handle, icc.data());
        EXPECT_EQ(icc, kIcc[1]);
        heif_image_handle_release(handle);
        heif_context_free(ctx);

        if (HeifInfoInstalled()) {
            const auto report = dir / "heif-info.txt";
            ASSERT_EQ(std::system(("heif-info '" + path + "' > '" + report + "' 2>&1").c_str()), 0);
            std::ifstream in(report);
            const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::size_t images = 0;
            for (auto at = text.find("image: "); at != std::string::npos; at = text.find("image: ", at + 1)) ++images;
            EXPECT_EQ(images, 2u) << text;
        }
    }
}

TEST(SpatialPhoto, RefusesFilesWithoutAUsableGroup) {
    const Bytes grouped = LibheifPair(true);
    const auto ster = static_cast<std::size_t>(std::search(grouped.begin(), grouped.end(), "ster", "ster" + 4) - grouped.begin()) - 4;
    struct Case {
        const char* name;
        Bytes file;
        const char* cause;
    };
    const auto with = [&](std::size_t at, std::uint32_t value) {
        Bytes f = grouped;
        Set32(f, at, value);
        return f;
    };
    const Case cases[] = {
        {"no group", LibheifPair(false), "holds no stereo pair"},
        {"the group names Exif items", [&] { Bytes f = with(ster + 20, 2); Set32(f, ster + 24, 4); return f; }(), "holds no stereo pair"},
        {"a group of one", with(ster + 16, 1), "holds no stereo pair"},
        {"a group of 2^30 entities", with(ster + 16, 0x40000000), "entities do not fit"},
        {"a group box cut short", with(ster, 18), "cut short"},
        {"a group box past its container", with(ster, 0x100), "runs past the end"},
        {"a JPEG", EyeJpegs()[0], "not a HEIF file"},
    };
    testing::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            (void)SpatialPhoto::Open(dir.Write("case.heic", c.file));
            ADD_FAILURE() << "accepted";
        } catch (const HeifError& e) {
            EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << e.what();
        }
        EXPECT_THROW((void)SpatialPhoto::FromBytes(c.file), HeifError);
    }
}

TEST(SpatialPhoto, MakesASideBySideJpegFromTheDecodedEyes) {
    testing::TempDir dir;
    const auto path = dir.Write("pair.heic", LibheifPair(true));
    const auto photo = SpatialPhoto::Open(path);
    const auto sideBySide = stereo::DecodeJpegEye(heif_tool::ParallelJpeg(photo, 95), {}, false);
    const int w = photo.Width(Eye::Left), h = photo.Height(Eye::Left);
    ASSERT_EQ(sideBySide.width, 2 * w);
    ASSERT_EQ(sideBySide.height, h);
    EXPECT_EQ(sideBySide.metadata.exifTiff, photo.Metadata(Eye::Left).exifTiff);
    EXPECT_EQ(sideBySide.metadata.iccProfile, kIcc[0]);
    for (int i = 0; i < 2; ++i) {
        const auto eye = photo.DecodeRgb(i == 0 ? Eye::Left : Eye::Right);
        std::vector<std::uint8_t> half;
        for (int y = 0; y < h; ++y) {
            const auto row = sideBySide.rgb.begin() + (static_cast<std::ptrdiff_t>(y) * 2 * w + i * w) * 3;
            half.insert(half.end(), row, row + w * 3);
        }
        EXPECT_LT(MeanDifference(half, eye.pixels), 2.5) << i;
    }
}

TEST(SpatialPhoto, WriterFailuresLeaveNoFile) {
    testing::TempDir dir;
    SpatialPhotoWriter oneEye;
    stereo::AddJpegEye(oneEye, Eye::Left, TestEyes().raw[0]);
    EXPECT_THROW(stereo::AddJpegEye(oneEye, Eye::Left, TestEyes().raw[0]), HeifError);
    EXPECT_THROW(oneEye.Write(dir / "one.heic"), HeifError);
    SpatialPhotoWriter both;
    stereo::AddJpegEye(both, Eye::Right, TestEyes().raw[1]);  // the right eye first is fine
    stereo::AddJpegEye(both, Eye::Left, TestEyes().raw[0]);
    EXPECT_THROW(both.Write(dir / "missing/x.heic"), InOutError);
    EXPECT_TRUE(testing::FileNames(dir.Path()).empty());
    both.Write(dir / "swapped.heic");
    const auto photo = SpatialPhoto::Open(dir / "swapped.heic");
    EXPECT_EQ(photo.Metadata(Eye::Left).exifTiff, TestEyes().raw[0].metadata.exifTiff);
    EXPECT_EQ(photo.Structure().primaryItem, photo.ItemId(Eye::Left));
    EXPECT_THROW(SpatialPhotoWriter({.quality = 101}), HeifError);
}

}  // namespace
}  // namespace veltrane::heif
