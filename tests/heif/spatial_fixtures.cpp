// SPDX-License-Identifier: GPL-3.0-or-later
// The spatial photos of the tests (spatial_fixtures.h).
#include "tests/heif/spatial_fixtures.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/samples/jpeg_writer.h"

namespace veltrane::heif::spatial_test {
namespace {
const std::filesystem::path kFixtures = VELTRANE_FIXTURES_DIR;
}  // namespace

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
        // The right eye's Exif data of its own (big-endian), as a camera writes for each eye.
        samples::SampleExif right;
        right.model = kRightModel;
        right.width = static_cast<std::uint32_t>(e.rgb[1].width);
        right.height = static_cast<std::uint32_t>(e.rgb[1].height);
        e.raw[1].metadata.exifTiff = e.rgb[1].metadata.exifTiff = samples::SampleExifTiff(right, samples::ByteOrder::Big);
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

namespace {

// Both eyes encoded straight through libheif's C interface, in the order left, right (items 1
// and 3, their Exif items 2 and 4), with or without the test's group.
Bytes EncodeLibheifPair(bool group, const Bytes& rightExif = {}) {
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
        const auto& exif = i == 1 && !rightExif.empty() ? rightExif : eye.metadata.exifTiff;
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

}  // namespace

const Bytes& LibheifPair(bool group) {
    static const Bytes files[2] = {EncodeLibheifPair(false), EncodeLibheifPair(true)};
    return files[group ? 1 : 0];
}

Bytes LibheifPairWithRightExif(const Bytes& exifTiff) { return EncodeLibheifPair(true, exifTiff); }

// Mean absolute difference of two RGB pictures of one size.
bool HeifInfoInstalled() {
#ifdef _WIN32
    return false;  // under wine a Unix path may exist, but no Linux program runs from there
#else
    return std::filesystem::exists("/usr/bin/heif-info");
#endif
}

double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    double sum = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) sum += std::abs(int{a[i]} - int{b[i]});
    return a.empty() ? 0 : sum / static_cast<double>(a.size());
}

}  // namespace veltrane::heif::spatial_test
