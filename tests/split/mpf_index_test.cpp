// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the images through the MPF index, and the signature scan as the fallback.
#include "core/images/mpf_index.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "core/cli/command_line.h"
#include "core/common/io_error.h"
#include "core/images/batch.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane {
namespace {

using samples::MpEntry;
using samples::MpfOptions;
using testing::Bytes;

class NoticeListener : public ScanListener {
public:
    void ImageLimitReached(std::int64_t) override { limitReached = true; }
    void MpfIndexIgnored(const std::string& reason) override { notice = reason; }
    std::string notice;
    bool limitReached = false;
};

// A JFIF image (found only through the index) followed by two EXIF images (found either way).
std::vector<Bytes> MixedImages() {
    return {samples::SampleJfifImage(0), samples::SampleStereoImage(1), samples::SampleStereoImage(0)};
}

using Edit = std::function<void(std::vector<MpEntry>&, std::uint32_t&)>;

Bytes Indexed(Edit edit, samples::ByteOrder order = samples::ByteOrder::Little, std::uint32_t ifd = 8) {
    MpfOptions options;
    options.order = order;
    options.ifdOffset = ifd;
    options.edit = std::move(edit);
    return samples::IndexedMpo(MixedImages(), options);
}

// Overwrites the bytes at the given distance after "MPF\0".
Bytes Patched(std::size_t afterMagic, const Bytes& with) {
    Bytes file = Indexed({});
    const auto at = std::search(file.begin(), file.end(), "MPF", "MPF" + 4) - file.begin() + 4;
    std::copy(with.begin(), with.end(), file.begin() + at + static_cast<std::ptrdiff_t>(afterMagic));
    return file;
}

// The first image carries an embedded thumbnail that starts FF D8 FF E1 itself.
Bytes WithThumbnailDecoy() {
    Bytes app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    const Bytes thumbnail = samples::SampleStereoImage(0);
    app1.insert(app1.end(), thumbnail.begin(), thumbnail.end());
    app1[2] = static_cast<std::uint8_t>((app1.size() - 2) >> 8);
    app1[3] = static_cast<std::uint8_t>(app1.size() - 2);
    const samples::SampleExif size;
    return samples::IndexedMpo({samples::BaselineJpeg(64, 48, samples::StereoPainter(0, size), app1),
                                samples::SampleStereoImage(1)});
}

TEST(ImageRule, UsesAUsableIndexAndElseTheScanWithItsReason) {
    struct Case {
        const char* what;
        Bytes file;
        int images;          // what the rule finds
        int signatureImages; // what --no-mpf finds
        std::string notice;
    };
    const auto none = [](std::vector<MpEntry>&, std::uint32_t&) {};
    const Case cases[] = {
        {"little-endian index", Indexed(none), 3, 2, ""},
        {"big-endian index", Indexed(none, samples::ByteOrder::Big), 3, 2, ""},
        {"IFD at offset 10", Indexed(none, samples::ByteOrder::Little, 10), 3, 2, ""},
        {"wrong sizes are not used", Indexed([](auto& e, auto&) { e[1].size = 7; }), 3, 2, ""},
        {"no index", samples::JoinImages(MixedImages()), 2, 2, ""},
        {"embedded thumbnail", WithThumbnailDecoy(), 2, 3, ""},
        {"first image elsewhere", Indexed([](auto& e, auto&) { e[0].offset = 4; }), 2, 2,
         "image 1 does not start at offset 0"},
        {"later offset 0", Indexed([](auto& e, auto&) { e[1].offset = 0; }), 2, 2, "image 2 has offset 0"},
        {"beyond the end", Indexed([](auto& e, auto&) { e[2].offset = 0x7FFFFFF0; }), 2, 2,
         "image 3 lies outside the file"},
        {"out of order", Indexed([](auto& e, auto&) { std::swap(e[1].offset, e[2].offset); }), 2, 2,
         "image 3 does not start after image 2"},
        {"no JPEG there", Indexed([](auto& e, auto&) { e[1].offset += 1; }), 2, 2,
         "image 2 does not begin with a JPEG start marker"},
        {"count and list differ", Indexed([](auto&, std::uint32_t& n) { n = 4; }), 2, 2,
         "the image list does not hold 4 entries"},
        {"count 0", Indexed([](auto&, std::uint32_t& n) { n = 0; }), 2, 2,
         "the index gives no number of images"},
        {"no TIFF header", Patched(0, {'X', 'X'}), 2, 2, "the MPF segment holds no TIFF header"},
        {"IFD outside", Patched(4, {0xF0, 0xFF, 0, 0}), 2, 2,
         "the index's directory lies outside the MPF segment"},
        {"list outside", Patched(8 + 2 + 24 + 8, {0xF0, 0xFF, 0, 0}), 2, 2,
         "the image list lies outside the MPF segment"},
    };
    testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const ImageRule rule : {ImageRule::MpfIndexFirst, ImageRule::SignatureOnly}) {
            ImageIndex index;
            NoticeListener listener;
            ScanImageOffsets(index, dir.Write("x.mpo", c.file), ScanOptions{rule}, listener);
            const bool indexFirst = rule == ImageRule::MpfIndexFirst;
            EXPECT_EQ(index.ImageCount, indexFirst ? c.images : c.signatureImages);
            EXPECT_EQ(listener.notice, indexFirst ? c.notice : "");
        }
    }
}

TEST(ReadMpfIndex, WalksMarkersAndNeverReadsPastTheHead) {
    const Bytes mpf = samples::MpfApp2Segment({MpEntry{}});
    const Bytes app0 = samples::JfifApp0Segment();
    auto head = [&](std::initializer_list<Bytes> parts) {
        Bytes b = {0xFF, 0xD8};
        for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
        return b;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        bool found;
    };
    const Case cases[] = {
        {"right after SOI", head({mpf}), true},
        {"after APP0, fill bytes and standalone markers", head({app0, {0xFF, 0xFF, 0x01, 0xFF, 0xD3}, mpf}), true},
        {"after an APP2 that is an ICC profile", head({{0xFF, 0xE2, 0, 6, 'I', 'C', 'C', '_'}, mpf}), true},
        {"after SOS", head({{0xFF, 0xDA, 0, 2}, mpf}), false},
        {"after a length below 2", head({{0xFF, 0xE0, 0, 1}, mpf}), false},
        {"not a JPEG", Bytes{0xFF, 0xD9, 0xFF, 0xE2}, false},
        {"cut inside the segment", Bytes(mpf.begin(), mpf.end() - 3), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MpfIndex index = ReadMpfIndex(c.bytes, static_cast<std::int64_t>(c.bytes.size()));
        EXPECT_EQ(index.found, c.found);
        EXPECT_EQ(index.Usable(), c.found);
        // The same file seen through a head that is too short asks for more.
        if (c.found) {
            const auto shorter = std::span(c.bytes).first(c.bytes.size() - 1);
            EXPECT_GT(ReadMpfIndex(shorter, static_cast<std::int64_t>(c.bytes.size())).bytesNeeded, 0);
        }
    }
}

TEST(ImageRule, IndexEntriesStopAtTheImageLimit) {
    std::vector<Bytes> images(kMaxImages + 2, samples::SampleJfifImage(0));
    const Bytes file = samples::IndexedMpo(images);
    testing::TempDir dir;
    ImageIndex index;
    NoticeListener listener;
    ScanImageOffsets(index, dir.Write("many.mpo", file), {}, listener);
    EXPECT_EQ(index.ImageCount, kMaxImages);
    EXPECT_TRUE(listener.limitReached);
    EXPECT_EQ(index.LimitOffset, static_cast<std::int64_t>(file.size() - 2 * images[0].size()));
}

struct RunResult {
    int status;
    std::string out, err;
};

RunResult Veltrane(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunCommandLine(args, out, err, CommandLineServices{});
    return {status, out.str(), err.str()};
}

TEST(CommandLine, PrintsTheIndexAndObeysNoMpf) {
    testing::TempDir dir;
    const std::string jfif = dir.Write("j.mpo", samples::IndexedMpo({samples::SampleJfifImage(0), samples::SampleJfifImage(1)}));
    const std::string broken = dir.Write("b.mpo", Indexed([](auto& e, auto&) { e[2].offset = 0x7FFFFFF0; }));
    const std::string plain = dir.Write("p.mpo", samples::JoinImages(MixedImages()));
    const auto size = std::filesystem::file_size(jfif) - samples::SampleJfifImage(1).size();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const Case cases[] = {
        {{"--mpf", jfif}, 0,
         "Image 001  Baseline MP Primary Image  start 0  size " + std::to_string(size) +
             "  flags: representative  role: none\n"
             "Image 002  Multi-Frame Disparity  start " + std::to_string(size) + "  size " + std::to_string(samples::SampleJfifImage(1).size()) + "  flags: none  role: none\n"
             "The signature scan finds other starts: none (0 images)\n", ""},
        {{"--mpf", broken}, 1, "", "veltrane: " + broken + ": no usable MPF index: image 3 lies outside the file\n"},
        {{"--mpf", plain}, 1, "",
         "veltrane: " + plain + ": no usable MPF index: the first image's header holds no MPF segment\n"},
        {{"--mpf"}, 2, "", "veltrane: --mpf takes one file\nTry 'veltrane --help'.\n"},
        {{"--list", jfif}, 0, " Image 001:  0 K\n Image 002:  0 K\n", ""},
        {{"--no-mpf", "--list", jfif}, 0, "", ""},
        {{"--list", broken}, 0, " Image 001:  0 K\n Image 002:  0 K\n",
         "veltrane: " + broken + ": MPF index ignored: image 3 lies outside the file\n"},
        {{"--no-mpf", "--list", broken}, 0, " Image 001:  0 K\n Image 002:  0 K\n", ""},
        {{"--list", jfif}, 0, " Image 001:  0 K\n Image 002:  0 K\n", ""},  // --no-mpf lasts one run
        {{broken, dir.Folder()}, 0, "", "veltrane: " + broken + ": MPF index ignored: image 3 lies outside the file\n"},
        {{"--each", broken}, 0, "1 file split, 2 images written, 0 failed\n",
         "veltrane: " + broken + ": MPF index ignored: image 3 lies outside the file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const RunResult r = Veltrane(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(testing::ReadBytes(dir / "b_002.jpg"), MixedImages()[2]);
}

TEST(ScanAndExtract, AFailedRunLeavesExactlyTheImagesBeforeTheFailedOne) {
    testing::TempDir dir;
    std::vector<Bytes> images;
    for (int i = 0; i < 6; ++i) images.push_back(samples::SampleJfifImage(i % 2));
    const std::string source = dir.Write("trip.mpo", samples::IndexedMpo(images));
    std::filesystem::create_directories(dir.Path() / "out" / "trip_003.jpg");  // cannot be replaced
    for (int round = 0; round < 20; ++round) {
        ImageIndex index;
        NoticeListener listener;
        try {
            ScanAndExtract(BatchJob({source, (dir.Path() / "out").string()}), index, {}, listener);
            ADD_FAILURE() << "the run did not fail";
        } catch (const InOutError& e) {
            EXPECT_NE(e.FileName().find("trip_003.jpg"), std::string::npos);
        }
        EXPECT_EQ(testing::FileNames(dir.Path() / "out"),
                  (std::vector<std::string>{"trip_001.jpg", "trip_002.jpg", "trip_003.jpg"}));
        std::filesystem::remove(dir.Path() / "out" / "trip_001.jpg");
        std::filesystem::remove(dir.Path() / "out" / "trip_002.jpg");
    }
}

}  // namespace
}  // namespace veltrane
