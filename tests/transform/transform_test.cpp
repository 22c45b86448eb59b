// SPDX-License-Identifier: GPL-3.0-or-later
// --transform over every operation and every kind of set: each output image is compared with
// the same operation applied to the decoded pixels of its source image, and the index, the EXIF
// Orientation and sizes and the XMP packets are checked; then the refusals and failures, which
// leave nothing behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "core/exif_edit/exif_numbers.h"
#include "core/mpo/mpf_segment.h"
#include "tests/mpo/mpo_test_support.h"
#include "tests/support/run_command_line.h"
#include "tests/support/temp_dir.h"
#include "tests/transform/transform_test_support.h"
#include "imaging/transform/transform_command.h"

namespace veltrane::testing {
namespace {

using transform::Grid;
using transform::Region;
using transform::Size;
using transform::Turn;

// The integer IDCT rounds its two passes, so a turned block decodes a level away here and there.
constexpr int kTolerance = 2;

CommandLineServices TransformServices() {
    CommandLineServices services;
    services.RunTransform = transform::RunTransformCommand;
    return services;
}

struct TestSet {
    std::string name;
    Bytes file;
    std::string extension;
    bool stereo = false;
    bool indexed = true;
};

// A phone photo (100 x 76, 4:2:0, EXIF Orientation 6) with a half-size grey gain map, each with
// its hdrgm XMP packet, as a Baseline MP Primary Image and an Undefined image.
TestSet PhotoWithGainMap() {
    const Bytes photo = EncodeJpeg(100, 76, 3, 2, 2, 1, {ExifSegment(samples::ByteOrder::Little, 6, 100, 76), XmpSegment(false)});
    const Bytes gainMap = EncodeJpeg(50, 38, 1, 1, 1, 2, {XmpSegment(true)});
    return {"photo with gain map", MpoOf({photo, gainMap}, {kMpTypeBaselinePrimary, kMpTypeUndefined}), ".jpg"};
}

// Two views (64 x 48, 4:2:2, big-endian EXIF) as a disparity pair.
TestSet StereoPair() {
    std::vector<Bytes> eyes;
    for (int eye = 0; eye < 2; ++eye)
        eyes.push_back(EncodeJpeg(64, 48, 3, 2, 1, 10 + eye, {ExifSegment(samples::ByteOrder::Big, 1, 64, 48)}));
    return {"stereo pair", MpoOf(eyes, {kMpTypeDisparity, kMpTypeDisparity}), ".mpo", true};
}

// One JPEG (61 x 45, 4:4:4, Orientation 8) with an XMP packet and no index.
TestSet SingleJpeg() {
    return {"single JPEG",
            EncodeJpeg(61, 45, 3, 1, 1, 20, {ExifSegment(samples::ByteOrder::Little, 8, 61, 45), XmpSegment(false)}),
            ".jpg", false, false};
}

std::optional<TestSet> ConsolePair() {
    const auto path = std::filesystem::path(VELTRANE_FIXTURES_DIR) / "sugarshack.mpo";
    if (!std::filesystem::exists(path)) return std::nullopt;
    return TestSet{"console pair", ReadBytes(path), ".mpo", true};
}

struct Operation {
    const char* word;
    Turn turn;
    bool trimRight, trimBottom;  // the edges whose partial MCUs go
};

constexpr Operation kTurns[] = {
    {"rotate90", Turn::Rotate90, false, true},     {"rotate180", Turn::Rotate180, true, true},
    {"rotate270", Turn::Rotate270, true, false},   {"flip-h", Turn::FlipH, true, false},
    {"flip-v", Turn::FlipV, false, true},          {"transpose", Turn::Transpose, false, false},
    {"transverse", Turn::Transverse, true, true},  {"none", Turn::None, false, false},
};

const Operation& OperationOf(Turn turn) {
    for (const Operation& op : kTurns)
        if (op.turn == turn) return op;
    return kTurns[7];
}

bool Mirrors(Turn turn) {
    return turn == Turn::FlipH || turn == Turn::FlipV || turn == Turn::Transpose || turn == Turn::Transverse;
}

std::vector<Bytes> ImagesOf(const TestSet& set, const Bytes& file, MpfIndex* index) {
    return set.indexed ? IndexedImages(file, index) : std::vector<Bytes>{file};
}

std::vector<Bytes> SegmentsOf(const Bytes& jpeg, bool (*which)(const HeaderSegment&, const Bytes&)) {
    std::vector<Bytes> found;
    for (const HeaderSegment& s : HeaderSegments(jpeg))
        if (which(s, jpeg)) found.emplace_back(jpeg.begin() + long(s.offset), jpeg.begin() + long(s.offset + s.size));
    return found;
}

bool IsXmp(const HeaderSegment& s, const Bytes& jpeg) {
    const std::string_view id("http://ns.adobe.com/xap/1.0/\0", 29);
    return s.marker == 0xE1 && s.offset + 4 + id.size() <= jpeg.size() &&
           std::equal(id.begin(), id.end(), jpeg.begin() + long(s.offset) + 4);
}

bool IsExif(const HeaderSegment& s, const Bytes&) { return s.exif; }

std::optional<std::uint32_t> ExifNumber(const Bytes& jpeg, ExifDirectory directory, std::uint16_t tag) {
    const auto exif = SegmentsOf(jpeg, IsExif);
    if (exif.empty()) return std::nullopt;
    return ReadExifNumber(std::span(exif[0]).subspan(4), directory, tag);
}

void CheckTransform(const TestSet& set, const std::string& word, Turn turn, const std::optional<Region>& crop) {
    TempDir dir;
    const std::string input = dir.Write("in" + set.extension, set.file), output = dir / ("out" + set.extension);
    std::vector<std::string> args = {"--transform", word};
    if (crop) args.insert(args.end(), {"--crop", crop->Text()});
    if (set.stereo && transform::AxesOf(turn).swap) args.push_back("--force");
    args.insert(args.end(), {input, output});
    const RunResult run = RunVeltrane(args, TransformServices());
    ASSERT_EQ(run.status, 0) << run.err;
    const Bytes result = ReadBytes(output);

    MpfIndex inIndex, outIndex;
    const std::vector<Bytes> in = ImagesOf(set, set.file, &inIndex), out = ImagesOf(set, result, &outIndex);
    ASSERT_EQ(out.size(), in.size());
    if (!set.indexed) {
        EXPECT_TRUE(MpfPayload(result).empty()) << "a single JPEG stays without an index";
    }
    // A stereo pair stays left-first: a turn that runs the rows backwards exchanges the eyes.
    const bool exchanged = set.stereo && (turn == Turn::Rotate180 || turn == Turn::FlipH);
    const Size first{static_cast<std::uint32_t>(DecodeJpeg(in[0]).width), static_cast<std::uint32_t>(DecodeJpeg(in[0]).height)};
    for (std::size_t p = 0; p < out.size(); ++p) {
        const std::size_t i = exchanged ? in.size() - 1 - p : p;
        SCOPED_TRACE("output image " + std::to_string(p + 1) + " from image " + std::to_string(i + 1));
        if (set.indexed) {
            EXPECT_EQ(outIndex.entries[p].attribute & kMpTypeMask, inIndex.entries[i].attribute & kMpTypeMask);
            EXPECT_EQ(outIndex.entries[p].size, out[p].size());
        }
        // The kept region of the source image, turned.
        const Picture source = DecodeJpeg(in[i]);
        const Size size{static_cast<std::uint32_t>(source.width), static_cast<std::uint32_t>(source.height)};
        const Grid grid = GridOf(in[i]);
        Region region{0, 0, size.width, size.height};
        if (crop) {
            const Region aligned{crop->x / grid.width * grid.width, crop->y / grid.height * grid.height,
                                 crop->width + crop->x % grid.width, crop->height + crop->y % grid.height};
            region = i == 0 ? aligned : transform::ScaleRegion(aligned, first, size, grid);
        } else {
            const Operation& op = OperationOf(turn);
            if (op.trimRight) region.width -= size.width % grid.width;
            if (op.trimBottom) region.height -= size.height % grid.height;
            if (region.height < size.height) {
                EXPECT_NE(run.out.find(std::to_string(size.height - region.height) + " pixel row"), std::string::npos) << run.out;
            }
        }
        const Picture expected = TurnPicture(source, region, turn), actual = DecodeJpeg(out[p]);
        EXPECT_LE(LargestDifference(expected, actual), kTolerance)
            << expected.width << "x" << expected.height << " expected, " << actual.width << "x" << actual.height;

        EXPECT_EQ(SegmentsOf(out[p], IsXmp), SegmentsOf(in[i], IsXmp));
        if (const auto orientation = ExifNumber(in[i], ExifDirectory::Ifd0, kExifOrientation)) {
            // Shown turned as asked: a mirroring turn makes a quarter turn clockwise one
            // anticlockwise (6 and 8); auto leaves nothing for viewers to do.
            const std::uint32_t wanted = word == "auto" ? 1 : Mirrors(turn) && *orientation != 1 ? 14 - *orientation : *orientation;
            EXPECT_EQ(ExifNumber(out[p], ExifDirectory::Ifd0, kExifOrientation), wanted);
        }
        if (ExifNumber(in[i], ExifDirectory::Exif, kExifPixelXDimension)) {
            EXPECT_EQ(ExifNumber(out[p], ExifDirectory::Exif, kExifPixelXDimension), std::uint32_t(actual.width));
            EXPECT_EQ(ExifNumber(out[p], ExifDirectory::Exif, kExifPixelYDimension), std::uint32_t(actual.height));
        }
    }
}

TEST(Transform, EveryOperationOnEverySetMatchesTheDecodedPixels) {
    std::vector<TestSet> sets = {PhotoWithGainMap(), StereoPair(), SingleJpeg()};
    if (auto console = ConsolePair()) sets.push_back(std::move(*console));
    else std::cout << "[ NOTE     ] " << VELTRANE_FIXTURES_DIR << " missing: the console pair is left out\n";
    for (const TestSet& set : sets) {
        SCOPED_TRACE(set.name);
        const auto orientation = ExifNumber(ImagesOf(set, set.file, nullptr)[0], ExifDirectory::Ifd0, kExifOrientation);
        for (const Operation& op : kTurns) {
            if (op.turn == Turn::None) continue;
            SCOPED_TRACE(op.word);
            CheckTransform(set, op.word, op.turn, std::nullopt);
        }
        SCOPED_TRACE("auto");
        CheckTransform(set, "auto", transform::TurnOfOrientation(orientation.value_or(1)), std::nullopt);
        SCOPED_TRACE("crop");
        CheckTransform(set, "crop", Turn::None, Region{21, 13, 40, 30});
    }
}

TEST(Transform, RefusalsAndFailuresWriteNothing) {
    TempDir dir;
    const std::string photo = dir.Write("photo.jpg", PhotoWithGainMap().file);
    const std::string pair = dir.Write("pair.mpo", StereoPair().file);
    const Bytes singleBytes = SingleJpeg().file;
    const std::string single = dir.Write("single.jpg", singleBytes);
    const std::string text = dir.Write("text.jpg", std::string("no picture here"));
    const std::string cut = dir.Write("cut.jpg", Bytes(singleBytes.begin(), singleBytes.begin() + long(singleBytes.size() * 2 / 3)));
    const std::vector<std::string> inputs = FileNames(dir.Path());
    const std::string out = dir / "out.jpg";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {"unknown operation", {"spin", single, out}, 2},
        {"unknown option", {"rotate90", "--fast", single, out}, 2},
        {"no file", {"rotate90"}, 2},
        {"malformed region", {"crop", "--crop", "10x10+5", single, out}, 2},
        {"empty region", {"crop", "--crop", "0x10+0+0", single, out}, 2},
        {"region outside image 1", {"crop", "--crop", "30x20+40+0", single, out}, 2},
        {"crop without a region", {"crop", single, out}, 2},
        {"a region without crop", {"rotate90", "--crop", "8x8+0+0", single, out}, 2},
        {"a stereo pair stood upright", {"rotate90", pair, out}, 2},
        {"the output is the input", {"flip-v", single, single}, 2},
        {"--perfect with partial edge blocks", {"rotate90", "--perfect", photo, out}, 1},
        {"--perfect with a corner off the grid", {"crop", "--crop", "8x8+3+0", "--perfect", single, out}, 1},
        {"not a JPEG file", {"rotate90", text, out}, 1},
        {"data cut short", {"rotate90", cut, out}, 1},
        {"no such file", {"rotate90", dir / "none.jpg", out}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"--transform"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult run = RunVeltrane(args, TransformServices());
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.err.rfind("veltrane: ", 0), 0u) << run.err;
        EXPECT_EQ(FileNames(dir.Path()), inputs);
    }
    EXPECT_EQ(ReadBytes(single), singleBytes);
    const RunResult unavailable = RunVeltrane({"--transform", "rotate90", single, out});
    EXPECT_EQ(unavailable.status, 1);
    EXPECT_EQ(unavailable.err, "veltrane: --transform is not available in this build\n");
}

TEST(Transform, NamesTheOutputAfterTheOperation) {
    TempDir dir;
    const std::string pair = dir.Write("pair.mpo", StereoPair().file);
    const RunResult run = RunVeltrane({"--transform", "rotate180", pair}, TransformServices());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FileNames(dir.Path()), (std::vector<std::string>{"pair.mpo", "pair_rotate180.mpo"}));
    // The report names each eye by its place, and where it came from.
    EXPECT_NE(run.out.find("eyes exchanged"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("image 1 (left, was image 2)"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace veltrane::testing
