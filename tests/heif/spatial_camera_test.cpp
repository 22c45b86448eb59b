// SPDX-License-Identifier: GPL-3.0-or-later
// The cameras' properties of the spatial photos --stereo --layout heic writes: the defaults taken
// from the source (MPF BaselineLength, the camera model, FocalLengthIn35mmFormat), the options,
// the values read back by the box reader and by a newer libheif's heif-info, the rewrite of a
// spatial photo's values that copies its coded eyes, and the options' errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <sstream>

#include "core/heif_boxes/stereo_camera.h"
#include "core/mpo/mpf_segment.h"
#include "imaging/stereo/spatial_rewrite.h"
#include "imaging/stereo/stereo_command.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"
#include "tools/samples/tiff_builder.h"

namespace veltrane::stereo {
namespace {

namespace hb = heif_boxes;
using samples::Bytes;

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun Stereo(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunStereoCommand(args, out, err);
    return {status, out.str(), err.str()};
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

constexpr int kWidth = 64, kHeight = 48;

// One eye as a camera writes it: Make and Model, FocalLengthIn35mmFormat when f35 is not 0, and
// an MPF attribute segment with BaselineLength (metres, as a fraction) when given.
Bytes EyeJpeg(int eye, const std::string& make, const std::string& model, std::uint16_t f35,
              std::optional<std::pair<std::uint32_t, std::uint32_t>> baselineMetres) {
    samples::TiffBuilder tiff(samples::ByteOrder::Big);
    const int ifd0 = tiff.AddIfd(), exif = tiff.AddIfd();
    tiff.Ascii(ifd0, 0x010F, make);
    tiff.Ascii(ifd0, 0x0110, model);
    tiff.Link(ifd0, 0x8769, exif);
    if (f35 != 0) tiff.Short(exif, 0xA405, {f35});
    else tiff.Long(exif, 0xA002, {kWidth});
    Bytes segments = samples::ExifApp1Segment(tiff.Build());
    if (baselineMetres) {
        const auto mpf = BuildMpfAttributeSegment(
            {static_cast<std::uint32_t>(eye + 1),
             {MpTag::Rational(kMpTagBaselineLength, baselineMetres->first, baselineMetres->second)}});
        segments.insert(segments.end(), mpf.begin(), mpf.end());
    }
    samples::SampleExif scene;
    scene.width = kWidth;
    scene.height = kHeight;
    return samples::BaselineJpeg(kWidth, kHeight, samples::StereoPainter(eye, scene), segments);
}

// What a shell command printed, and whether it succeeded.
std::pair<std::string, bool> Run(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {"", false};
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    return {output, pclose(pipe) == 0};
}

// heif-info of libheif 1.19 (scripts/libheif-backports.sh), or "" when it cannot be had here.
std::string NewerHeifInfo() {
#if defined(VELTRANE_LIBHEIF_BACKPORTS) && !defined(_WIN32)
    static const std::string path = [] {
        auto [output, ok] = Run(std::string("'") + VELTRANE_LIBHEIF_BACKPORTS + "' '" + VELTRANE_LIBHEIF_BACKPORTS_DIR + "'");
        if (ok && output.ends_with("\n")) return output.substr(0, output.size() - 1);
        std::printf("heif-info of libheif 1.19 cannot be had: %s", output.c_str());
        return std::string();
    }();
    return path;
#else
    return "";
#endif
}

// What heif-info 1.19 says about both eyes: each with the intrinsic matrix of the field of view
// in pixels (f = (W / 2) / tan(hfov / 2), the principal point at the centre, no skew) and an
// extrinsic matrix without rotation.
void ExpectHeifInfoCameras(const std::string& path, double fov) {
    const std::string heifInfo = NewerHeifInfo();
    if (heifInfo.empty()) return;
    const std::string text = Run("'" + heifInfo + "' '" + path + "'").first;
    const double focal = kWidth / 2.0 / std::tan(fov * std::numbers::pi / 360);
    std::size_t at = 0;
    for (int eye = 0; eye < 2; ++eye) {
        SCOPED_TRACE(eye);
        at = text.find("camera intrinsic matrix:", at);
        ASSERT_NE(at, std::string::npos) << text;
        double fx = 0, fy = 0, px = 0, py = 0, skew = 1;
        ASSERT_EQ(std::sscanf(text.c_str() + at,
                              "camera intrinsic matrix:\n focal length: %lf; %lf\n principal point: %lf; %lf\n skew: %lf",
                              &fx, &fy, &px, &py, &skew),
                  5)
            << text;
        EXPECT_NEAR(fx, focal, 1e-4 * focal);
        EXPECT_NEAR(fy, focal, 1e-4 * focal);
        EXPECT_DOUBLE_EQ(px, kWidth / 2.0);
        EXPECT_DOUBLE_EQ(py, kHeight / 2.0);
        EXPECT_EQ(skew, 0);
        at = text.find("camera extrinsic matrix:", at);
        ASSERT_NE(at, std::string::npos) << text;
        double m[9] = {};
        ASSERT_EQ(std::sscanf(text.c_str() + at,
                              "camera extrinsic matrix:\n rotation matrix:\n %lf %lf %lf\n %lf %lf %lf\n %lf %lf %lf", &m[0],
                              &m[1], &m[2], &m[3], &m[4], &m[5], &m[6], &m[7], &m[8]),
                  9)
            << text;
        for (int i = 0; i < 9; ++i) EXPECT_EQ(m[i], i % 4 == 0 ? 1.0 : 0.0) << i;
    }
}

hb::StereoCameraFacts ReadBack(const std::string& path) {
    return hb::ReadStereoCamera(hb::ParseHeif(testing::ReadBytes(path)));
}

TEST(SpatialCamera, DefaultsFromTheSourceOrTheOptionsAreWrittenAndReadBack) {
    using Metres = std::optional<std::pair<std::uint32_t, std::uint32_t>>;
    struct Case {
        const char* name;
        const char* make;
        const char* model;
        std::uint16_t f35;
        Metres baseline;
        std::vector<std::string> options;
        std::string report;
        double baselineMm, fov, disparity;
    };
    const double fov31 = 2 * std::atan(18.0 / 31) * 180 / std::numbers::pi;
    const Case cases[] = {
        {"a console", "Nintendo", "Nintendo 3DS", 31, {}, {},
         "baseline 35 mm (Nintendo 3DS), field of view 60.3\u00B0 (35 mm equivalent 31 mm), disparity adjustment +0.00%",
         35, fov31, 0},
        {"a camera known by its model", "FUJIFILM", "FinePix REAL 3D W1", 0, {}, {},
         "baseline 77 mm (FUJIFILM FinePix REAL 3D W1), field of view 60.0\u00B0 (default)", 77, 60, 0},
        {"MPF BaselineLength before the model", "FUJIFILM", "FinePix REAL 3D W3", 0, Metres{{73, 1000}}, {},
         "baseline 73 mm (MPF BaselineLength)", 73, 60, 0},
        {"an unknown MPF BaselineLength and camera", "Veltrane", "Sample", 0, Metres{{0xFFFFFFFF, 0xFFFFFFFF}}, {},
         "baseline 65 mm (default)", 65, 60, 0},
        {"the options", "Nintendo", "Nintendo 3DS", 31, {}, {"--baseline", "63.81", "--fov", "80", "--disparity", "0.0293"},
         "baseline 63.81 mm, field of view 80.0\u00B0, disparity adjustment +2.93%", 63.81, 80, 0.0293},
        {"the parallax", "Veltrane", "Sample", 0, {}, {"--parallax", "4"}, "disparity adjustment +6.25% (parallax)", 65,
         60, 0.0625},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        const std::string left = dir.Write("l.jpg", EyeJpeg(0, c.make, c.model, c.f35, c.baseline));
        const std::string right = dir.Write("r.jpg", EyeJpeg(1, c.make, c.model, c.f35, c.baseline));
        std::vector<std::string> args = {left, right, dir / "out.heic"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CommandRun run = Stereo(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(Has(run.out, "out.heic: 64 x 48, ") && Has(run.out, "re-encoded: HEVC at quality 90, ") &&
                    Has(run.out, c.report))
            << run.out;
        const hb::StereoCameraFacts facts = ReadBack(dir / "out.heic");
        EXPECT_NEAR(*facts.baselineMm, c.baselineMm, 1e-9);
        EXPECT_NEAR(*facts.horizontalFov, c.fov, 1e-6);
        EXPECT_NEAR(*facts.disparityAdjustment, c.disparity, 1e-12);
        ExpectHeifInfoCameras(dir / "out.heic", c.fov);
    }
}

TEST(SpatialCamera, NewValuesForASpatialPhotoCopyItsCodedEyes) {
    testing::TempDir dir;
    const std::string left = dir.Write("l.jpg", EyeJpeg(0, "Nintendo", "Nintendo 3DS", 31, {}));
    const std::string right = dir.Write("r.jpg", EyeJpeg(1, "Nintendo", "Nintendo 3DS", 31, {}));
    ASSERT_EQ(Stereo({left, right, dir / "photo.heic", "--disparity", "-0.01"}).status, 0);
    const CommandRun run = Stereo({dir / "photo.heic", dir / "again.heic", "--fov", "80"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "again.heic: 64 x 48, ") &&
                Has(run.out, ", lossless, baseline 35 mm (from the spatial photo), field of view 80.0\u00B0, "
                             "disparity adjustment -1.00% (from the spatial photo)\n"))
        << run.out;
    const Bytes before = testing::ReadBytes(dir / "photo.heic"), after = testing::ReadBytes(dir / "again.heic");
    const hb::HeifStructure a = hb::ParseHeif(before), b = hb::ParseHeif(after);
    for (const auto& item : a.items) EXPECT_EQ(hb::ItemPayload(b, after, item.id), hb::ItemPayload(a, before, item.id));
    const hb::StereoCameraFacts facts = hb::ReadStereoCamera(b);
    EXPECT_NEAR(*facts.horizontalFov, 80, 1e-6);
    EXPECT_NEAR(*facts.disparityAdjustment, -0.01, 1e-12);
    ExpectHeifInfoCameras(dir / "again.heic", 80);
    // The program's own path, without the image libraries, writes the same; it leaves anything
    // else to --stereo.
    std::ostringstream out, err;
    EXPECT_EQ(RunSpatialCameraRewrite({dir / "photo.heic", "--layout", "heic", dir / "light.heic", "--fov", "80"}, out, err), 0);
    EXPECT_EQ(testing::ReadBytes(dir / "light.heic"), after);
    EXPECT_TRUE(Has(out.str(), "light.heic: 64 x 48, ") && Has(out.str(), ", lossless, baseline 35 mm")) << out.str();
    for (const std::vector<std::string>& args : {std::vector<std::string>{dir / "photo.heic", dir / "x.heic", "--quality", "50"},
                                                 {left, right, dir / "x.heic"}, {left, dir / "x.heic"},
                                                 {dir / "photo.heic", dir / "x.heic", "--fov", "0"}})
        EXPECT_FALSE(RunSpatialCameraRewrite(args, out, err).has_value()) << args[2];
    EXPECT_FALSE(std::filesystem::exists(dir / "x.heic"));
}

TEST(SpatialCamera, OptionErrorsWriteNothing) {
    testing::TempDir dir;
    const std::string left = dir.Write("l.jpg", EyeJpeg(0, "Nintendo", "Nintendo 3DS", 31, {}));
    const std::string right = dir.Write("r.jpg", EyeJpeg(1, "Nintendo", "Nintendo 3DS", 31, {}));
    const struct {
        std::vector<std::string> options;
        const char* message;
    } cases[] = {
        {{"--fov", "0"}, "--fov takes degrees, more than 0 and less than 180, as in --fov 65"},
        {{"--baseline", "-1"}, "--baseline takes millimetres, more than 0 and at most 10000, as in --baseline 63.5"},
        {{"--disparity", "2"}, "--disparity takes a fraction of the width from -1 to 1, as in --disparity 0.03"},
        {{"--disparity"}, "--disparity needs a value"},
        {{"--layout", "parallel", "--fov", "60"}, "--fov is for --layout heic"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = {left, right, dir / "out.heic"};
        if (c.options.front() == "--layout") args.back() = dir / "out.jpg";
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CommandRun run = Stereo(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(Has(run.err, std::string("veltrane: ") + c.message)) << run.err;
        EXPECT_EQ(testing::FileNames(dir.Path()), (std::vector<std::string>{"l.jpg", "r.jpg"}));
    }
}

}  // namespace
}  // namespace veltrane::stereo
