// SPDX-License-Identifier: GPL-3.0-or-later
// JPS files as the pair and MPO files as the output: JPS halves cut block for block (or coded
// again off the grid) and back, the MPO layout of every source with and without alignment, the
// lossless crop of every kind of JPEG, the JPS descriptor's bytes, and the failures.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "core/exif/exif_reader.h"
#include "core/exif/tiff_directory.h"
#include "imaging/stereo/lossless_crop.h"
#include "imaging/stereo/stereo_command.h"
#include "imaging/stereo/stereo_files.h"
#include "tests/mpo/mpo_test_support.h"
#include "tests/stereo/stereo_test_support.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::stereo {
namespace {

using namespace testing_support;
using testing::TempDir;

int Stereo(const std::vector<std::string>& args, std::string* out, std::string* err = nullptr) {
    std::ostringstream o, e;
    const int status = RunStereoCommand(args, o, e);
    *out = o.str();
    if (err) *err = e.str();
    return status;
}

// The image with segments inserted right after its start of image.
Bytes WithSegments(const Bytes& jpeg, const Bytes& segments) {
    Bytes out = jpeg;
    out.insert(out.begin() + 2, segments.begin(), segments.end());
    return out;
}

// An eye of a synthetic pair with an EXIF segment that names its size and an APP13 segment.
Bytes Eye(int width, int height, int dx, int dy) {
    samples::SampleExif exif;
    exif.width = static_cast<std::uint32_t>(width);
    exif.height = static_cast<std::uint32_t>(height);
    Bytes segments = samples::ExifApp1Segment(samples::SampleExifTiff(exif, samples::ByteOrder::Big));
    segments.insert(segments.end(), {0xFF, 0xED, 0x00, 0x06, 'k', 'e', 'e', 'p'});
    return WithSegments(SceneJpeg(width, height, dx, dy), segments);
}

CoefficientImage ReadBlocks(const Bytes& jpeg) {
    Decoder decoder(jpeg, {});
    decoder.ReadHeader(false);
    CoefficientImage blocks;
    decoder.ReadCoefficients(blocks);
    return blocks;
}

// Whether crop holds the blocks (and tables) of image from iMCU column mx and row my on.
bool SameBlocks(const Bytes& crop, const Bytes& image, int mx = 0, int my = 0) {
    const CoefficientImage a = ReadBlocks(crop), b = ReadBlocks(image);
    if (a.componentCount != b.componentCount) return false;
    for (std::size_t c = 0; c < static_cast<std::size_t>(a.componentCount); ++c) {
        const auto &x = a.components[c], &y = b.components[c];
        if (x.quant != y.quant || x.hSampling != y.hSampling || x.vSampling != y.vSampling) return false;
        for (int row = 0; row < x.heightInBlocks; ++row)
            for (int col = 0; col < x.widthInBlocks; ++col)
                if (std::memcmp(x.Block(col, row), y.Block(col + mx * x.hSampling, row + my * x.vSampling), sizeof(JBLOCK)) != 0)
                    return false;
    }
    return true;
}

std::string ExifTag(const Bytes& jpeg, const char* name) {
    exif::ExifReader reader;
    reader.OpenBuffer(jpeg, "image.jpg");
    return reader.Directory() != nullptr ? reader.Directory()->TagValueByName(name) : "";
}

bool HasSegment(const Bytes& jpeg, std::uint8_t marker, const Bytes& payloadStart) {
    for (const testing::HeaderSegment& s : testing::HeaderSegments(jpeg))
        if (s.marker == marker && s.size >= 4 + payloadStart.size() &&
            std::equal(payloadStart.begin(), payloadStart.end(), jpeg.begin() + long(s.offset) + 4))
            return true;
    return false;
}

// The two images of an MPO file through its index; fails the test when it is not usable.
std::vector<Bytes> MpoImages(const std::string& path) {
    MpfIndex index;
    std::vector<Bytes> images = testing::IndexedImages(testing::ReadBytes(path), &index);
    EXPECT_TRUE(index.Usable()) << index.problem;
    EXPECT_EQ(images.size(), 2u);
    for (const MpfEntry& entry : index.entries) EXPECT_EQ(entry.attribute & 0xFFFFFF, 0x020002u);  // disparity
    images.resize(2);
    return images;
}

const Bytes kApp13 = {'k', 'e', 'e', 'p'}, kJps = {'_', 'J', 'P', 'S', 'J', 'P', 'S', '_'};

TEST(JpsInput, HalvesBecomeMpoImagesAndTheCrossPictureOfThemGivesThemBack) {
    const Bytes left = Eye(192, 96, 0, 0), right = Eye(192, 96, 20, 0);
    const Bytes offGridLeft = Eye(200, 96, 0, 0), offGridRight = Eye(200, 96, 20, 0);
    auto compose = [](const Bytes& l, const Bytes& r, Layout layout) { return ComposeStereo(l, r, {layout, false, {}}).bytes; };
    const Bytes cross = compose(left, right, Layout::Cross), overUnder = compose(left, right, Layout::OverUnder);
    Bytes noDescriptor = cross, rightOnTop = overUnder;
    for (const testing::HeaderSegment& s : testing::HeaderSegments(noDescriptor))
        if (s.marker == 0xE3) noDescriptor.erase(noDescriptor.begin() + long(s.offset), noDescriptor.begin() + long(s.offset + s.size));
    for (const testing::HeaderSegment& s : testing::HeaderSegments(rightOnTop))
        if (s.marker == 0xE3) rightOnTop[s.offset + 4 + 11] = 0;  // flags: no "left field first"
    struct Case {
        const char* name;  // a .jps name, or a JPEG whose descriptor says it is one
        Bytes jps;
        bool swapped;  // the eyes come out exchanged
        const char* report;
    };
    const Case cases[] = {
        {"cross.jps", cross, false, "lossless"},
        {"parallel.jpg", compose(left, right, Layout::Parallel), false, "lossless"},
        {"overunder.jpg", overUnder, false, "lossless"},
        {"right-on-top.jpg", rightOnTop, true, "lossless"},
        {"plain.jps", noDescriptor, false, "lossless"},
        {"offgrid.jps", compose(offGridLeft, offGridRight, Layout::Cross), false,
         "re-encoded: the JPS image's second half starts at column 200, off its 16-pixel block grid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string jps = dir.Write(c.name, c.jps), mpo = dir / "out.mpo";
        std::string out, err;
        ASSERT_EQ(Stereo({jps, mpo}, &out, &err), 0) << err;
        const bool offGrid = std::string(c.name) == "offgrid.jps";
        const int width = offGrid ? 200 : 192;
        EXPECT_EQ(out, mpo + ": " + std::to_string(width) + " x 96, " +
                           std::to_string((std::filesystem::file_size(mpo) + 1023) / 1024) + " K, " + c.report + "\n");
        const std::vector<Bytes> images = MpoImages(mpo);
        const Bytes& l = offGrid ? offGridLeft : left;
        const Bytes& r = offGrid ? offGridRight : right;
        const Bytes& first = c.swapped ? r : l;
        const Bytes& second = c.swapped ? l : r;
        if (offGrid) {  // against the JPS's halves (the right eye's on the left): one more generation
            const RgbImage whole = DecodeJpeg(c.jps);
            EXPECT_GT(Psnr(DecodeJpeg(images[0]), Crop(whole, width, 0, width, 96)), 35);
            EXPECT_GT(Psnr(DecodeJpeg(images[1]), Crop(whole, 0, 0, width, 96)), 35);
        } else {
            EXPECT_TRUE(SameBlocks(images[0], first));
            EXPECT_TRUE(SameBlocks(images[1], second));
        }
        for (const Bytes& image : images) {
            // The JPS's EXIF (the left eye's) with each half's size; no descriptor.
            EXPECT_EQ(ExifTag(image, "ExifImageWidth"), std::to_string(width));
            EXPECT_EQ(ExifTag(image, "ExifImageLength"), "96");
            EXPECT_FALSE(HasSegment(image, 0xE3, kJps));
        }
        // The cross picture of the MPO file holds the halves again, pixel for pixel.
        if (offGrid) continue;
        ASSERT_EQ(Stereo({"--layout", "cross", mpo, dir / "back.jps"}, &out, &err), 0) << err;
        EXPECT_NE(out.find("lossless"), std::string::npos) << out;
        const RgbImage back = DecodeJpeg(testing::ReadBytes(dir / "back.jps"), false);
        EXPECT_EQ(Crop(back, 0, 0, width, 96).pixels, DecodeJpeg(images[1], false).pixels);
        EXPECT_EQ(Crop(back, width, 0, width, 96).pixels, DecodeJpeg(images[0], false).pixels);
        if (std::string(c.name) == "cross.jps") {
            EXPECT_EQ(testing::ReadBytes(dir / "back.jps"), c.jps);
        }
    }
}

// The numbers of "shift: A pixels across, D down (images cropped by a across, d down)".
std::pair<int, int> Cropped(const std::string& report) {
    static const std::regex line(R"(\(images cropped by (-?\d+) across, (-?\d+) down\))");
    std::smatch m;
    if (!std::regex_search(report, m, line)) return {-999, -999};
    return {std::stoi(m[1]), std::stoi(m[2])};
}

TEST(MpoLayout, EverySourceGivesTheImagesAsTheyAreOrCroppedBlockForBlock) {
    const Bytes left = Eye(320, 192, 0, 0), right = Eye(320, 192, 36, -7);
    const Bytes jps = ComposeStereo(left, right, {Layout::Cross, false, {}}).bytes;
    const StereoPair halves = SplitJps(jps, {});
    struct Case {
        const char* source;
        std::vector<std::string> args;  // "@" is the scratch folder
        const Bytes& first;             // the inputs as they go into the file
        const Bytes& second;
        bool fromJps;  // the halves keep only the JPS file's EXIF segment
    };
    const Case cases[] = {
        {"MPO pair", {"@/pair.mpo", "@/out.mpo"}, left, right, false},
        {"MPO pair, --layout", {"--layout", "mpo", "--pair", "1,2", "@/pair.mpo"}, left, right, false},
        {"two JPEG files", {"@/l.jpg", "@/r.jpg", "@/out.mpo"}, left, right, false},
        {"two JPEG files, swapped", {"--swap", "@/l.jpg", "@/r.jpg", "@/out.mpo"}, right, left, false},
        {"JPS file", {"--layout", "mpo", "@/pair.jps"}, halves.left, halves.right, true},
    };
    for (const Case& c : cases) {
        for (const bool align : {false, true}) {
            SCOPED_TRACE(std::string(c.source) + (align ? ", aligned" : ""));
            TempDir dir;
            dir.Write("pair.mpo", samples::JoinImages({left, right}));
            dir.Write("l.jpg", left);
            dir.Write("r.jpg", right);
            dir.Write("pair.jps", jps);
            std::vector<std::string> args;
            if (align) args.push_back("--align");
            for (const std::string& a : c.args) args.push_back(a[0] == '@' ? dir.Path().string() + a.substr(1) : a);
            const std::string output = dir / (c.args.back() == "@/out.mpo" ? "out.mpo" : "pair_stereo.mpo");
            std::string out, err;
            ASSERT_EQ(Stereo(args, &out, &err), 0) << err;
            EXPECT_EQ(err, "");
            const std::vector<Bytes> images = MpoImages(output);
            if (!align) {
                EXPECT_EQ(testing::WithoutMpf(images[0]), testing::WithoutMpf(c.first));
                EXPECT_EQ(testing::WithoutMpf(images[1]), testing::WithoutMpf(c.second));
                continue;
            }
            const auto [across, down] = Cropped(out);
            EXPECT_EQ(across % 16, 0);
            EXPECT_EQ(std::abs(across), 32) << out;  // of 36 across and 7 down
            EXPECT_EQ(down, 0) << out;
            const int width = 320 - std::abs(across), height = 192 - std::abs(down);
            const int firstX = std::max(0, -across), firstY = std::max(0, -down);
            EXPECT_NE(out.find(": " + std::to_string(width) + " x " + std::to_string(height) + ", "), std::string::npos) << out;
            EXPECT_TRUE(SameBlocks(images[0], c.first, firstX / 16, firstY / 16));
            EXPECT_TRUE(SameBlocks(images[1], c.second, (firstX + across) / 16, (firstY + down) / 16));
            for (const Bytes& image : images) {
                EXPECT_EQ(ExifTag(image, "ExifImageWidth"), std::to_string(width));
                EXPECT_EQ(ExifTag(image, "ExifImageLength"), std::to_string(height));
                EXPECT_EQ(ExifTag(image, "Make"), "Veltrane");
                EXPECT_EQ(HasSegment(image, 0xED, kApp13), !c.fromJps);
            }
        }
    }
}

TEST(MpoLayout, ExiftoolFindsNothingToWarnAboutInTheAlignedConsolePair) {
    const std::filesystem::path fixture = std::filesystem::path(VELTRANE_FIXTURES_DIR) / "frozenpond.mpo";
    if (!std::filesystem::exists(fixture)) GTEST_SKIP() << "no fixtures";
    if (!testing::HaveCommand("exiftool")) GTEST_SKIP() << "no exiftool";
    TempDir dir;
    std::string out;
    ASSERT_EQ(Stereo({"--align", fixture.string(), dir / "pond.mpo"}, &out), 0);
    const testing::ProgramRun run = testing::RunProgram("exiftool -validate -warning -a " + testing::Quoted(dir / "pond.mpo"));
    EXPECT_EQ(run.output, "Validate                        : OK\n");
    for (const Bytes& image : MpoImages(dir / "pond.mpo")) EXPECT_EQ(ExifTag(image, "Make"), "Nintendo");
}

TEST(LosslessCrop, HoldsTheImagesBlocksForEveryKindOfJpeg) {
    auto encode = [](int width, int height, int h, int v, int components, bool progressive, int restartRows) {
        Encoder e;
        Bytes row(static_cast<std::size_t>(width) * 3);
        Guarded(e.errors, "encode", [&] {
            e.SetRgbInput(width, height, 85, h, v);
            if (components == 1) jpeg_set_colorspace(&e.info, JCS_GRAYSCALE);
            if (progressive) jpeg_simple_progression(&e.info);
            e.info.restart_in_rows = restartRows;
            jpeg_start_compress(&e.info, TRUE);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width * 3; ++x) row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>((x * 7 + y * 13) ^ (x * y));
                JSAMPROW p = row.data();
                jpeg_write_scanlines(&e.info, &p, 1);
            }
            jpeg_finish_compress(&e.info);
        });
        return e.Take();
    };
    struct Case {
        const char* kind;
        Bytes jpeg;
        int imcuWidth, imcuHeight;
    };
    const Case cases[] = {
        {"4:2:0", encode(203, 101, 2, 2, 3, false, 0), 16, 16},
        {"4:2:2 with restart markers", encode(203, 101, 2, 1, 3, false, 1), 16, 8},
        {"4:4:4", encode(203, 101, 1, 1, 3, false, 0), 8, 8},
        {"greyscale", encode(203, 101, 1, 1, 1, false, 0), 8, 8},
        {"progressive", encode(203, 101, 2, 2, 3, true, 0), 16, 16},
    };
    for (const Case& c : cases) {
        for (const PixelArea area : {PixelArea{0, 0, 203, 101}, PixelArea{c.imcuWidth, 2 * c.imcuHeight, 77, 50},
                                     PixelArea{3 * c.imcuWidth, 3 * c.imcuHeight, 203 - 3 * c.imcuWidth, 101 - 3 * c.imcuHeight}}) {
            SCOPED_TRACE(std::string(c.kind) + " at " + std::to_string(area.x) + "," + std::to_string(area.y));
            const Bytes crop = CropLossless(c.jpeg, area, {}, "image");
            EXPECT_TRUE(SameBlocks(crop, c.jpeg, area.x / c.imcuWidth, area.y / c.imcuHeight));
            const RgbImage decoded = DecodeJpeg(crop, false);
            EXPECT_EQ(decoded.width, area.width);
            EXPECT_EQ(decoded.height, area.height);
        }
        // Damage is the image's error, whether it lies below the area (found after the crop is
        // coded) or in it (the coding waits for rows that never come).
        SCOPED_TRACE(c.kind);
        Bytes broken = c.jpeg;
        broken.resize(broken.size() - 40);
        for (const PixelArea area : {PixelArea{0, 0, 16, 16}, PixelArea{0, 80, 16, 21}}) {
            try {
                CropLossless(broken, area, {}, "image");
                ADD_FAILURE() << "no error";
            } catch (const StereoError& e) {
                EXPECT_EQ(std::string(e.what()).rfind("the image does not decode: ", 0), 0u) << e.what();
            }
        }
        EXPECT_THROW(CropLossless(c.jpeg, {4, 0, 16, 16}, {}, "image"), StereoError);  // off the grid
    }
}

TEST(JpsDescriptor, TheWrittenBytesReadBackAsSeparationFlagsLayoutType) {
    // The descriptor is one 32-bit big-endian word: separation in bits 31-24, the flags in 23-16,
    // the layout in 15-8, the type in 7-0; so the bytes after the block length run separation,
    // flags, layout, type.
    const Bytes parallel = JpsSegment(true);
    EXPECT_EQ(parallel, (Bytes{'_', 'J', 'P', 'S', 'J', 'P', 'S', '_', 0, 4, 0, 0x04, 2, 1, 0, 0}));
    EXPECT_EQ(ReadJpsDescriptor(parallel), (JpsDescriptor{kJpsStereoscopic, kJpsSideBySide, kJpsLeftFieldFirst, 0}));
    EXPECT_EQ(ReadJpsDescriptor(JpsSegment(false)), (JpsDescriptor{1, 2, 0, 0}));
    EXPECT_EQ(ReadJpsDescriptor(JpsSegment(3, kJpsHalfHeight | kJpsLeftFieldFirst)), (JpsDescriptor{1, 3, 5, 0}));
    EXPECT_EQ(ReadJpsDescriptor(Bytes{'_', 'J', 'P', 'S', 'J', 'P', 'S', '_', 0, 4, 7, 2, 3, 1}), (JpsDescriptor{1, 3, 2, 7}));
    EXPECT_EQ(ReadJpsDescriptor(Bytes{'_', 'J', 'P', 'S', 'J', 'P', 'S', '_', 0, 2, 0, 0, 2, 1}), std::nullopt);
    EXPECT_EQ(ReadJpsDescriptor(Bytes(parallel.begin(), parallel.begin() + 13)), std::nullopt);
    // exiftool reads them the same way.
    if (!testing::HaveCommand("exiftool")) GTEST_SKIP() << "no exiftool";
    TempDir dir;
    const Bytes picture = ComposeStereo(Eye(64, 32, 0, 0), Eye(64, 32, 0, 0), {Layout::HalfOverUnder, false, {}}).bytes;
    const testing::ProgramRun run = testing::RunProgram("exiftool -s -JPSFlags -JPSLayout -JPSType " + testing::Quoted(dir.Write("p.jpg", picture)));
    EXPECT_EQ(run.output, "JPSFlags                        : Half height, Left field first\n"
                          "JPSLayout                       : Over Under\n"
                          "JPSType                         : Stereo\n");
}

TEST(MpoLayout, FailuresSayWhyAndLeaveNoFile) {
    const Bytes left = Eye(64, 32, 0, 0), right = Eye(64, 32, 0, 0);
    const Bytes jps = ComposeStereo(left, right, {Layout::Cross, false, {}}).bytes;
    auto withDescriptor = [&](std::uint8_t type, std::uint8_t layout) {
        Bytes b = jps;
        for (const testing::HeaderSegment& s : testing::HeaderSegments(b))
            if (s.marker == 0xE3) b[s.offset + 4 + 12] = layout, b[s.offset + 4 + 13] = type;
        return b;
    };
    Bytes truncatedRight = right;
    truncatedRight.resize(truncatedRight.size() - 60);  // in its scan
    struct Case {
        std::vector<std::string> args;  // "@" is the scratch folder
        std::map<std::string, Bytes> files;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"@/m.jpg", "@/out.mpo"}, {{"m.jpg", withDescriptor(0, 0)}}, 1, "its JPS descriptor marks a single picture, not a stereo pair"},
        {{"@/a.jps", "@/out.mpo"}, {{"a.jps", withDescriptor(1, 4)}}, 1,
         "its JPS descriptor gives an anaglyph; only side-by-side and over/under pairs can be read"},
        {{"@/t.jps", "@/out.mpo"}, {{"t.jps", Bytes(jps.begin(), jps.end() - 300)}}, 1, "the JPS image does not decode"},
        {{"@/t.jps"}, {{"t.jps", jps}}, 2, "t.jps: is one of the inputs; give another output file"},
        {{"@/l.jpg", "@/r.jpg", "@/l.jpg"}, {{"l.jpg", left}, {"r.jpg", right}}, 2, "is one of the inputs"},
        {{"--pair", "1,2", "@/t.jps"}, {{"t.jps", jps}}, 2, "--pair needs an MPO file"},
        {{"@/l.jpg", "@/r.jpg", "@/out.mpo"}, {{"l.jpg", left}, {"r.jpg", truncatedRight}}, 1,
         "the right image: not a complete JPEG image"},
        {{"--align", "@/l.jpg", "@/r.jpg", "@/out.mpo"}, {{"l.jpg", left}, {"r.jpg", truncatedRight}}, 1,
         "the right image does not decode"},
        {{"--parallax", "-96", "@/l.jpg", "@/r.jpg", "@/out.mpo"}, {{"l.jpg", left}, {"r.jpg", right}}, 1,
         "the two images do not overlap"},
        {{"@/l.jpg", "@/r.jpg", "@/out.mpo"}, {{"l.jpg", left}, {"r.jpg", Eye(64, 48, 0, 0)}}, 1,
         "the two images differ in height (32 and 48 pixels)"},
        {{"--layout", "sideways", "@/t.jps"}, {}, 2,
         "unknown layout sideways (cross, parallel, anaglyph, over-under, half-sbs, half-ou, interlaced, wiggle, mpo or heic)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TempDir dir;
        for (const auto& [name, bytes] : c.files) dir.Write(name, bytes);
        const auto before = testing::FileNames(dir.Path());
        std::vector<std::string> args;
        for (const std::string& a : c.args) args.push_back(a[0] == '@' ? dir.Path().string() + a.substr(1) : a);
        std::string out, err;
        EXPECT_EQ(Stereo(args, &out, &err), c.status);
        EXPECT_EQ(out, "");
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        if (c.status == 1) {
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        }
        EXPECT_EQ(testing::FileNames(dir.Path()), before);
    }
}

}  // namespace
}  // namespace veltrane::stereo
