// SPDX-License-Identifier: GPL-3.0-or-later
// Spatial photos through the program: --stereo from a spatial photo (grouped by the tests' own
// writer) into every layout, the heic layout read back through libheif, the input path and
// heif-info, broken files refused with nothing written, the EXIF commands on each eye, and the
// Stereo window's session.
#include <gtest/gtest.h>

#include <libheif/heif.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "imaging/heif/spatial_photo.h"
#include "imaging/stereo/spatial_jpeg.h"
#include "imaging/stereo/spatial_photos.h"
#include "imaging/stereo/stereo_command.h"
#include "imaging/stereo/stereo_files.h"
#include "imaging/stereo/stereo_session.h"
#include "tests/heif/spatial_fixtures.h"
#include "tests/support/run_command_line.h"

namespace veltrane::heif {
namespace {

using namespace spatial_test;

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun Stereo(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = stereo::RunStereoCommand(args, out, err);
    return {status, out.str(), err.str()};
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The metadata of a JPEG image that the program wrote.
EyeMetadata JpegMetadata(const Bytes& jpeg) { return stereo::DecodeJpegEye(jpeg, {}, false).metadata; }

TEST(SpatialPhotoInput, EveryLayoutKeepsEachEyesExifAndProfile) {
    testing::TempDir dir;
    const std::string photo = dir.Write("pair.heic", LibheifPair(true));
    const int w = TestEyes().rgb[0].width, h = TestEyes().rgb[0].height;
    const auto& leftExif = TestEyes().rgb[0].metadata.exifTiff;
    const auto& rightExif = TestEyes().rgb[1].metadata.exifTiff;
    struct Case {
        std::vector<std::string> options;
        std::string output;  // the default name beside the photo
        std::string report;  // part of the report line
        int width, height;   // of the picture (each image for mpo and heic); 0: not checked
        const Bytes* icc;    // the JPEG's profile (nullptr: none, or not a JPEG)
    };
    const Case cases[] = {
        {{}, "pair.jps", "re-encoded: from HEVC", 2 * w, h, &kIcc[0]},
        {{"--layout", "parallel"}, "pair_parallel.jpg", "re-encoded: from HEVC", 2 * w, h, &kIcc[0]},
        {{"--layout", "over-under"}, "pair_overunder.jpg", "re-encoded: from HEVC", w, 2 * h, &kIcc[0]},
        {{"--layout", "half-sbs"}, "pair_halfsbs.jpg", "from HEVC, each eye resampled to half width", w, h, &kIcc[0]},
        {{"--layout", "half-ou"}, "pair_halfou.jpg", "from HEVC, each eye resampled to half height", w, h, &kIcc[0]},
        {{"--anaglyph", "gray"}, "pair_anaglyph.jpg", "re-encoded: from HEVC, gray anaglyph", w, h, nullptr},
        {{"--layout", "interlaced"}, "pair_interlaced.png", "PNG", w, h, nullptr},
        {{"--layout", "wiggle", "--max-size", "64"}, "pair_wiggle.gif", "animated GIF", 0, 0, nullptr},
        {{"--layout", "mpo"}, "pair_stereo.mpo", "re-encoded: from HEVC", w, h, nullptr},
        {{"--layout", "heic", "--quality", "50"}, "pair_spatial.heic", "re-encoded: HEVC at quality 50", w, h, nullptr},
        {{"--align", "--swap", "--layout", "parallel"}, "pair_parallel.jpg", "shift: ", 0, h, &kIcc[0]},
        {{"--parallax", "16", "--layout", "mpo"}, "pair_stereo.mpo", "images cropped by -16 pixels across", w - 16, h,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output + " " + (c.options.empty() ? "" : c.options.front()));
        std::vector<std::string> args = c.options;
        args.push_back(photo);
        const CommandRun run = Stereo(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(Has(run.out, c.report)) << run.out;
        if (c.width != 0) {
            EXPECT_TRUE(Has(run.out, c.output + ": " + std::to_string(c.width) + " x " + std::to_string(c.height)))
                << run.out;
        }
        const std::string output = dir / c.output;
        ASSERT_TRUE(std::filesystem::exists(output));
        if (c.icc != nullptr) {
            // One picture of both eyes keeps the first image's Exif and profile.
            const EyeMetadata m = JpegMetadata(testing::ReadBytes(output));
            EXPECT_EQ(m.iccProfile, *c.icc);
            EXPECT_FALSE(m.exifTiff.empty());
        }
        if (c.output.ends_with(".mpo") && c.options.size() == 2) {
            // Each image its own eye's Exif ("Right" in the right one's camera model) and profile.
            const auto [left, right] = stereo::ReadPair(output, 1, 2);
            EXPECT_EQ(JpegMetadata(left).exifTiff, leftExif);
            EXPECT_EQ(JpegMetadata(right).exifTiff, rightExif);
            EXPECT_EQ(JpegMetadata(left).iccProfile, kIcc[0]);
            EXPECT_EQ(JpegMetadata(right).iccProfile, kIcc[1]);
            EXPECT_TRUE(Has(testing::RunVeltrane({"--exif", output, "2"}).out, kRightModel));
        }
        if (c.output.ends_with(".heic")) {
            const auto written = SpatialPhoto::Open(output);
            EXPECT_EQ(written.Metadata(Eye::Right).exifTiff, rightExif);
            EXPECT_EQ(written.Metadata(Eye::Left).iccProfile, kIcc[0]);
            EXPECT_EQ(written.Metadata(Eye::Right).iccProfile, kIcc[1]);
        }
        std::filesystem::remove(output);
    }
    EXPECT_EQ(testing::FileNames(dir.Path()), std::vector<std::string>{"pair.heic"});
}

TEST(SpatialPhotoInput, TheHeicLayoutReadsBackThroughLibheifTheInputPathAndHeifInfo) {
    testing::TempDir dir;
    // Two JPEG files with the eyes' Exif and profiles: the spatial photo's own, through --stereo.
    const stereo::StereoPair eyes = stereo::ReadSpatialPair(dir.Write("source.heic", LibheifPair(true)), {});
    const std::string left = dir.Write("left.jpg", eyes.left), right = dir.Write("right.jpg", eyes.right);
    const std::string output = dir / "written.heic";
    const CommandRun run = Stereo({left, right, output});  // the name selects the layout
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "written.heic: ") && Has(run.out, "re-encoded: HEVC at quality 90")) << run.out;

    heif_context* ctx = heif_context_alloc();
    ASSERT_EQ(heif_context_read_from_file(ctx, output.c_str(), nullptr).code, heif_error_Ok);
    EXPECT_EQ(heif_context_get_number_of_top_level_images(ctx), 2);
    heif_item_id primary = 0;
    heif_context_get_primary_image_ID(ctx, &primary);
    heif_context_free(ctx);

    const auto photo = SpatialPhoto::Open(output);
    EXPECT_EQ(primary, photo.ItemId(Eye::Left));
    for (int i = 0; i < 2; ++i) {
        const Eye eye = i == 0 ? Eye::Left : Eye::Right;
        SCOPED_TRACE(i);
        EXPECT_EQ(photo.Metadata(eye).exifTiff, TestEyes().rgb[static_cast<std::size_t>(i)].metadata.exifTiff);
        EXPECT_EQ(photo.Metadata(eye).iccProfile, kIcc[i]);
        // Two generations of HEVC and one of JPEG, all at high quality.
        EXPECT_LT(MeanDifference(photo.DecodeRgb(eye).pixels, TestEyes().rgb[static_cast<std::size_t>(i)].rgb), 4.0);
    }
    const CommandRun again = Stereo({"--layout", "parallel", output});
    EXPECT_EQ(again.status, 0) << again.err;
    if (HeifInfoInstalled()) {
        const auto report = dir / "heif-info.txt";
        ASSERT_EQ(std::system(("heif-info '" + output + "' > '" + report + "' 2>&1").c_str()), 0);
        std::ifstream in(report);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(Has(text, "primary") && Has(text, "Exif")) << text;
    }
}

TEST(SpatialPhotoInput, BrokenOrUngroupedFilesFailAndWriteNothing) {
    const Bytes grouped = LibheifPair(true);
    const auto ster = static_cast<std::size_t>(std::search(grouped.begin(), grouped.end(), "ster", "ster" + 4) -
                                               grouped.begin()) - 4;
    const auto with = [&](std::size_t at, std::uint32_t value) {
        Bytes f = grouped;
        Set32(f, at, value);
        return f;
    };
    struct Case {
        const char* name;
        Bytes file;
        std::vector<std::string> options;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"no group", LibheifPair(false), {}, 1, "holds no stereo pair"},
        {"a group box cut short", with(ster, 18), {}, 1, "cut short"},
        {"a group box past its container", with(ster, 0x100), {"--layout", "heic"}, 1, "runs past the end"},
        {"a group of one", with(ster + 16, 1), {"--layout", "mpo"}, 1, "holds no stereo pair"},
        {"the coded data cut off", Bytes(grouped.begin(), grouped.end() - 2000), {}, 1, "lies outside the file"},
        {"a pair chosen", grouped, {"--pair", "1,2"}, 1, "--pair is for MPO files"},
        {"a quality for another layout", grouped, {"--quality", "80"}, 2, "--quality is for --layout heic"},
        {"a quality beyond 100", grouped, {"--layout", "heic", "--quality", "101"}, 2, "from 0 to 100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        const std::string path = dir.Write("broken.heic", c.file);
        std::vector<std::string> args = c.options;
        args.push_back(path);
        const CommandRun run = Stereo(args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(Has(run.err, c.message)) << run.err;
        if (c.status == 1) {
            EXPECT_TRUE(run.err.starts_with("veltrane: " + path + ": ")) << run.err;
        }
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(testing::FileNames(dir.Path()), std::vector<std::string>{"broken.heic"});
    }
}

TEST(SpatialPhotoInput, ExifCommandsReadEachEyesExifItem) {
    testing::TempDir dir;
    const std::string photo = dir.Write("pair.heic", LibheifPair(true));
    // JPEG files with the same Exif data, read the usual way.
    const stereo::StereoPair eyes = stereo::ReadSpatialPair(photo, {});
    const std::string jpegs[2] = {dir.Write("left.jpg", eyes.left), dir.Write("right.jpg", eyes.right)};
    for (const char* command : {"--exif", "--info", "--tags"}) {
        for (int n = 1; n <= 2; ++n) {
            SCOPED_TRACE(std::string(command) + " " + std::to_string(n));
            const auto heif = testing::RunVeltrane({command, photo, std::to_string(n)});
            const auto jpeg = testing::RunVeltrane({command, jpegs[n - 1]});
            EXPECT_EQ(heif.status, 0);
            // --exif's first row names the image ("Image 002: ..."), not the file.
            const auto rest = [](const std::string& text) { return text.substr(text.find('\n')); };
            EXPECT_EQ(rest(heif.out), rest(jpeg.out));
            EXPECT_EQ(Has(heif.out, kRightModel), n == 2) << heif.out;
        }
    }
    EXPECT_EQ(testing::RunVeltrane({"--exif", photo}).out, testing::RunVeltrane({"--exif", photo, "1"}).out);
    EXPECT_TRUE(Has(testing::RunVeltrane({"--exif", photo}).out, "Image: Image 001:"));
    const auto third = testing::RunVeltrane({"--tags", photo, "3"});
    EXPECT_EQ(third.status, 1);
    EXPECT_EQ(third.err, "veltrane: " + photo + ": there is no image 3 (the file holds 2 images)\n");
    // A HEIF file whose meta box is cut short: its cause, status 1.
    const std::string broken = dir.Write("broken.heic", Bytes{0, 0, 0, 16, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0,
                                                              0, 0, 0, 0, 0, 40, 'm', 'e', 't', 'a', 0, 0, 0, 0});
    const auto refused = testing::RunVeltrane({"--info", broken, "2"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.starts_with("veltrane: " + broken + ": ")) << refused.err;
}

TEST(SpatialPhotoInput, TheWindowsSessionPreviewsScaledEyesAndSavesEveryType) {
    testing::TempDir dir;
    const std::string photo = dir.Write("pair.heic", LibheifPair(true));
    const auto session = stereo::StereoSession::FromSpatialPhoto(photo, 200);
    const int w = TestEyes().rgb[0].width, h = TestEyes().rgb[0].height;
    EXPECT_EQ(session.Width(), w);
    EXPECT_EQ(session.Height(), h);
    // The smallest eighth whose longer side reaches 200 pixels, rounded up as libjpeg rounds.
    int eighths = 1;
    while (std::max(w, h) * eighths < 200 * 8) ++eighths;
    EXPECT_EQ(session.Preview().scaleEighths, eighths);
    const stereo::StereoPair pair = stereo::ReadSpatialPair(photo, {});
    const stereo::Eyes reference = stereo::DecodeEyes(pair.left, pair.right, 200, {});
    for (const auto* eye : {&session.Preview().left, &session.Preview().right}) {
        EXPECT_EQ(eye->width, (w * eighths + 7) / 8);
        EXPECT_EQ(eye->height, (h * eighths + 7) / 8);
    }
    // Lanczos against libjpeg's DCT scaling of the same eyes: alike, and each eye its own.
    EXPECT_LT(MeanDifference(session.Preview().left.pixels, reference.left.pixels), 4.0);
    EXPECT_LT(MeanDifference(session.Preview().right.pixels, reference.right.pixels), 4.0);
    EXPECT_GT(MeanDifference(session.Preview().left.pixels, reference.right.pixels),
              MeanDifference(session.Preview().left.pixels, reference.left.pixels));
    for (const stereo::Layout layout :
         {stereo::Layout::Cross, stereo::Layout::Parallel, stereo::Layout::Anaglyph, stereo::Layout::OverUnder,
          stereo::Layout::HalfSideBySide, stereo::Layout::HalfOverUnder, stereo::Layout::Interlaced,
          stereo::Layout::Wiggle, stereo::Layout::Mpo}) {
        SCOPED_TRACE(std::string(stereo::LayoutWord(layout)));
        stereo::StereoOptions options;
        options.layout = layout;
        options.align = true;
        const std::string output = stereo::DefaultStereoName(photo, layout);
        session.Save(options, output);
        EXPECT_GT(std::filesystem::file_size(output), 100u);
    }
}

}  // namespace
}  // namespace veltrane::heif
