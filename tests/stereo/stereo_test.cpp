// SPDX-License-Identifier: GPL-3.0-or-later
// Stereo output: exact halves of lossless side-by-side files, their marker segments and default
// names, alignment on the console fixtures, the anaglyph against a direct computation, the
// re-encoding fallbacks and every error path.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "core/exif/exif_reader.h"
#include "core/exif/tiff_directory.h"
#include "imaging/stereo/stereo_command.h"
#include "imaging/stereo/stereo_files.h"
#include "core/parts/file_parts.h"
#include "tests/mpo/mpo_test_support.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"
#include "tools/samples/mpf_writer.h"
#include "tools/samples/phone_photos.h"

namespace veltrane::stereo {
namespace {

using testing::Bytes;
const std::filesystem::path kFixtures = VELTRANE_FIXTURES_DIR;

struct Decoded {
    int width = 0, height = 0, components = 0;
    Bytes pixels;                          // RGB, row-major
    std::vector<std::pair<int, Bytes>> markers;  // saved APP segments, in file order
    int hSampling = 0;
};

// Decodes as `djpeg -nosmooth` does: no fancy upsampling, the accurate integer IDCT.
Decoded Decode(const Bytes& jpeg) {
    Decoder d(jpeg, {});
    for (int m = 0; m < 16; ++m) jpeg_save_markers(&d.info, JPEG_APP0 + m, 0xFFFF);
    d.ReadHeader(false);
    Decoded out;
    Guarded(d.errors, "decode", [&] {
        d.info.out_color_space = JCS_RGB;
        d.info.do_fancy_upsampling = FALSE;
        d.info.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&d.info);
    });
    out.width = static_cast<int>(d.info.output_width);
    out.height = static_cast<int>(d.info.output_height);
    out.components = d.info.num_components;
    out.hSampling = d.info.comp_info[0].h_samp_factor;
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    Guarded(d.errors, "decode", [&] {
        while (d.info.output_scanline < d.info.output_height) {
            JSAMPROW row = out.pixels.data() + static_cast<std::size_t>(d.info.output_scanline) * out.width * 3;
            jpeg_read_scanlines(&d.info, &row, 1);
        }
    });
    for (auto m = d.info.marker_list; m != nullptr; m = m->next)
        out.markers.emplace_back(m->marker, Bytes(m->data, m->data + m->data_length));
    return out;
}

// Columns [x, x + w) of a decoded picture.
Bytes Columns(const Decoded& d, int x, int w) {
    Bytes out;
    for (int y = 0; y < d.height; ++y) {
        const auto row = d.pixels.begin() + (static_cast<std::ptrdiff_t>(y) * d.width + x) * 3;
        out.insert(out.end(), row, row + w * 3);
    }
    return out;
}

const Bytes* Marker(const Decoded& d, int marker) {
    for (const auto& [m, data] : d.markers)
        if (m == marker) return &data;
    return nullptr;
}

int RunStereo(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr) {
    std::ostringstream o, e;
    const int status = RunStereoCommand(args, o, e);
    if (out) *out = o.str();
    if (err) *err = e.str();
    return status;
}

TEST(SideBySide, HalvesAreExactCropsOfTheirInputsWithExifAndJpsSegments) {
    if (!std::filesystem::exists(kFixtures / "sugarshack.mpo")) GTEST_SKIP() << "no fixtures";
    struct Case {
        const char* fixture;
        Layout layout;
        bool align;
        const char* defaultName;
    };
    const Case cases[] = {
        {"sugarshack.mpo", Layout::Cross, false, "sugarshack.jps"},
        {"sugarshack.mpo", Layout::Parallel, false, "sugarshack_parallel.jpg"},
        {"frozenpond.mpo", Layout::Cross, true, "frozenpond.jps"},
        {"frozenpond.mpo", Layout::Parallel, true, "frozenpond_parallel.jpg"},
        {"sugarshack.mpo", Layout::Parallel, true, "sugarshack_parallel.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + (c.align ? " aligned " : " ") + c.defaultName);
        testing::TempDir dir;
        const std::string mpo = dir / c.fixture;
        std::filesystem::copy_file(kFixtures / c.fixture, mpo);
        std::vector<std::string> args = {"--layout", c.layout == Layout::Cross ? "cross" : "parallel", mpo};
        if (c.align) args.insert(args.begin(), "--align");
        std::string out;
        ASSERT_EQ(RunStereo(args, &out), 0);
        EXPECT_NE(out.find("lossless"), std::string::npos) << out;
        std::vector<std::string> names = {c.defaultName, c.fixture};
        std::sort(names.begin(), names.end());
        EXPECT_EQ(testing::FileNames(dir.Path()), names);

        std::string notices;
        const auto [leftBytes, rightBytes] = ReadPair(mpo, 1, 2, {}, [&](const std::string& r) { notices += r; });
        EXPECT_EQ(notices, "");
        const Decoded left = Decode(leftBytes), right = Decode(rightBytes);
        const Decoded result = Decode(testing::ReadBytes(dir / c.defaultName));
        int shift = 0;
        if (c.align) {
            const std::size_t at = out.find("cropped by ");
            ASSERT_NE(at, std::string::npos);
            shift = std::stoi(out.substr(at + 11));
            EXPECT_EQ(shift % 16, 0);
        }
        const int leftX = std::max(0, -shift), rightX = leftX + shift, half = result.width / 2;
        ASSERT_EQ(result.height, left.height);
        const bool cross = c.layout == Layout::Cross;
        EXPECT_EQ(Columns(result, 0, half), cross ? Columns(right, rightX, half) : Columns(left, leftX, half));
        EXPECT_EQ(Columns(result, half, half), cross ? Columns(left, leftX, half) : Columns(right, rightX, half));

        // The left image's EXIF with the output's size; the JPS descriptor; no MPF index.
        const Bytes* jps = Marker(result, JPEG_APP0 + 3);
        ASSERT_NE(jps, nullptr);
        EXPECT_EQ(*jps, (Bytes{'_', 'J', 'P', 'S', 'J', 'P', 'S', '_', 0, 4, 0, Bytes::value_type(cross ? 0 : 4), 2, 1, 0, 0}));
        EXPECT_EQ(Marker(result, JPEG_APP0 + 2), nullptr);
        ASSERT_NE(Marker(result, JPEG_APP0 + 1), nullptr);
        EXPECT_EQ(result.markers.front().first, JPEG_APP0 + 1);
        exif::ExifReader reader;
        reader.OpenBuffer(testing::ReadBytes(dir / c.defaultName), exif::SourceFormat::Jpeg);
        ASSERT_NE(reader.Directory(), nullptr);
        EXPECT_EQ(reader.Directory()->TagValueByName("ExifImageWidth"), std::to_string(result.width));
        EXPECT_EQ(reader.Directory()->TagValueByName("ExifImageLength"), std::to_string(result.height));
        EXPECT_EQ(reader.Directory()->TagValueByName("Make"), "Nintendo");
    }
}

// Mean absolute luma difference of left(x) and right(x + s) over the central half of the rows.
double HalvesDifference(const Decoded& l, const Decoded& r, int s) {
    double sum = 0;
    long n = 0;
    for (int y = l.height / 4; y < l.height - l.height / 4; ++y)
        for (int x = std::max(0, -s); x < std::min(l.width, r.width - s); ++x, ++n)
            sum += std::abs(l.pixels[(static_cast<std::size_t>(y) * l.width + x) * 3 + 1] -
                            r.pixels[(static_cast<std::size_t>(y) * r.width + x + s) * 3 + 1]);
    return sum / static_cast<double>(n);
}

TEST(Alignment, AlignedHalvesDifferLessOnTheConsoleFixtures) {
    if (!std::filesystem::exists(kFixtures / "frozenpond.mpo")) GTEST_SKIP() << "no fixtures";
    for (const char* fixture : {"sugarshack.mpo", "frozenpond.mpo"}) {
        SCOPED_TRACE(fixture);
        std::string notices;
        const auto [leftBytes, rightBytes] =
            ReadPair((kFixtures / fixture).string(), 1, 2, {}, [&](const std::string& r) { notices += r; });
        EXPECT_EQ(notices, "");
        const int s = FindAlignment(leftBytes, rightBytes, {}).across;
        EXPECT_LE(std::abs(s), 640 / 4);
        const Decoded l = Decode(leftBytes), r = Decode(rightBytes);
        const double aligned = HalvesDifference(l, r, s), unaligned = HalvesDifference(l, r, 0);
        EXPECT_LT(aligned, unaligned);
        // No shift within a reduced pixel of the chosen one does better.
        for (int t = s - 8; t <= s + 8; ++t) EXPECT_LE(aligned, HalvesDifference(l, r, t) + 1e-9) << t;
        // Measured on the coefficients instead of decoded pixels: the same shift.
        Decoder dl(leftBytes, {}), dr(rightBytes, {});
        dl.ReadHeader(false);
        dr.ReadHeader(false);
        CoefficientImage al, ar;
        dl.ReadCoefficients(al);
        dr.ReadCoefficients(ar);
        EXPECT_NEAR(FindAlignment(al, ar).across, s, 1);
        if (std::string(fixture) == "frozenpond.mpo") {
            EXPECT_NEAR(s, 100, 15);
        }
    }
}

TEST(Anaglyph, RowMatchesTheLinearLightProjection) {
    const double L[3][3] = {{0.437, 0.449, 0.164}, {-0.062, -0.062, -0.024}, {-0.048, -0.050, -0.017}};
    const double R[3][3] = {{-0.011, -0.032, -0.007}, {0.377, 0.761, 0.009}, {-0.026, -0.093, 1.234}};
    auto lin = [](int v) { double c = v / 255.0; return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    auto srgb = [](double v) {
        v = std::clamp(v, 0.0, 1.0);
        return 255.0 * (v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055);
    };
    Bytes left, right;
    for (int i = 0; i < 4096; ++i) {  // every level in every channel, and mixtures
        for (int c = 0; c < 3; ++c) {
            left.push_back(static_cast<std::uint8_t>((i * (c + 1) * 37) % 256));
            right.push_back(static_cast<std::uint8_t>((i * (c + 3) * 11 + 5 * c) % 256));
        }
    }
    Bytes out(left.size());
    AnaglyphRow(left.data(), right.data(), out.data(), 4096);
    for (std::size_t p = 0; p < out.size(); p += 3)
        for (int c = 0; c < 3; ++c) {
            double v = 0;
            for (int k = 0; k < 3; ++k) v += L[c][k] * lin(left[p + k]) + R[c][k] * lin(right[p + k]);
            ASSERT_NEAR(out[p + c], srgb(v), 0.51) << "pixel " << p / 3 << " channel " << c;
        }
}

Bytes Flat(int width, int height, std::uint8_t grey, int quality = 90, int hSampling = 2, bool progressive = false) {
    Encoder e;
    Bytes row(static_cast<std::size_t>(width) * 3);
    for (int x = 0; x < width; ++x) row[x * 3] = static_cast<std::uint8_t>(grey + x % 7), row[x * 3 + 1] = grey, row[x * 3 + 2] = static_cast<std::uint8_t>(x);
    Guarded(e.errors, "encode", [&] {
        e.SetRgbInput(width, height, quality, hSampling, 1);
        if (progressive) jpeg_simple_progression(&e.info);
        jpeg_start_compress(&e.info, TRUE);
        for (int y = 0; y < height; ++y) {
            JSAMPROW p = row.data();
            jpeg_write_scanlines(&e.info, &p, 1);
        }
        jpeg_finish_compress(&e.info);
    });
    return e.Take();
}

TEST(StereoFiles, PairsOfFilesComposeLosslesslyOrSayWhyTheyWereReEncoded) {
    struct Case {
        Bytes left, right;
        std::vector<std::string> options;
        const char* expected;  // the end of the report line
        int width, hSampling;
    };
    const Case cases[] = {
        {Flat(64, 32, 90), Flat(48, 32, 100), {}, "lossless", 112, 2},
        {Flat(64, 32, 90, 90, 2, true), Flat(64, 32, 20), {"--layout", "parallel"}, "lossless", 128, 2},
        {Flat(64, 32, 90, 90), Flat(64, 32, 90, 70), {}, "re-encoded: the images differ in quantization tables", 128, 2},
        {Flat(64, 32, 90, 90, 2), Flat(64, 32, 90, 90, 1), {}, "re-encoded: the images differ in chroma subsampling", 128, 2},
        {Flat(40, 32, 90), Flat(40, 32, 90), {}, "re-encoded: the first half's width 40 is not a multiple of 16", 80, 2},
        {Flat(40, 32, 90, 90, 1), Flat(48, 32, 90), {"--layout", "parallel"}, "re-encoded: the images differ in chroma subsampling", 88, 1},
        {Flat(64, 32, 90), Flat(48, 32, 100), {"--layout", "anaglyph"}, "re-encoded: anaglyph", 48, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        testing::TempDir dir;
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {dir.Write("l.jpg", c.left), dir.Write("r.jpg", c.right), dir / "out.jpg"});
        std::string out;
        ASSERT_EQ(RunStereo(args, &out), 0);
        EXPECT_EQ(out, dir / "out.jpg" + ": " + std::to_string(c.width) + " x 32, " +
                           std::to_string((std::filesystem::file_size(dir / "out.jpg") + 1023) / 1024) + " K, " +
                           c.expected + "\n");
        const Decoded result = Decode(testing::ReadBytes(dir / "out.jpg"));
        EXPECT_EQ(result.width, c.width);
        EXPECT_EQ(result.hSampling, c.hSampling);
        if (std::string(c.expected) == "lossless") {  // baseline and progressive inputs alike
            const bool cross = c.options.empty();
            const Decoded first = Decode(cross ? c.right : c.left), second = Decode(cross ? c.left : c.right);
            EXPECT_EQ(Columns(result, 0, first.width), Columns(first, 0, first.width));
            EXPECT_EQ(Columns(result, first.width, second.width), Columns(second, 0, second.width));
        }
    }
}

// An image that the signature scan finds: an APP1 segment right after the start of image.
Bytes WithApp1(const Bytes& jpeg) {
    static const Bytes app1 = {0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0};
    Bytes out = jpeg;
    out.insert(out.begin() + 2, app1.begin(), app1.end());
    return out;
}

TEST(StereoErrors, EachFailureIsOneLineAndLeavesNoFile) {
    const Bytes one = samples::SampleStereoImage(0);
    const Bytes two = samples::SampleStereoImage(1);
    Bytes broken = one;
    broken.resize(broken.size() / 2);
    struct Case {
        std::vector<std::string> args;  // "@" is the scratch folder
        std::map<std::string, Bytes> files;
        int status;
        const char* message;  // the part after "veltrane: <file>: "
    };
    const Case cases[] = {
        {{"@/one.mpo"}, {{"one.mpo", one}}, 1, "holds 1 image; a stereo pair needs two"},
        {{"--pair", "2,3", "@/p.mpo"}, {{"p.mpo", samples::JoinImages({one, two})}}, 1, "--pair 2,3: the file holds only 2 images"},
        {{"@/b.mpo"}, {{"b.mpo", samples::JoinImages({broken, two})}}, 1, "the left image does not decode"},
        {{"--layout", "anaglyph", "@/c.mpo"}, {{"c.mpo", samples::JoinImages({one, Bytes(two.begin(), two.end() - 200)})}}, 1,
         "the right image does not decode"},
        {{"@/h.mpo"}, {{"h.mpo", samples::JoinImages({WithApp1(Flat(64, 32, 9)), WithApp1(Flat(64, 40, 9))})}}, 1, "the two images differ in height (32 and 40 pixels)"},
        {{"@/p.mpo", "@"}, {{"p.mpo", samples::JoinImages({one, two})}}, 1, "is a folder; give the output file's name"},
        {{"@/missing.mpo"}, {}, 1, "File not found"},
        {{"@/l.jpg", "@/missing.jpg", "@/out.jpg"}, {{"l.jpg", one}}, 1, "File not found"},
        {{"--layout", "sideways", "@/x.mpo"}, {}, 2, "unknown layout sideways (cross, parallel, anaglyph, over-under, half-sbs, half-ou, interlaced, wiggle, mpo or heic)"},
        {{"--pair", "1,1", "@/x.mpo"}, {}, 2, "--pair takes two different image numbers, as in --pair 3,4"},
        {{"--pair"}, {}, 2, "--pair needs a value"},
        {{}, {}, 2, "--stereo needs a file"},
        {{"a", "b", "c", "d"}, {}, 2, "--stereo takes FILE [OUTPUT] or LEFT RIGHT OUTPUT"},
        {{"--wobble", "a"}, {}, 2, "unknown option --wobble"},
        {{"--anaglyph", "purple", "@/x.mpo"}, {}, 2,
         "unknown anaglyph purple (dubois, amber-blue, green-magenta, gray, color, half-color or optimized)"},
        {{"--anaglyph", "Gray", "@/x.mpo"}, {}, 2, "unknown anaglyph Gray"},
        {{"--swap", "--anaglyph"}, {}, 2, "--anaglyph needs a value"},
        {{"--layout", "cross", "--anaglyph", "gray", "@/x.mpo"}, {}, 2, "--anaglyph is for --layout anaglyph"},
        {{"--parallax", "1.5", "@/x.mpo"}, {}, 2, "--parallax takes a whole number of pixels, as in --parallax -20"},
        {{"--parallax", "12px", "@/x.mpo"}, {}, 2, "--parallax takes a whole number of pixels"},
        {{"--parallax", "99999999999", "@/x.mpo"}, {}, 2, "--parallax takes a whole number of pixels"},
        {{"--layout", "wiggle", "--delay", "0", "@/x.mpo"}, {}, 2, "--delay takes milliseconds from 10 to 60000"},
        {{"--layout", "wiggle", "--delay", "fast", "@/x.mpo"}, {}, 2, "--delay takes milliseconds from 10 to 60000"},
        {{"--layout", "wiggle", "--max-size", "8", "@/x.mpo"}, {}, 2, "--max-size takes pixels from 16 to 16383"},
        {{"--delay", "100", "@/x.mpo", "@/out.png"}, {}, 2, "--delay is for --layout wiggle"},
        {{"--max-size", "300", "--layout", "half-sbs", "@/x.mpo"}, {}, 2, "--max-size is for --layout wiggle"},
        {{"--parallax", "5000", "@/p.mpo"}, {{"p.mpo", samples::JoinImages({one, two})}}, 1, "the two images do not overlap"},
        {{"--layout", "wiggle", "@/p.mpo", "@/w.webp"}, {{"p.mpo", samples::JoinImages({one, broken})}}, 1,
         "the right image does not decode"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        testing::TempDir dir;
        for (const auto& [name, bytes] : c.files) dir.Write(name, bytes);
        const auto before = testing::FileNames(dir.Path());
        std::vector<std::string> args;
        for (std::string a : c.args) args.push_back(a[0] == '@' ? dir.Path().string() + a.substr(1) : a);
        std::string out, err;
        EXPECT_EQ(RunStereo(args, &out, &err), c.status);
        EXPECT_EQ(out, "");
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(err.rfind("veltrane: ", 0), 0u) << err;
        if (c.status == 1) {
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        }
        EXPECT_EQ(testing::FileNames(dir.Path()), before);
    }
}

// The image with an end-of-image marker planted in the middle of its entropy-coded data: the
// header reads, and the damage shows only once the scan is decoded.
Bytes WithBrokenScan(Bytes jpeg) {
    std::size_t sos = 2;
    while (sos + 4 <= jpeg.size() && !(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA))
        sos += 2 + static_cast<std::size_t>(jpeg[sos + 2] << 8 | jpeg[sos + 3]);
    const std::size_t data = sos + 2 + static_cast<std::size_t>(jpeg[sos + 2] << 8 | jpeg[sos + 3]);
    const std::size_t middle = data + (jpeg.size() - 2 - data) / 2;
    jpeg[middle] = 0xFF;
    jpeg[middle + 1] = 0xD9;
    return jpeg;
}

TEST(StereoErrors, DamageFoundWhileComposingIsTheDamagedImagesError) {
    // Textured rows, so that the scan is long enough to be damaged in its middle.
    const Bytes left = Flat(256, 128, 90), right = Flat(256, 128, 90), reencoded = Flat(256, 128, 90, 70);
    struct Case {
        std::vector<std::string> options;
        bool rightMatchesLeft;  // else the pair is re-encoded
    };
    const Case cases[] = {
        {{}, true},
        {{"--align"}, true},
        {{"--layout", "parallel", "--align"}, false},
        {{"--layout", "anaglyph"}, true},
        {{"--layout", "anaglyph", "--align"}, true},
        {{"--layout", "over-under"}, true},
        {{"--layout", "half-ou", "--swap"}, true},
        {{"--layout", "half-sbs", "--align"}, true},
        {{"--layout", "interlaced", "--parallax", "8"}, true},
        {{"--layout", "wiggle", "--max-size", "100"}, true},
    };
    for (const Case& c : cases) {
        for (const bool leftBroken : {false, true}) {
            SCOPED_TRACE(::testing::PrintToString(c.options) + (leftBroken ? " left" : " right"));
            testing::TempDir dir;
            const Bytes other = c.rightMatchesLeft ? right : reencoded;
            std::vector<std::string> args = c.options;
            args.insert(args.end(), {dir.Write("l.jpg", leftBroken ? WithBrokenScan(left) : left),
                                     dir.Write("r.jpg", leftBroken ? other : WithBrokenScan(other)), dir / "out.jpg"});
            std::string out, err;
            EXPECT_EQ(RunStereo(args, &out, &err), 1);
            EXPECT_EQ(out, "");
            EXPECT_EQ(err.rfind("veltrane: " + dir / "l.jpg" + ": the " + (leftBroken ? "left" : "right") +
                                    " image does not decode: ",
                                0),
                      0u)
                << err;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
            EXPECT_EQ(testing::FileNames(dir.Path()), (std::vector<std::string>{"l.jpg", "r.jpg"}));
        }
    }
}

TEST(StereoNames, DefaultOutputsSitBesideTheSource) {
    EXPECT_EQ(DefaultStereoName("trip.mpo", Layout::Cross), "trip.jps");
    EXPECT_EQ(DefaultStereoName("/a.b/trip", Layout::Parallel), "/a.b/trip_parallel.jpg");
    EXPECT_EQ(DefaultStereoName("x/trip.v2.MPO", Layout::Anaglyph), "x/trip.v2_anaglyph.jpg");
    EXPECT_EQ(DefaultStereoName("trip.mpo", Layout::OverUnder), "trip_overunder.jpg");
    EXPECT_EQ(DefaultStereoName("trip.mpo", Layout::HalfSideBySide), "trip_halfsbs.jpg");
    EXPECT_EQ(DefaultStereoName("trip.mpo", Layout::HalfOverUnder), "trip_halfou.jpg");
    EXPECT_EQ(DefaultStereoName("trip.mpo", Layout::Interlaced), "trip_interlaced.png");
    EXPECT_EQ(DefaultStereoName("trip.mpo", Layout::Wiggle), "trip_wiggle.gif");
}

// With the parts in the scan (as the program and the window scan), a pair whose file goes on
// after its last image (a video, Samsung's records) has that image end at its EOI.
TEST(StereoPair, TheLastImageEndsBeforeATrailer) {
    namespace s = samples;
    const Bytes left = s::BaselineJpeg(64, 48, s::Flat(200, 10, 10), s::App1("Exif", Bytes(20, 0)));
    const Bytes right = s::BaselineJpeg(64, 48, s::Flat(10, 200, 10), s::App1("Exif", Bytes(20, 0)));
    const Bytes pair = s::IndexedMpo({left, right}, {});
    const s::MotionPhoto hdr = s::ContainerMotionPhoto(true, 9000);
    struct Case {
        const char* name;
        Bytes images;   // the images alone
        Bytes trailer;  // what follows them
    };
    const Case cases[] = {
        {"MPO, Samsung trailer", pair, s::SamsungTrailerBytes({{0x0a30, "MotionPhoto_Data", s::Mp4(5000)}})},
        {"gain map and video", Bytes(hdr.file.begin(), hdr.file.begin() + long(hdr.videoStart)), hdr.video},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Bytes> images = testing::IndexedImages(c.images);
        ASSERT_EQ(images.size(), 2u);
        Bytes file = c.images;
        s::Append(file, c.trailer);
        testing::TempDir dir;
        const std::string path = dir.Write("pair.mpo", file);
        const auto [first, second] = ReadPair(path, 1, 2, parts::WithOtherParts({}));
        EXPECT_EQ(first, images[0]);
        EXPECT_EQ(second, images[1]);
    }
}

}  // namespace
}  // namespace veltrane::stereo
