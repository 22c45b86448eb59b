// SPDX-License-Identifier: GPL-3.0-or-later
// Full alignment measured from outside the program: pairs made here from one photograph (the
// first fixture's left image, or a picture of random shapes without the fixtures), the right eye
// turned, scaled, moved down and across by known amounts. After --align full the rows of the
// features that OpenCV's ORB and a brute-force matcher match between the corrected eyes agree
// to half a pixel in the median, and the turn left between them is under a tenth of a degree.
// The fixtures' real pairs come out no worse than they went in; unrelated and plain pairs are
// refused, and nothing is written for them. The eye warp agrees with OpenCV's bicubic warp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/align/eye_warp.h"
#include "imaging/stereo/image_writers.h"
#include "imaging/stereo/jpeg_codec.h"
#include "imaging/stereo/stereo_command.h"
#include "imaging/stereo/stereo_files.h"
#include "tests/support/run_command_line.h"
#include "tests/support/temp_dir.h"

namespace veltrane::stereo {
namespace {

using Bytes = std::vector<std::uint8_t>;
const std::string kFixtures = VELTRANE_FIXTURES_DIR;

cv::Mat DecodeRgb(const Bytes& jpeg) {
    Decoder decoder(jpeg, CodecLimits{}, "image");
    decoder.ReadHeader(false);
    cv::Mat rgb;
    Guarded(decoder.errors, "decode", [&] {
        decoder.info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&decoder.info);
    });
    rgb.create(static_cast<int>(decoder.info.output_height), static_cast<int>(decoder.info.output_width), CV_8UC3);
    for (int y = 0; y < rgb.rows; ++y) {
        JSAMPROW row = rgb.ptr<std::uint8_t>(y);
        Guarded(decoder.errors, "decode", [&] { jpeg_read_scanlines(&decoder.info, &row, 1); });
    }
    return rgb;
}

Bytes EncodeRgb(const cv::Mat& rgb) {
    JpegSettings settings;
    settings.quality = 95;
    settings.hSampling = settings.vSampling = 2;
    const auto writer = NewJpegWriter(rgb.cols, rgb.rows, settings);
    for (int y = 0; y < rgb.rows; ++y) writer->WriteRow(rgb.ptr<std::uint8_t>(y));
    return writer->Finish();
}

// Random shapes over fine grain, different for every seed.
cv::Mat Shapes(int width, int height, std::uint64_t seed) {
    cv::RNG random(seed);
    cv::Mat scene(height, width, CV_8UC3, cv::Scalar(110, 120, 130));
    for (int i = 0; i < width * height / 800; ++i) {
        const cv::Scalar colour(random.uniform(0, 256), random.uniform(0, 256), random.uniform(0, 256));
        const cv::Point at(random.uniform(0, width), random.uniform(0, height));
        const int size = random.uniform(3, width / 25);
        if (random.uniform(0, 2) == 0)
            cv::circle(scene, at, size, colour, -1, cv::LINE_AA);
        else
            cv::rectangle(scene, at, at + cv::Point(size, random.uniform(3, width / 25)), colour, -1, cv::LINE_AA);
    }
    cv::GaussianBlur(scene, scene, cv::Size(), 1.0);
    cv::Mat grain(scene.size(), CV_16SC3);
    random.fill(grain, cv::RNG::NORMAL, 0, 5);
    cv::add(scene, grain, scene, cv::noArray(), CV_8UC3);
    return scene;
}

// The photograph the pairs are made of: the first fixture's left image at twice its size.
cv::Mat Photograph() {
    const std::string fixture = kFixtures + "/frozenpond.mpo";
    if (!std::filesystem::exists(fixture)) return Shapes(1280, 960, 1);
    cv::Mat photo;
    cv::resize(DecodeRgb(ReadPair(fixture, 1, 2).first), photo, cv::Size(), 2, 2, cv::INTER_CUBIC);
    return photo;
}

// How the right eye differs: pixel p of it shows what the left eye shows at
// M (p - centre) / scale + centre + (across, -down), M = (cos, sin; -sin, cos) of degrees, so its
// content is turned clockwise on the screen by degrees (rows run down), larger by scale, lower by
// down, left by across. The program reports the turn counter-clockwise.
struct Tilt {
    double degrees, scale, down, across;
};

// Two eyes of 80 % of the photograph's size, from its middle.
std::pair<cv::Mat, cv::Mat> TiltedPair(const cv::Mat& photo, const Tilt& tilt) {
    const int width = photo.cols * 4 / 5 / 16 * 16, height = photo.rows * 4 / 5 / 16 * 16;
    const cv::Point2d centre((width - 1) / 2.0, (height - 1) / 2.0);
    const cv::Point2d offset((photo.cols - width) / 2.0, (photo.rows - height) / 2.0);
    auto eye = [&](const Tilt& t) {
        const double a = t.degrees * CV_PI / 180;
        const cv::Matx22d m = cv::Matx22d(std::cos(a), std::sin(a), -std::sin(a), std::cos(a)) * (1 / t.scale);
        const cv::Point2d shift = centre - cv::Point2d(m * cv::Vec2d(centre.x, centre.y)) + offset +
                                  cv::Point2d(t.across, -t.down);
        const cv::Matx23d map(m(0, 0), m(0, 1), shift.x, m(1, 0), m(1, 1), shift.y);
        cv::Mat view;
        cv::warpAffine(photo, view, map, cv::Size(width, height), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REFLECT);
        return view;
    };
    return {eye({0, 1, 0, 0}), eye(tilt)};
}

// How well the rows of two eyes agree, measured independently of the program.
struct RowAgreement {
    double medianRows = 1e9;  // median |vertical disparity| of the matched features, in pixels
    double degrees = 1e9;     // the turn between the eyes that the vertical disparities show
    int matches = 0;
};

RowAgreement MeasureRows(const cv::Mat& leftRgb, const cv::Mat& rightRgb) {
    cv::Mat left, right;
    cv::cvtColor(leftRgb, left, cv::COLOR_RGB2GRAY);
    cv::cvtColor(rightRgb, right, cv::COLOR_RGB2GRAY);
    const cv::Ptr<cv::ORB> orb = cv::ORB::create(4000);
    std::vector<cv::KeyPoint> kl, kr;
    cv::Mat dl, dr;
    orb->detectAndCompute(left, cv::noArray(), kl, dl);
    orb->detectAndCompute(right, cv::noArray(), kr, dr);
    std::vector<cv::DMatch> matches;
    if (!dl.empty() && !dr.empty()) cv::BFMatcher(cv::NORM_HAMMING, true).match(dl, dr, matches);
    std::vector<cv::Point2d> rows;  // (x, vertical disparity)
    for (const cv::DMatch& m : matches) {
        const cv::Point2f l = kl[static_cast<std::size_t>(m.queryIdx)].pt, r = kr[static_cast<std::size_t>(m.trainIdx)].pt;
        rows.emplace_back(l.x - left.cols / 2.0, r.y - l.y);
    }
    RowAgreement agreement;
    if (rows.size() < 20) return agreement;
    // The wrong matches: far from the median row.
    std::vector<double> dy;
    for (const cv::Point2d& p : rows) dy.push_back(p.y);
    std::nth_element(dy.begin(), dy.begin() + static_cast<std::ptrdiff_t>(dy.size() / 2), dy.end());
    const double median = dy[dy.size() / 2];
    std::erase_if(rows, [&](const cv::Point2d& p) { return std::abs(p.y - median) > 8; });
    std::vector<double> size;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const cv::Point2d& p : rows) {
        size.push_back(std::abs(p.y));
        sx += p.x, sy += p.y, sxx += p.x * p.x, sxy += p.x * p.y;
    }
    const double n = static_cast<double>(rows.size());
    std::nth_element(size.begin(), size.begin() + static_cast<std::ptrdiff_t>(size.size() / 2), size.end());
    agreement.medianRows = size[size.size() / 2];
    agreement.degrees = std::atan((n * sxy - sx * sy) / (n * sxx - sx * sx)) * 180 / CV_PI;
    agreement.matches = static_cast<int>(rows.size());
    return agreement;
}

struct CommandRun {
    int status = -1;
    std::string out, err;
};

CommandRun Stereo(const std::vector<std::string>& words) {
    std::ostringstream out, err;
    CommandRun run;
    run.status = RunStereoCommand(words, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::pair<cv::Mat, cv::Mat> Halves(const cv::Mat& sideBySide) {
    const int half = sideBySide.cols / 2;
    return {sideBySide(cv::Rect(0, 0, half, sideBySide.rows)).clone(),
            sideBySide(cv::Rect(half, 0, half, sideBySide.rows)).clone()};
}

// The eye warp row by row, into a picture.
cv::Mat Warped(const cv::Mat& eye, const align::PlaneMap& map, cv::Size size) {
    align::EyeWarp warp({eye.ptr<std::uint8_t>(0), eye.cols, eye.rows, static_cast<std::ptrdiff_t>(eye.step)}, map,
                        size.width, size.height);
    cv::Mat out(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y) warp.NextRow(out.ptr<std::uint8_t>(y));
    return out;
}

// Output pixel to source point: turned by degrees about the centre, scaled, shifted, and with
// perspective terms.
align::PlaneMap MapOf(double degrees, double scale, double across, double down, double px, double py, cv::Size size) {
    const double a = degrees * CV_PI / 180;
    const cv::Point2d c((size.width - 1) / 2.0, (size.height - 1) / 2.0);
    const cv::Matx33d turn(scale * std::cos(a), -scale * std::sin(a), 0, scale * std::sin(a), scale * std::cos(a), 0, px, py, 1);
    const cv::Matx33d m = cv::Matx33d(1, 0, c.x + across, 0, 1, c.y + down, 0, 0, 1) * turn *
                          cv::Matx33d(1, 0, -c.x, 0, 1, -c.y, 0, 0, 1);
    align::PlaneMap map{};
    for (std::size_t i = 0; i < 9; ++i) map[i] = m.val[i] / m.val[8];
    return map;
}

TEST(EyeWarp, AgreesWithOpenCvsBicubicWarp) {
    cv::Mat photo = Photograph();
    photo = photo(cv::Rect(0, 0, std::min(photo.cols, 1200), std::min(photo.rows, 900))).clone();
    const struct {
        const char* what;
        double degrees, scale, across, down, px, py;
    } cases[] = {
        {"turned and scaled", 2.0, 1.03, 7.3, -12.6, 0, 0},
        {"turned the other way, smaller", -1.3, 0.97, -3.5, 20.25, 0, 0},
        {"a steep turn (a tall window)", 10.0, 1.0, 0, 0, 0, 0},
        {"keystone", 0.8, 1.01, 2, 3, 2e-5, -3e-5},
        {"half a turn (both axes mirrored)", 180.0, 1.0, 0.5, 0.5, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const cv::Size size(photo.cols - 64, photo.rows - 48);
        const align::PlaneMap map = MapOf(c.degrees, c.scale, c.across, c.down, c.px, c.py, photo.size());
        const cv::Mat ours = Warped(photo, map, size);
        cv::Mat theirs;
        cv::warpPerspective(photo, theirs, cv::Matx33d(map.data()), size, cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                            cv::BORDER_REPLICATE);
        // Where the taps lie inside the photograph (beyond its edges the two clamp differently).
        cv::Mat inside(size, CV_8U);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                const double w = map[6] * x + map[7] * y + map[8];
                const double sx = (map[0] * x + map[1] * y + map[2]) / w, sy = (map[3] * x + map[4] * y + map[5]) / w;
                inside.at<std::uint8_t>(y, x) = sx >= 2 && sy >= 2 && sx <= photo.cols - 3 && sy <= photo.rows - 3;
            }
        }
        ASSERT_GT(cv::countNonZero(inside), static_cast<int>(inside.total()) / 2);
        cv::Mat difference;
        cv::absdiff(ours, theirs, difference);
        cv::cvtColor(difference, difference, cv::COLOR_RGB2GRAY);
        // Two cubics (theirs with a = -3/4, ours Catmull and Rom's, a = -1/2): close, never far.
        EXPECT_LT(cv::mean(difference, inside)[0], 0.6);
        const cv::Mat far = (difference > 16) & inside;
        EXPECT_LT(cv::countNonZero(far), static_cast<int>(difference.total()) / 1000);
    }
}

TEST(EyeWarp, CopiesExactlyAtWholePixelsAndRefusesAMapItCannotWarp) {
    const cv::Mat photo = Shapes(320, 240, 6);
    const cv::Rect inside(5, 3, 300, 200);
    EXPECT_EQ(cv::norm(Warped(photo, {1, 0, 5, 0, 1, 3, 0, 0, 1}, inside.size()), photo(inside), cv::NORM_INF), 0);
    const align::RgbView view{photo.ptr<std::uint8_t>(0), photo.cols, photo.rows, static_cast<std::ptrdiff_t>(photo.step)};
    const double nan = std::nan("");
    for (const align::PlaneMap& map : {align::PlaneMap{0, -1, 239, 1, 0, 0, 0, 0, 1},  // a quarter turn
                                       align::PlaneMap{1, 0, 0, 0, 1, 0, 0, -0.01, 1},  // past the horizon
                                       align::PlaneMap{1, 0, nan, 0, 1, 0, 0, 0, 1}}) {
        EXPECT_THROW(align::EyeWarp(view, map, 200, 200), align::AlignError);
    }
    align::EyeWarp warp(view, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 4, 1);
    std::uint8_t row[12];
    warp.NextRow(row);
    EXPECT_THROW(warp.NextRow(row), align::AlignError);
}

TEST(FullAlignment, CorrectsKnownTurnsScalesAndOffsetsToHalfAPixel) {
    const cv::Mat photo = Photograph();
    const struct {
        Tilt tilt;
        bool keystone;
    } cases[] = {
        {{2.0, 1.0, 0, 24}, false},    {{-2.0, 1.03, 20, 30}, false}, {{1.0, 0.97, -20, 16}, false},
        {{-0.5, 1.015, 12, 40}, false}, {{1.2, 1.01, -8, 20}, true},
    };
    static const std::regex said(R"(aligned: rotation (-?[0-9.]+)°, scale ([0-9.]+), vertical (-?[0-9.]+) px)");
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.tilt.degrees << "° x" << c.tilt.scale << " down " << c.tilt.down
                                          << (c.keystone ? " keystone" : ""));
        const testing::TempDir dir;
        const auto [left, right] = TiltedPair(photo, c.tilt);
        ASSERT_GT(MeasureRows(left, right).medianRows, 0.5 + std::abs(c.tilt.down) / 2);
        std::vector<std::string> words = {"--align", "full", "--layout", "parallel"};
        if (c.keystone) words.push_back("--keystone");
        for (const std::string& file : {dir.Write("l.jpg", EncodeRgb(left)), dir.Write("r.jpg", EncodeRgb(right)),
                                        dir / "out.jpg"})
            words.push_back(file);
        const CommandRun run = Stereo(words);
        ASSERT_EQ(run.status, 0) << run.err;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(run.out, m, said)) << run.out;
        EXPECT_NEAR(std::stod(m[1]), -c.tilt.degrees, 0.05);
        EXPECT_NEAR(std::stod(m[2]), c.tilt.scale, 0.002);
        EXPECT_NEAR(std::stod(m[3]), c.tilt.down, 0.5);
        const auto [l, r] = Halves(DecodeRgb(testing::ReadBytes(dir / "out.jpg")));
        const RowAgreement after = MeasureRows(l, r);
        EXPECT_GT(after.matches, 200);
        EXPECT_LE(after.medianRows, 0.5);
        EXPECT_LE(std::abs(after.degrees), 0.1);
    }
}

TEST(FullAlignment, LeavesTheFixturesRealPairsNoWorse) {
    for (const char* name : {"frozenpond.mpo", "sugarshack.mpo"}) {
        const std::string fixture = kFixtures + "/" + name;
        if (!std::filesystem::exists(fixture)) GTEST_SKIP() << "no fixtures";
        SCOPED_TRACE(name);
        const auto [l, r] = ReadPair(fixture, 1, 2);
        const RowAgreement before = MeasureRows(DecodeRgb(l), DecodeRgb(r));
        const testing::TempDir dir;
        const CommandRun run = Stereo({"--align", "full", "--layout", "mpo", fixture, dir / "out.mpo"});
        ASSERT_EQ(run.status, 0) << run.err;
        const auto [al, ar] = ReadPair(dir / "out.mpo", 1, 2);
        const RowAgreement after = MeasureRows(DecodeRgb(al), DecodeRgb(ar));
        // No worse, or within the half pixel of a pair in line already.
        EXPECT_LE(after.medianRows, std::max(before.medianRows, 0.5)) << before.medianRows;
        EXPECT_LE(std::abs(after.degrees), std::max(std::abs(before.degrees), 0.1));
    }
}

TEST(FullAlignment, MakesEveryLayoutOfTheCorrectedPair) {
    const testing::TempDir dir;
    const auto [left, right] = TiltedPair(Shapes(800, 600, 2), {1.0, 1.01, 6, 20});
    const std::string l = dir.Write("l.jpg", EncodeRgb(left)), r = dir.Write("r.jpg", EncodeRgb(right));
    for (const char* output : {"a.jpg", "o.jpg", "h.jpg", "i.png", "w.gif", "m.mpo", "x.jps"}) {
        SCOPED_TRACE(output);
        std::vector<std::string> words = {"--align", "full", l, r, dir / output};
        if (output[0] == 'a') words.insert(words.begin(), {"--layout", "anaglyph"});
        if (output[0] == 'o') words.insert(words.begin(), {"--layout", "over-under"});
        if (output[0] == 'h') words.insert(words.begin(), {"--layout", "half-sbs"});
        const CommandRun run = Stereo(words);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(", aligned: rotation "), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("lossless"), std::string::npos) << run.out;
    }
}

// The layouts made straight from the warps show the eyes that the MPO layout codes, in their
// places: the parallel picture's halves, the cross picture's exchanged, the over/under
// picture's one above the other, cropped across by a parallax, with and without the eyes
// exchanged.
TEST(FullAlignment, WarpedLayoutsShowTheCodedEyesInTheirPlaces) {
    const testing::TempDir dir;
    const auto [left, right] = TiltedPair(Shapes(800, 600, 7), {-1.5, 1.02, -9, 24});
    const std::string l = dir.Write("l.jpg", EncodeRgb(left)), r = dir.Write("r.jpg", EncodeRgb(right));
    // Each part differs from its eye by the codec's noise only, from the other eye by the
    // disparity's edges.
    const auto difference = [](const cv::Mat& a, const cv::Mat& b) {
        cv::Mat d;
        cv::absdiff(a, b, d);
        return cv::mean(d)[0];
    };
    for (const bool swap : {false, true}) {
        std::vector<std::string> words = {"--align", "full", l, r, dir / "m.mpo"};
        if (swap) words.insert(words.begin(), "--swap");
        ASSERT_EQ(Stereo(words).status, 0);
        const auto [codedLeft, codedRight] = ReadPair(dir / "m.mpo", 1, 2);
        const cv::Mat eyes[2] = {DecodeRgb(codedLeft), DecodeRgb(codedRight)};
        for (const char* layout : {"parallel", "cross", "over-under"}) {
            SCOPED_TRACE(::testing::Message() << layout << (swap ? " swapped" : ""));
            words.back() = dir / "out.jpg";
            words.insert(words.begin(), {"--layout", layout});
            ASSERT_EQ(Stereo(words).status, 0);
            words.erase(words.begin(), words.begin() + 2);
            const cv::Mat out = DecodeRgb(testing::ReadBytes(dir / "out.jpg"));
            const bool stacked = layout[0] == 'o';
            const cv::Size eye = eyes[0].size();
            ASSERT_EQ(out.size(), stacked ? cv::Size(eye.width, 2 * eye.height) : cv::Size(2 * eye.width, eye.height));
            const cv::Rect second = stacked ? cv::Rect(0, eye.height, eye.width, eye.height)
                                            : cv::Rect(eye.width, 0, eye.width, eye.height);
            const int first = layout[0] == 'c' ? 1 : 0;
            const cv::Mat parts[2] = {out(cv::Rect(cv::Point(), eye)), out(second)};
            for (int i = 0; i < 2; ++i) {
                const double own = difference(parts[i], eyes[i == 0 ? first : 1 - first]);
                EXPECT_LT(own, 3.0);
                EXPECT_GT(difference(parts[i], eyes[i == 0 ? 1 - first : first]), 3 * own);
            }
        }
        // With a parallax the halves are cropped across: the left eye from the parallax on,
        // the right eye short of it.
        SCOPED_TRACE(::testing::Message() << "parallax" << (swap ? " swapped" : ""));
        words.back() = dir / "out.jpg";
        words.insert(words.begin(), {"--layout", "parallel", "--parallax", "20"});
        ASSERT_EQ(Stereo(words).status, 0);
        const cv::Mat out = DecodeRgb(testing::ReadBytes(dir / "out.jpg"));
        const int width = eyes[0].cols - 20, height = eyes[0].rows;
        ASSERT_EQ(out.size(), cv::Size(2 * width, height));
        EXPECT_LT(difference(out(cv::Rect(0, 0, width, height)), eyes[0](cv::Rect(20, 0, width, height))), 3.0);
        EXPECT_LT(difference(out(cv::Rect(width, 0, width, height)), eyes[1](cv::Rect(0, 0, width, height))), 3.0);
    }
}

TEST(FullAlignment, RefusesPairsThatCannotBeMatchedAndWritesNothing) {
    const testing::TempDir dir;
    const cv::Mat grey(480, 640, CV_8UC3, cv::Scalar(128, 128, 128));
    const struct {
        const char* what;
        cv::Mat left, right;
        const char* why;
    } cases[] = {
        {"unrelated", Shapes(800, 600, 3), Shapes(800, 600, 4), "cannot align: "},
        {"flat grey", grey, grey, "cannot align: too few features"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = dir / "out.jpg";
        const CommandRun run = Stereo({"--align", "full", dir.Write("l.jpg", EncodeRgb(c.left)),
                                dir.Write("r.jpg", EncodeRgb(c.right)), out});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    EXPECT_EQ(Stereo({"--keystone", dir / "l.jpg", dir / "r.jpg", dir / "out.jpg"}).status, 2);
}

TEST(FullAlignment, AlignsEveryFileOfEachBesideItAndCountsThem) {
    const testing::TempDir dir;
    CommandLineServices services;
    services.RunStereo = [](const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                            const ScanOptions& scan) { return RunStereoCommand(words, out, err, scan); };
    std::vector<std::string> files;
    for (const Tilt& tilt : {Tilt{1.5, 1.0, 10, 20}, Tilt{-1.0, 1.02, -6, 30}}) {
        const auto [left, right] = TiltedPair(Shapes(640, 480, 5), tilt);
        std::string name = std::to_string(files.size());
        name.insert(0, 1, 'p');
        name.append(".mpo");
        files.push_back(dir / name);
        // Two JPEG files back to back, each with an EXIF segment: the signature scan finds both.
        Bytes mpo;
        for (const cv::Mat& eye : {left, right}) {
            JpegSettings settings;
            settings.exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            const auto writer = NewJpegWriter(eye.cols, eye.rows, settings);
            for (int y = 0; y < eye.rows; ++y) writer->WriteRow(eye.ptr<std::uint8_t>(y));
            const Bytes jpeg = writer->Finish();
            mpo.insert(mpo.end(), jpeg.begin(), jpeg.end());
        }
        testing::WriteBytes(files.back(), mpo);
    }
    files.push_back(dir.Write("grey.jpg", EncodeRgb(cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(128)))));
    std::vector<std::string> words = {"--stereo", "--align", "full", "--layout", "mpo", "--each"};
    words.insert(words.end(), files.begin(), files.end());
    const testing::RunResult run = testing::RunVeltrane(words, services);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(std::filesystem::exists(dir / "p0_stereo.mpo"));
    EXPECT_TRUE(std::filesystem::exists(dir / "p1_stereo.mpo"));
    EXPECT_LT(run.out.find("p0_stereo.mpo: "), run.out.find("p1_stereo.mpo: ")) << run.out;
    EXPECT_NE(run.out.find("2 pictures written, 1 failed"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("grey.jpg: "), std::string::npos) << run.err;

    // Words that the stereo command refuses are refused once, not once a file.
    const testing::RunResult refused =
        testing::RunVeltrane({"--stereo", "--layout", "mpo", files[0], "--each", files[0], files[1]}, services);
    EXPECT_EQ(refused.status, 2);
    const std::string said = "--each takes the files after it";
    const std::size_t first = refused.err.find(said);
    EXPECT_NE(first, std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find(said, first + 1), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace veltrane::stereo
