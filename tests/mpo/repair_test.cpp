// SPDX-License-Identifier: GPL-3.0-or-later
// --repair of indexes broken in several ways and of an imaging library's own three-image MPO:
// the images come back whole, with a usable index, and decode without a warning.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/mpo/mpf_segment.h"
#include "core/mpo/mpo_repair.h"
#include "tests/mpo/mpo_test_support.h"
#include "tests/support/run_command_line.h"
#include "tools/samples/jpeg_writer.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane {
namespace {

using testing::Bytes;

Bytes Cat(std::initializer_list<Bytes> pieces) {
    Bytes out;
    for (const Bytes& p : pieces) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The file with its first MPF segment's declared length made shorter by n bytes.
Bytes ShortenedIndex(Bytes file, int n) {
    const std::size_t at = std::search(file.begin(), file.end(), "MPF", "MPF" + 3) - file.begin() - 2;
    const int length = (file[at] << 8 | file[at + 1]) - n;
    file[at] = std::uint8_t(length >> 8);
    file[at + 1] = std::uint8_t(length);
    return file;
}

// Inserts junk into an image right after its first header segment.
Bytes WithHeaderJunk(const Bytes& image, const Bytes& junk) {
    Bytes out = image;
    const std::size_t at = 4 + (std::size_t{image[4]} << 8 | image[5]);
    out.insert(out.begin() + long(at), junk.begin(), junk.end());
    return out;
}

// Decodes every image of an MPO file with djpeg; returns what it printed (warnings).
std::string DjpegWarnings(const testing::TempDir& dir, const std::vector<Bytes>& images) {
    std::string warnings;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::string path = dir.Write("decode.jpg", images[i]);
        const auto run = testing::RunProgram("djpeg -outfile /dev/null " + testing::Quoted(path));
        if (run.status != 0 || !run.output.empty()) warnings += "image " + std::to_string(i + 1) + ": " + run.output;
    }
    return warnings;
}

TEST(Repair, FindsTheImagesAndWritesAFreshIndex) {
    const Bytes jfif = samples::SampleJfifImage(0), left = samples::SampleStereoImage(0),
                right = samples::SampleStereoImage(1, {}, samples::ByteOrder::Big);
    const Bytes indexed = samples::IndexedMpo({jfif, left, right});
    const Bytes junk(100, 0x5A);
    auto editedIndex = [&](auto edit) {
        samples::MpfOptions options;
        options.edit = edit;
        return samples::IndexedMpo({jfif, left, right}, options);
    };
    const std::vector<std::uint32_t> oldTypes = {kMpTypeBaselinePrimary, kMpTypeDisparity, kMpTypeDisparity};
    const std::vector<std::uint32_t> disparity(3, kMpTypeDisparity);
    struct Case {
        const char* what;
        Bytes file;
        std::vector<Bytes> images;  // the repaired file's images without their MPF segment
        std::vector<std::uint32_t> types;
        bool oldTypes;          // the report says the types came from the old index
        std::int64_t dropped;
        std::size_t notes;      // lines before the report line
    };
    const Case cases[] = {
        {"a usable index", indexed, {jfif, left, right}, oldTypes, true, 0, 0},
        {"no index", samples::JoinImages({jfif, left, right}), {jfif, left, right}, disparity,
         false, 0, 0},
        {"wrong offsets", editedIndex([](auto& e, auto&) { e[1].offset += 3; e[2].offset = 0xFFFF0000; }),
         {jfif, left, right}, oldTypes, true, 0, 0},
        {"count and list disagree", editedIndex([](auto&, std::uint32_t& n) { n = 4; }), {jfif, left, right},
         disparity, false, 0, 0},
        {"index segment 16 bytes short", ShortenedIndex(indexed, 16), {jfif, left, right}, oldTypes,
         true, 16, 0},
        {"junk between, after and in a header", Cat({junk, jfif, junk, WithHeaderJunk(left, {1, 2, 3}), right, {0, 0}}),
         {jfif, left, right}, disparity, false, 205, 0},
        {"last image cut short", Bytes(indexed.begin(), indexed.end() - 30), {jfif, left}, {kMpTypeBaselinePrimary, kMpTypeDisparity},
         true, long(right.size() - 30), 1},
        {"a start of image with nothing behind it", Cat({left, {0xFF, 0xD8, 0xFF, 0x00, 0x01}, right}), {left, right},
         {kMpTypeDisparity, kMpTypeDisparity}, false, 5, 1},
    };
    testing::TempDir dir;
    const bool djpeg = testing::HaveCommand("djpeg");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string input = dir.Write("broken.mpo", c.file);
        const auto run = testing::RunVeltrane({"--repair", input});
        // Each note here is an image left out, which makes the repair fail though it writes the rest.
        ASSERT_EQ(run.status, c.notes == 0 ? 0 : 1) << run.err;
        const std::string start = dir / "broken_repaired.mpo: " + std::to_string(c.images.size()) + " images (" +
                                  (c.oldTypes ? "types from the old index" : "disparity") + "), ";
        const std::string end = " K, " + std::to_string(c.dropped) + " bytes dropped\n";
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), long(c.notes + 1)) << run.out;
        EXPECT_NE(run.out.find(start), std::string::npos) << run.out;
        EXPECT_TRUE(run.out.ends_with(end)) << run.out;
        MpfIndex index;
        const std::vector<Bytes> images = testing::IndexedImages(testing::ReadBytes(dir / "broken_repaired.mpo"), &index);
        ASSERT_EQ(images.size(), c.images.size()) << index.problem;
        for (std::size_t i = 0; i < images.size(); ++i) {
            EXPECT_EQ(testing::WithoutMpf(images[i]), testing::WithoutMpf(c.images[i])) << "image " << i + 1;
            EXPECT_EQ(index.entries[i].attribute & kMpTypeMask, c.types[i]);
        }
        if (djpeg) {
            EXPECT_EQ(DjpegWarnings(dir, images), "");
        }
        // The same bytes repaired in memory give the same file.
        RepairReport report;
        EXPECT_EQ(RepairMpoBytes(c.file, report), testing::ReadBytes(dir / "broken_repaired.mpo"));
    }
}

// The imaging library sizes its index for two images before it knows the count; with three it
// writes the longer index over the start of the next segment, a DQT, and declares the short
// length: 69 bytes follow it that belong to no segment, and luminance table 0 is gone.
TEST(Repair, MendsTheImagingLibrarysThreeImageMpo) {
    const std::string python = testing::PythonWithPillow();
    if (python.empty()) GTEST_SKIP() << "no Python with Pillow";
    testing::TempDir dir;
    const std::string made = dir / "pillow.mpo";
    const auto make = testing::RunProgram(
        python + " -c \"from PIL import Image; ims = [Image.new('RGB', (64, 48), c) for c in ('red', 'green', 'blue')];"
                 " ims[0].save('" + made + "', save_all=True, append_images=ims[1:], format='MPO')\"");
    ASSERT_EQ(make.status, 0) << make.output;
    const auto run = testing::RunVeltrane({"--repair", made});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "image 1: quantization table 0 restored from image 2\n" + dir / "pillow_repaired.mpo: " +
                           "3 images (types from the old index), 3 K, 69 bytes dropped\n");
    const Bytes repaired = testing::ReadBytes(dir / "pillow_repaired.mpo");
    MpfIndex index;
    const std::vector<Bytes> images = testing::IndexedImages(repaired, &index);
    ASSERT_EQ(images.size(), 3u);
    // The restored table is the second image's: the three images share their header.
    EXPECT_EQ(testing::HeaderSegments(testing::WithoutMpf(images[0])).size(),
              testing::HeaderSegments(testing::WithoutMpf(images[1])).size());
    if (testing::HaveCommand("djpeg")) {
        EXPECT_EQ(DjpegWarnings(dir, images), "");
    }
    const auto pillow = testing::RunProgram(
        python + " -c \"from PIL import Image; im = Image.open('" + dir / "pillow_repaired.mpo" + "');"
                 " print(im.n_frames, [(im.seek(i), im.load(), im.getpixel((8, 8)))[2] for i in range(im.n_frames)])\"");
    EXPECT_EQ(pillow.output, "3 [(254, 0, 0), (0, 128, 1), (0, 0, 254)]\n");
}

// Saved with a quality of its own, the first image's tables differ from the other two's: its
// overwritten luminance table is rebuilt from the 53 values that survive, as the encoder scaled
// the standard's table. With a surviving value changed no scale fits: the image is left out,
// and the repair says so and fails.
TEST(Repair, RebuildsATableThatNoOtherImageShares) {
    const std::string python = testing::PythonWithPillow();
    if (python.empty()) GTEST_SKIP() << "no Python with Pillow";
    testing::TempDir dir;
    const auto make = testing::RunProgram(
        python + " -c \"from PIL import Image; ims = [Image.new('RGB', (320, 240), c) for c in ('red', 'green', 'blue')];"
                 " ims[0].save('" + dir / "pillow.mpo" + "', save_all=True, append_images=ims[1:], quality=90);"
                 " ims[0].save('" + dir / "q90.jpg" + "', quality=90)\"");
    ASSERT_EQ(make.status, 0) << make.output;
    const Bytes made = testing::ReadBytes(dir / "pillow.mpo");
    auto tableZero = [](const Bytes& jpeg) {
        for (const testing::HeaderSegment& s : testing::HeaderSegments(jpeg))
            if (s.marker == 0xDB && jpeg[s.offset + 4] == 0) return Bytes(jpeg.begin() + long(s.offset), jpeg.begin() + long(s.offset + s.size));
        return Bytes();
    };
    struct Case {
        const char* what;
        std::size_t changedByte;  // of the file, 0: none
        int status;
        std::string notes;
        std::size_t images;
    };
    const std::size_t lastTableValue = 0x14 + 2 + 88 + 68;  // the first image's DQT ends 16 bytes after the index
    const Case cases[] = {
        {"as written", 0, 0, "image 1: quantization table 0 rebuilt from the 53 values that survive\n", 3},
        {"a surviving value changed", lastTableValue, 1,
         "the image at offset 0 is left out: its quantization table 0 is not defined\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = made;
        if (c.changedByte != 0) file[c.changedByte] = std::uint8_t(file[c.changedByte] + 1);
        const std::string input = dir.Write("broken.mpo", file);
        const auto run = testing::RunVeltrane({"--repair", input});
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(run.out.starts_with(c.notes)) << run.out;
        const std::vector<Bytes> images = testing::IndexedImages(testing::ReadBytes(dir / "broken_repaired.mpo"));
        ASSERT_EQ(images.size(), c.images);
        if (c.status == 0) {
            EXPECT_EQ(tableZero(images[0]), tableZero(testing::ReadBytes(dir / "q90.jpg")));
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_EQ(run.err, "veltrane: " + input + ": 1 image left out of " + dir / "broken_repaired.mpo" + " (see above)\n");
        }
    }
}

}  // namespace
}  // namespace veltrane
