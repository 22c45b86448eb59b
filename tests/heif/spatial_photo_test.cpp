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
#include "heif/spatial_photo.h"
#include "tests/support/temp_dir.h"
#include "stereo/spatial_jpeg.h"
#include "tools/heif_spatial/jpeg_eyes.h"
#include "tools/samples/jpeg_writer.h"

// x265 3.5 keeps about 1 KiB of every x265_encoder_open after the encoder is closed, whoever
// drives it (libheif's own calls in this test leak the same); LeakSanitizer is told so. Without
// frame pointers in x265 the fast unwinder may only see its allocator: the library is named too.
extern "C" const char* __lsan_default_suppressions() { return "leak:x265_encoder_open\nleak:libx265.so\n"; }

namespace veltrane::heif {
namespace {

using testing::Bytes;
using stereo::JpegEye;
const std::filesystem::path kFixtures = VELTRANE_FIXTURES_DIR;

// ICC profiles only travel here: their content does not matter to the files.
const Bytes kIcc[2] = {Bytes{0, 0, 0, 24, 'l', 'e', 'f', 't', 0, 0, 0, 0, 'm', 'n', 't', 'r', 'R', 'G', 'B', ' ', 'X', 'Y', 'Z', ' '},
                       Bytes{0, 0, 0, 25, 'r', 'i', 'g', 'h', 't', 0, 0, 0, 0, 'm', 'n', 't', 'r', 'R', 'G', 'B', ' ', 'X', 'Y', 'Z', ' '}};

// The console fixture's two JPEGs, or two of the sample writer's when the fixture is absent.
std::array<Bytes, 2> EyeJpegs() {
    std::ifstream in(kFixtures / "sugarshack.mpo", std::ios::binary);
    if (in) {
        const Bytes mpo((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Bytes signature = {0xFF, 0xD8, 0xFF, 0xE1};
        const auto second = std::search(mpo.begin() + 4, mpo.end(), signature.begin(), signature.end());
        if (second != mpo.end()) return {Bytes(mpo.begin(), second), Bytes(second, mpo.end())};
    }
    samples::SampleExif exif;
    exif.width = 320;
    exif.height = 240;
    return {samples::SampleStereoImage(0, exif), samples::SampleStereoImage(1, exif, samples::ByteOrder::Big)};
}

struct Eyes {
    std::array<JpegEye, 2> raw;  // YCbCr 4:2:0 where the JPEGs are
    std::array<JpegEye, 2> rgb;
};

const Eyes& TestEyes() {
    static const Eyes eyes = [] {
        Eyes e;
        const auto jpegs = EyeJpegs();
        for (int i = 0; i < 2; ++i) {
            e.raw[static_cast<std::size_t>(i)] = stereo::DecodeJpegEye(jpegs[static_cast<std::size_t>(i)], {});
            e.rgb[static_cast<std::size_t>(i)] = stereo::DecodeJpegEye(jpegs[static_cast<std::size_t>(i)], {}, false);
            e.raw[static_cast<std::size_t>(i)].metadata.iccProfile = kIcc[i];
            e.rgb[static_cast<std::size_t>(i)].metadata.iccProfile = kIcc[i];
        }
        return e;
    }();
    return eyes;
}

std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// This test's own way of adding the group, for files as libheif 1.15 writes them: 32-bit box
// sizes, 'meta' before 'mdat', 'iloc' of version 0 or 1 with 4-byte offsets and lengths and a
// 4-byte base offset or none. The 'grpl' box goes to the end of 'meta'; every base offset (or,
// without one, every extent offset) grows by its size.
Bytes AddGroupTheTestsWay(Bytes file, std::uint32_t left, std::uint32_t right, std::uint32_t groupId) {
    const auto typeAt = [&](std::size_t at) { return std::string(file.begin() + static_cast<std::ptrdiff_t>(at) + 4, file.begin() + static_cast<std::ptrdiff_t>(at) + 8); };
    std::size_t meta = 0;
    while (meta + 8 <= file.size() && typeAt(meta) != "meta") meta += Get32(file, meta);
    const std::size_t metaEnd = meta + Get32(file, meta);
    std::size_t box = meta + 12;
    while (box + 8 <= metaEnd && typeAt(box) != "iloc") box += Get32(file, box);
    const int version = file[box + 8];
    const int baseSize = file[box + 13] >> 4;
    const int indexSize = version == 1 ? file[box + 13] & 15 : 0;
    EXPECT_LE(version, 1);
    EXPECT_EQ(file[box + 12], 0x44);  // offset_size 4, length_size 4
    EXPECT_TRUE(baseSize == 0 || baseSize == 4);
    if (version > 1 || file[box + 12] != 0x44 || (baseSize != 0 && baseSize != 4)) return {};
    std::size_t at = box + 16;
    const int items = file[box + 14] << 8 | file[box + 15];
    for (int i = 0; i < items; ++i) {
        at += 2 + (version == 1 ? 2 : 0) + 2;  // item ID, construction method, data reference
        const bool moveBase = baseSize == 4 && Get32(file, at) >= metaEnd;
        if (moveBase) Set32(file, at, Get32(file, at) + 36);
        at += static_cast<std::size_t>(baseSize);
        const int extents = file[at] << 8 | file[at + 1];
        at += 2;
        for (int e = 0; e < extents; ++e) {
            at += static_cast<std::size_t>(indexSize);
            if (!moveBase) {
                EXPECT_GE(Get32(file, at), metaEnd);
                Set32(file, at, Get32(file, at) + 36);
            }
            at += 8;
        }
    }
    const Bytes grpl = {0, 0, 0, 36, 'g', 'r', 'p', 'l', 0, 0, 0, 28, 's', 't', 'e', 'r', 0, 0, 0, 0,
                        0, 0, 0, static_cast<std::uint8_t>(groupId), 0, 0, 0, 2,
                        0, 0, 0, static_cast<std::uint8_t>(left), 0, 0, 0, static_cast<std::uint8_t>(right)};
    Set32(file, meta, static_cast<std::uint32_t>(metaEnd - meta + 36));
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(metaEnd), grpl.begin(), grpl.end());
    return file;
}

// Both eyes encoded straight through libheif's C interface, in the order left, right (items 1
// and 3, their Exif items 2 and 4), with or without the test's group.
Bytes EncodeLibheifPair(bool group) {
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    EXPECT_EQ(heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code, heif_error_Ok);
    heif_encoder_set_lossy_quality(encoder, 85);
    heif_encoder_set_logging_level(encoder, 0);
    for (int i = 0; i < 2; ++i) {
        const JpegEye& eye = TestEyes().rgb[static_cast<std::size_t>(i)];
        heif_image* image = nullptr;
        heif_image_create(eye.width, eye.height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
        heif_image_add_plane(image, heif_channel_interleaved, eye.width, eye.height, 8);
        int stride = 0;
        std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < eye.height; ++y)
            std::copy_n(eye.rgb.data() + static_cast<std::size_t>(y) * eye.width * 3, eye.width * 3, plane + y * stride);
        heif_image_set_raw_color_profile(image, "prof", kIcc[i].data(), kIcc[i].size());
        heif_image_handle* handle = nullptr;
        EXPECT_EQ(heif_context_encode_image(ctx, image, encoder, nullptr, &handle).code, heif_error_Ok);
        const auto& exif = eye.metadata.exifTiff;
        if (!exif.empty()) heif_context_add_exif_metadata(ctx, handle, exif.data(), static_cast<int>(exif.size()));
        heif_image_handle_release(handle);
        heif_image_release(image);
    }
    heif_encoder_release(encoder);
    Bytes file;
    heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* out) {
                           auto* bytes = static_cast<Bytes*>(out);
                           bytes->insert(bytes->end(), static_cast<const std::uint8_t*>(data),
                                         static_cast<const std::uint8_t*>(data) + size);
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    EXPECT_EQ(heif_context_write(ctx, &writer, &file).code, heif_error_Ok);
    heif_context_free(ctx);
    return group ? AddGroupTheTestsWay(file, 1, 3, 5) : file;
}

// The two files, encoded once for all tests.
const Bytes& LibheifPair(bool group) {
    static const Bytes files[2] = {EncodeLibheifPair(false), EncodeLibheifPair(true)};
    return files[group ? 1 : 0];
}

// Mean absolute difference of two RGB pictures of one size.
double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    double sum = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) sum += std::abs(int{a[i]} - int{b[i]});
    return a.empty() ? 0 : sum / static_cast<double>(a.size());
}

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

        if (std::filesystem::exists("/usr/bin/heif-info")) {
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
