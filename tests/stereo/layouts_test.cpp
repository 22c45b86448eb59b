// SPDX-License-Identifier: GPL-3.0-or-later
// Every layout and anaglyph kind, on a console's MPO and on synthetic pairs, each output read
// back with its format's own decoder and held against a small reference computation from the
// decoded inputs: exact rows where the output is lossless (interlaced PNG, over/under composed
// from the DCT blocks), a PSNR floor where it is resampled, re-encoded or palettized.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "imaging/stereo/preview.h"
#include "imaging/stereo/resample.h"
#include "imaging/stereo/stereo_command.h"
#include "imaging/stereo/stereo_files.h"
#include "tests/stereo/stereo_test_support.h"
#include "tests/support/temp_dir.h"

namespace veltrane::stereo {
namespace {

using namespace testing_support;
const std::filesystem::path kFixtures = VELTRANE_FIXTURES_DIR;

int RunStereo(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::ostringstream o, e;
    const int status = RunStereoCommand(args, o, e);
    out = o.str();
    err = e.str();
    return status;
}

RgbImage SideBySide(const RgbImage& a, const RgbImage& b) {
    RgbImage out(a.width + b.width, a.height);
    for (int y = 0; y < a.height; ++y) {
        std::memcpy(out.Row(y), a.Row(y), a.RowBytes());
        std::memcpy(out.Row(y) + a.RowBytes(), b.Row(y), b.RowBytes());
    }
    return out;
}

RgbImage Stacked(const RgbImage& a, const RgbImage& b) {
    RgbImage out(a.width, a.height + b.height);
    std::memcpy(out.pixels.data(), a.pixels.data(), a.pixels.size());
    std::memcpy(out.pixels.data() + a.pixels.size(), b.pixels.data(), b.pixels.size());
    return out;
}

// The anaglyph of each kind, straight from its definition, in double precision.
RgbImage AnaglyphReference(const RgbImage& l, const RgbImage& r, AnaglyphKind kind) {
    using M = double[3][3];
    static const M kRedCyan[2] = {{{0.437, 0.449, 0.164}, {-0.062, -0.062, -0.024}, {-0.048, -0.050, -0.017}},
                                  {{-0.011, -0.032, -0.007}, {0.377, 0.761, 0.009}, {-0.026, -0.093, 1.234}}};
    static const M kAmberBlue[2] = {{{1.062, -0.205, 0.299}, {-0.026, 0.908, 0.068}, {-0.038, -0.173, 0.022}},
                                    {{-0.016, -0.123, -0.017}, {0.006, 0.062, -0.017}, {0.094, 0.185, 0.911}}};
    static const M kGreenMagenta[2] = {{{-0.062, -0.158, -0.039}, {0.284, 0.668, 0.143}, {-0.015, -0.027, 0.021}},
                                       {{0.529, 0.705, 0.024}, {-0.016, -0.015, -0.065}, {0.009, 0.075, 0.937}}};
    auto lin = [](int v) { const double c = v / 255.0; return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    auto srgb = [](double v) {
        v = std::clamp(v, 0.0, 1.0);
        return static_cast<std::uint8_t>(std::lround(255.0 * (v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055)));
    };
    auto y = [](const std::uint8_t* p) { return static_cast<std::uint8_t>(std::lround(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2])); };
    const M* m = kind == AnaglyphKind::Dubois ? kRedCyan : kind == AnaglyphKind::AmberBlue ? kAmberBlue
               : kind == AnaglyphKind::GreenMagenta ? kGreenMagenta : nullptr;
    RgbImage out(l.width, l.height);
    for (std::size_t i = 0; i < out.pixels.size(); i += 3) {
        const std::uint8_t* a = &l.pixels[i];
        const std::uint8_t* b = &r.pixels[i];
        std::uint8_t* o = &out.pixels[i];
        if (m != nullptr) {
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (int k = 0; k < 3; ++k) v += m[0][c][k] * lin(a[k]) + m[1][c][k] * lin(b[k]);
                o[c] = srgb(v);
            }
            continue;
        }
        o[1] = b[1], o[2] = b[2];
        switch (kind) {
            case AnaglyphKind::Gray: o[0] = y(a), o[1] = o[2] = y(b); break;
            case AnaglyphKind::Color: o[0] = a[0]; break;
            case AnaglyphKind::HalfColor: o[0] = y(a); break;
            default: o[0] = static_cast<std::uint8_t>(std::lround(0.7 * a[1] + 0.3 * a[2])); break;
        }
    }
    return out;
}

enum class Check { Interlaced, OverUnderLossless, OverUnder, HalfSbs, HalfOu, Anaglyph, Gif, Webp, SwappedParallel };

struct Case {
    const char* title;
    bool fixture;                    // sugarshack.mpo, else the synthetic pair of the given height
    int height;
    std::vector<std::string> options;
    std::string output;              // empty: the default name
    std::string defaultName;         // expected default name (fixture cases)
    Check check;
    std::string described;           // the report line's end
    double psnrFloor = 0;            // 0: exact
    AnaglyphKind kind = AnaglyphKind::Dubois;
    int reduce = 1;                  // wiggle: the frames' reduction
};

std::vector<Case> Cases() {
    std::vector<Case> cases = {
        {"interlaced png", true, 0, {"--layout", "interlaced"}, "", "sugarshack_interlaced.png", Check::Interlaced,
         "PNG, rows alternating from the left eye"},
        {"interlaced by extension", false, 192, {}, "out.png", "", Check::Interlaced, "PNG, rows alternating from the left eye"},
        {"over-under lossless", true, 0, {"--layout", "over-under"}, "", "sugarshack_overunder.jpg", Check::OverUnderLossless,
         "lossless"},
        {"over-under lossless synthetic", false, 192, {"--layout", "over-under"}, "out.jpg", "", Check::OverUnderLossless, "lossless"},
        {"over-under off the grid", false, 200, {"--layout", "over-under"}, "out.jpg", "", Check::OverUnder,
         "re-encoded: the first half's height 200 is not a multiple of 16", 36},
        {"half-sbs", true, 0, {"--layout", "half-sbs"}, "", "sugarshack_halfsbs.jpg", Check::HalfSbs,
         "re-encoded: each eye resampled to half width", 38},
        {"half-sbs synthetic", false, 192, {"--layout", "half-sbs"}, "out.jpg", "", Check::HalfSbs,
         "re-encoded: each eye resampled to half width", 32},
        {"half-ou", true, 0, {"--layout", "half-ou"}, "", "sugarshack_halfou.jpg", Check::HalfOu,
         "re-encoded: each eye resampled to half height", 38},
        {"half-ou synthetic", false, 200, {"--layout", "half-ou"}, "out.jpg", "", Check::HalfOu,
         "re-encoded: each eye resampled to half height", 32},
        {"wiggle gif", true, 0, {"--layout", "wiggle", "--max-size", "320"}, "", "sugarshack_wiggle.gif", Check::Gif,
         "animated GIF, 2 frames of 150 ms", 33, AnaglyphKind::Dubois, 2},
        {"wiggle gif by extension", false, 192, {"--max-size", "128", "--delay", "84"}, "out.gif", "", Check::Gif,
         "animated GIF, 2 frames of 80 ms", 23, AnaglyphKind::Dubois, 2},
        {"wiggle webp", true, 0, {"--max-size", "320"}, "w.webp", "", Check::Webp, "animated WebP, 2 frames of 150 ms", 34,
         AnaglyphKind::Dubois, 2},
        {"wiggle webp full size", false, 192, {"--layout", "wiggle", "--delay", "333"}, "w.WEBP", "", Check::Webp,
         "animated WebP, 2 frames of 333 ms", 34, AnaglyphKind::Dubois, 1},
        {"parallel swapped", false, 192, {"--layout", "parallel", "--swap"}, "out.jpg", "", Check::SwappedParallel, "lossless"},
    };
    const std::pair<AnaglyphKind, const char*> kinds[] = {
        {AnaglyphKind::Dubois, "dubois"}, {AnaglyphKind::AmberBlue, "amber-blue"}, {AnaglyphKind::GreenMagenta, "green-magenta"},
        {AnaglyphKind::Gray, "gray"},     {AnaglyphKind::Color, "color"},          {AnaglyphKind::HalfColor, "half-color"},
        {AnaglyphKind::Optimized, "optimized"}};
    for (const auto& [kind, word] : kinds) {
        const std::string described = kind == AnaglyphKind::Dubois ? "re-encoded: anaglyph"
                                                                   : "re-encoded: " + std::string(word) + " anaglyph";
        cases.push_back({"anaglyph", true, 0, {"--anaglyph", word}, "an.jpg", "", Check::Anaglyph, described, 38, kind});
        cases.push_back({"anaglyph synthetic", false, 192, {"--layout", "anaglyph", "--anaglyph", word}, "an.jpg", "",
                         Check::Anaglyph, described, 37, kind});
    }
    return cases;
}

TEST(Layouts, EveryLayoutAndKindMatchesItsReference) {
    const bool haveFixtures = std::filesystem::exists(kFixtures / "sugarshack.mpo");
    for (const Case& c : Cases()) {
        if (c.fixture && !haveFixtures) continue;
        SCOPED_TRACE(std::string(c.title) + " " + ::testing::PrintToString(c.options));
        testing::TempDir dir;
        std::vector<std::string> args = c.options;
        Bytes leftBytes, rightBytes;
        if (c.fixture) {
            const std::string mpo = dir / "sugarshack.mpo";
            std::filesystem::copy_file(kFixtures / "sugarshack.mpo", mpo);
            std::tie(leftBytes, rightBytes) = ReadPair(mpo, 1, 2);
            args.push_back(mpo);
        } else {
            leftBytes = SceneJpeg(256, c.height, 0, 0);
            rightBytes = SceneJpeg(256, c.height, 24, 0);
            args.push_back(dir.Write("l.jpg", leftBytes));
            args.push_back(dir.Write("r.jpg", rightBytes));
        }
        if (!c.output.empty()) args.push_back(dir / c.output);
        const std::string output = dir / (c.output.empty() ? c.defaultName : c.output);
        std::string out, err;
        ASSERT_EQ(RunStereo(args, out, err), 0) << err;
        EXPECT_EQ(err, "");
        ASSERT_TRUE(std::filesystem::exists(output)) << out;
        const Bytes bytes = testing::ReadBytes(output);
        EXPECT_NE(out.find(", " + c.described + "\n"), std::string::npos) << out;

        const bool exactDecode = c.check == Check::OverUnderLossless || c.check == Check::SwappedParallel;
        const RgbImage l = DecodeJpeg(leftBytes, !exactDecode), r = DecodeJpeg(rightBytes, !exactDecode);
        std::vector<RgbImage> results;
        RgbImage expected;
        switch (c.check) {
            case Check::Interlaced: {
                results.push_back(DecodePng(bytes));
                expected = l;
                for (int y = 1; y < l.height; y += 2) std::memcpy(expected.Row(y), r.Row(y), r.RowBytes());
                break;
            }
            case Check::OverUnderLossless:
            case Check::OverUnder:
                results.push_back(DecodeJpeg(bytes, !exactDecode));
                expected = Stacked(l, r);
                break;
            case Check::SwappedParallel:
                results.push_back(DecodeJpeg(bytes, false));
                expected = SideBySide(r, l);
                break;
            case Check::HalfSbs:
                results.push_back(DecodeJpeg(bytes));
                expected = SideBySide(BoxReduce(l, 2, 1), BoxReduce(r, 2, 1));
                break;
            case Check::HalfOu:
                results.push_back(DecodeJpeg(bytes));
                expected = Stacked(BoxReduce(l, 1, 2), BoxReduce(r, 1, 2));
                break;
            case Check::Anaglyph:
                results.push_back(DecodeJpeg(bytes));
                expected = AnaglyphReference(l, r, c.kind);
                break;
            case Check::Gif:
            case Check::Webp: {
                std::vector<int> delays;
                int loop = -1;
                results = c.check == Check::Gif ? DecodeGif(bytes, &delays, &loop) : DecodeWebp(bytes, &delays, &loop);
                ASSERT_EQ(results.size(), 2u);
                EXPECT_EQ(loop, 0);  // forever
                const int delay = std::stoi(c.described.substr(c.described.find(" of ") + 4));
                EXPECT_EQ(delays, (std::vector<int>{delay, delay}));
                EXPECT_GT(Psnr(results[1], BoxReduce(r, c.reduce, c.reduce)), c.psnrFloor);
                expected = BoxReduce(l, c.reduce, c.reduce);
                break;
            }
        }
        const RgbImage& result = results.front();
        ASSERT_EQ(result.width, expected.width);
        ASSERT_EQ(result.height, expected.height);
        EXPECT_NE(out.find(": " + std::to_string(result.width) + " x " + std::to_string(result.height) + ", "),
                  std::string::npos);
        const double psnr = Psnr(result, expected);
        if (c.psnrFloor == 0) {
            EXPECT_TRUE(std::isinf(psnr)) << "PSNR " << psnr;
        } else {
            EXPECT_GT(psnr, c.psnrFloor);
        }
    }
}

// The window's path: eyes decoded once, pictures rendered from them. At full size it gives
// the interlaced picture's exact rows and the same crop as the file.
TEST(Preview, RendersWhatTheFileHolds) {
    const Bytes left = SceneJpeg(256, 192, 0, 0), right = SceneJpeg(256, 192, 24, 0);
    const Eyes full = DecodeEyes(left, right, 4096, {});
    EXPECT_EQ(full.scaleEighths, 8);
    const StereoPicture png = ComposeStereo(left, right, {Layout::Interlaced, false, {}});
    ViewSettings settings;
    settings.layout = Layout::Interlaced;
    EXPECT_EQ(Psnr(RenderStereo(full, settings), DecodePng(png.bytes)), std::numeric_limits<double>::infinity());

    // A quarter-size decode: the layouts' sizes follow the eyes', the shift is scaled.
    const Eyes small = DecodeEyes(left, right, 64, {});
    EXPECT_EQ(small.scaleEighths, 2);
    EXPECT_EQ(small.left.width, 64);
    const Alignment measured = MeasureAlignment(small);
    EXPECT_NEAR(measured.across, 24, 4);
    EXPECT_NEAR(measured.down, 0, 4);
    settings.alignment = {24, 0};
    settings.parallax = 8;  // 2 pixels at this scale
    const struct {
        Layout layout;
        int width, height;
    } sizes[] = {{Layout::Cross, 2 * 60, 48},    {Layout::Parallel, 2 * 60, 48}, {Layout::OverUnder, 60, 96},
                 {Layout::HalfSideBySide, 60, 48}, {Layout::HalfOverUnder, 60, 48}, {Layout::Anaglyph, 60, 48},
                 {Layout::Interlaced, 60, 48},   {Layout::Wiggle, 60, 48}};
    for (const auto& s : sizes) {
        settings.layout = s.layout;
        const RgbImage picture = RenderStereo(small, settings);
        EXPECT_EQ(picture.width, s.width) << LayoutWord(s.layout);
        EXPECT_EQ(picture.height, s.height) << LayoutWord(s.layout);
    }
    const auto frames = WiggleFrames(small, settings);
    // Cropped by 4 pixels across at this scale (24 - 8 full-size pixels): the right frame
    // starts 4 pixels into the right picture.
    EXPECT_EQ(std::memcmp(frames[1].Row(10), small.right.Row(10) + 4 * 3, frames[1].RowBytes()), 0);
    EXPECT_EQ(std::memcmp(frames[0].Row(10), small.left.Row(10), frames[0].RowBytes()), 0);
}

}  // namespace
}  // namespace veltrane::stereo

namespace veltrane::stereo {
namespace {

// The halving filter's vector path gives exactly the fixed-point sums of the general path, for
// even and odd widths and offsets into the source.
TEST(Resample, HalvingPathEqualsTheGeneralOne) {
    // An odd width does not halve exactly: it keeps the general path throughout.
    for (const auto& [width, start, length] : {std::tuple{4000, 0.0, 4000.0}, std::tuple{641, 0.0, 641.0},
                                               std::tuple{500, 37.0, 400.0}, std::tuple{96, 0.0, 96.0}}) {
        SCOPED_TRACE(width);
        const bool halves = static_cast<int>(length) % 2 == 0;
        std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
        for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>((i * 7919 + i / 3 * 31) % 256);
        const FilterTaps taps = LanczosTaps(start, length, width, static_cast<int>(length + 1) / 2);
        EXPECT_EQ(taps.halfTo - taps.halfFrom > taps.destination / 2, halves);
        FilterTaps general = taps;
        general.halfFrom = general.halfTo = 0;
        std::vector<std::uint8_t> fast(static_cast<std::size_t>(taps.destination) * 3), slow(fast.size());
        ResampleRow(row.data(), fast.data(), taps);
        ResampleRow(row.data(), slow.data(), general);
        EXPECT_EQ(fast, slow);
    }
}

}  // namespace
}  // namespace veltrane::stereo
