// SPDX-License-Identifier: GPL-3.0-or-later
// --join over inputs x types: every image of the output is its input image byte for byte apart
// from the MPF segment, which sits where it belongs and says what the consoles' segments say.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/mpo/image_role.h"
#include "core/mpo/mpf_segment.h"
#include "tests/makernotes/camera_shapes.h"
#include "tests/mpo/mpo_test_support.h"
#include "tests/support/run_command_line.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

const fs::path kFixtures = VELTRANE_FIXTURES_DIR;

Bytes Shape(const std::string& name) {
    for (const auto& shape : bench::CameraShapes())
        if (shape.Name == name) return shape.Content;
    throw std::invalid_argument(name);
}

struct JoinInput {
    std::string what;
    std::vector<std::pair<std::string, Bytes>> files;  // written into the test's folder
    std::vector<Bytes> images;                         // what the output's images must be
};

std::vector<JoinInput> Inputs(const testing::TempDir& dir) {
    const Bytes left = samples::SampleStereoImage(0), right = samples::SampleStereoImage(1, {}, samples::ByteOrder::Big);
    const Bytes jfif0 = samples::SampleJfifImage(0), jfif1 = samples::SampleJfifImage(1);
    const Bytes mpo = samples::IndexedMpo({jfif0, left, right});
    std::vector<JoinInput> inputs = {
        {"EXIF II and MM, maker notes", {{"canon.jpg", Shape("canon_eos")}, {"casio.jpg", Shape("casio")}}, {}},
        {"Olympus II, phone MM", {{"olympus.jpg", Shape("olympus")}, {"phone.jpg", Shape("phone_gps")}}, {}},
        {"JFIF only", {{"a.jpg", jfif0}, {"b.jpg", jfif1}}, {}},
        {"XMP APP1, no EXIF", {{"x.jpg", Shape("xmp_app1")}, {"n.jpg", Shape("no_app1")}}, {}},
        {"three images", {{"l.jpg", left}, {"r.jpg", right}, {"j.jpg", jfif0}}, {}},
        {"an MPO and a JPEG", {{"m.mpo", mpo}, {"l.jpg", left}}, {jfif0, left, right, left}},
    };
    // The console files, split by the program and joined again.
    for (const char* name : {"frozenpond", "sugarshack"}) {
        const fs::path fixture = kFixtures / (std::string(name) + ".mpo");
        if (!fs::exists(fixture)) continue;
        EXPECT_EQ(testing::RunVeltrane({fixture.string(), dir.Folder()}).status, 0);
        JoinInput input{name, {}, {}};
        for (const char* n : {"_001.jpg", "_002.jpg"})
            input.files.emplace_back(name + std::string(n), testing::ReadBytes(dir / (name + std::string(n))));
        inputs.push_back(std::move(input));
    }
    for (JoinInput& input : inputs) {
        for (const auto& [name, bytes] : input.files) dir.Write(name, bytes);
        if (input.images.empty())
            for (const auto& file : input.files) input.images.push_back(file.second);
    }
    return inputs;
}

TEST(Join, CopiesEveryImageAndWritesTheIndexOfItsType) {
    testing::TempDir dir;
    const std::vector<JoinInput> inputs = Inputs(dir);
    for (const JoinInput& input : inputs) {
        for (const char* typeWord : {"disparity", "multi-angle", "panorama"}) {
            SCOPED_TRACE(input.what + ", " + typeWord);
            const std::uint32_t type = *MpTypeFromWord(typeWord);
            std::vector<std::string> args = {"--join", "--type", typeWord};
            for (const auto& file : input.files) args.push_back(dir / file.first);
            args.push_back(dir / "out.mpo");
            const auto run = testing::RunVeltrane(args);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_NE(run.out.find("out.mpo: " + std::to_string(input.images.size()) + " images (" + typeWord + ")"),
                      std::string::npos) << run.out;

            const Bytes file = testing::ReadBytes(dir / "out.mpo");
            MpfIndex index;
            const std::vector<Bytes> images = testing::IndexedImages(file, &index);
            ASSERT_EQ(images.size(), input.images.size()) << index.problem;
            EXPECT_TRUE(index.bigEndian);
            for (std::size_t i = 0; i < images.size(); ++i) {
                SCOPED_TRACE("image " + std::to_string(i + 1));
                const Bytes expected = testing::WithoutMpf(input.images[i]);
                EXPECT_EQ(testing::WithoutMpf(images[i]), expected);
                EXPECT_EQ(index.entries[i].size, images[i].size());
                EXPECT_EQ(index.entries[i].attribute, type | (i == 0 ? kMpRepresentativeFlag : 0));
                // One MPF segment, where it belongs, with the attribute IFD of the type.
                const auto segments = testing::HeaderSegments(images[i]);
                ASSERT_EQ(std::count_if(segments.begin(), segments.end(), [](auto& s) { return s.mpf; }), 1);
                const auto mpf = std::find_if(segments.begin(), segments.end(), [](auto& s) { return s.mpf; });
                EXPECT_EQ(mpf->offset, testing::MpfSegmentPlace(expected));
                const auto ifd = ReadMpAttributeIfd(testing::MpfPayload(images[i]));
                ASSERT_TRUE(ifd.has_value());
                EXPECT_EQ(ifd->individualNumber, i + 1);
                EXPECT_EQ(ifd->tags, DefaultMpAttributes(type, images.size()));
            }
            if (type == kMpTypeDisparity && images.size() == 2) {
                EXPECT_EQ(DetectImageRole(images[0], index, 0), ImageRole::Left);
                EXPECT_EQ(DetectImageRole(images[1], index, 1), ImageRole::Right);
            }
            // The consoles' own segments, byte for byte: the second image's whole, the first
            // image's but for the second image's offset, one byte lower without the padding
            // byte the consoles leave after the first image.
            const fs::path fixture = kFixtures / (input.what + ".mpo");
            if (type == kMpTypeDisparity && fs::exists(fixture)) {
                const std::vector<Bytes> original = testing::IndexedImages(testing::ReadBytes(fixture));
                ASSERT_EQ(original.size(), 2u);
                EXPECT_EQ(images[1], original[1]);
                Bytes segment = testing::MpfPayload(original[0]);
                const Bytes written = testing::MpfPayload(images[0]);
                ASSERT_EQ(segment.size(), written.size());
                const std::size_t offsetField = 4 + 0x32 + 16 + 8;  // "MPF\0", list, entry 2's offset
                std::copy_n(written.begin() + long(offsetField), 4, segment.begin() + long(offsetField));
                EXPECT_EQ(segment, written);
            }
        }
    }
}

// Two JFIF images back to back without an index: no image list finds the second, so the file
// is taken for one image and the bytes after it are named.
TEST(Join, SaysWhenBytesLeftOutHoldAnotherImage) {
    testing::TempDir dir;
    const Bytes first = samples::SampleJfifImage(0);
    const std::string both = dir.Write("both.jpg", samples::JoinImages({first, samples::SampleJfifImage(1)}));
    const std::string left = dir.Write("l.jpg", samples::SampleStereoImage(0));
    const auto run = testing::RunVeltrane({"--join", both, left, dir / "out.mpo"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "veltrane: " + both + ": the " + std::to_string(samples::SampleJfifImage(1).size()) +
                           " bytes after the image's end, left out, hold a JPEG start; --repair finds the images"
                           " of a file without a usable index\n");
    EXPECT_EQ(testing::WithoutMpf(testing::IndexedImages(testing::ReadBytes(dir / "out.mpo")).at(0)), first);
}

TEST(Join, MpfCommandNamesTheRoles) {
    const fs::path frameSize = kFixtures / "frame_size.mpo", sugarshack = kFixtures / "sugarshack.mpo";
    if (!fs::exists(frameSize)) GTEST_SKIP() << "no fixtures";
    const auto phone = testing::RunVeltrane({"--mpf", frameSize.string()});
    EXPECT_EQ(phone.out,
              "Image 001  Baseline MP Primary Image  start 0  size 4226  flags: none  role: none\n"
              "Image 002  Undefined  start 4226  size 10348  flags: none  role: gain map\n"
              "The signature scan finds other starts: 4226 (1 image)\n");
    const auto console = testing::RunVeltrane({"--mpf", sugarshack.string()});
    EXPECT_EQ(console.out,
              "Image 001  Multi-Frame Disparity  start 0  size 60007  flags: representative  role: left\n"
              "Image 002  Multi-Frame Disparity  start 60008  size 60190  flags: none  role: right\n"
              "The signature scan finds the same starts.\n");
}

// Roles from synthetic headers: the gain-map XMP of either vendor, thumbnails, the order of a
// pair without individual numbers, and numbers that swap it.
TEST(ImageRoles, ComeFromTheXmpTheTypeAndTheIndividualNumber) {
    auto withSegment = [](std::uint8_t marker, const std::string& payload) {
        const std::string segment = std::string("\xFF\xD8\xFF", 3) + char(marker) + char((payload.size() + 2) >> 8) +
                                    char((payload.size() + 2) & 0xFF) + payload;
        return Bytes(segment.begin(), segment.end());
    };
    const std::string xmp("http://ns.adobe.com/xap/1.0/\0", 29);
    const Bytes adobeMap = withSegment(0xE1, xmp + "<rdf:Description xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" "
                                                    "hdrgm:Version=\"1.0\" hdrgm:GainMapMax=\"2.3\"/>");
    const Bytes adobePrimary = withSegment(0xE1, xmp + "<rdf:Description xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" "
                                                        "hdrgm:Version=\"1.0\"/>");
    const Bytes appleMap = withSegment(0xE1, xmp + "<apdi:AuxiliaryImageType>urn:com:apple:photo:2020:aux:hdrgainmap"
                                                   "</apdi:AuxiliaryImageType>");
    auto numbered = [&](std::uint32_t n) {
        MpAttributeIfd ifd;
        ifd.individualNumber = n;
        const Bytes segment = BuildMpfAttributeSegment(ifd);
        return withSegment(0xE2, std::string(segment.begin() + 4, segment.end()));
    };
    auto index = [](std::vector<std::uint32_t> types) {
        MpfIndex i;
        for (std::uint32_t t : types) i.entries.push_back({t, 0, 0, 0, 0});
        return i;
    };
    struct Case {
        const char* what;
        Bytes header;
        MpfIndex index;
        std::size_t entry;
        ImageRole role;
    };
    const Case cases[] = {
        {"Adobe gain map", adobeMap, index({kMpTypeBaselinePrimary, 0}), 1, ImageRole::GainMap},
        {"Adobe primary", adobePrimary, index({kMpTypeBaselinePrimary, 0}), 0, ImageRole::None},
        {"Apple gain map", appleMap, index({kMpTypeBaselinePrimary, 0}), 1, ImageRole::GainMap},
        {"VGA thumbnail", {}, index({kMpTypeBaselinePrimary, kMpTypeLargeThumbnailVga}), 1, ImageRole::LargeThumbnail},
        {"Full HD thumbnail", {}, index({kMpTypeBaselinePrimary, kMpTypeLargeThumbnailFullHd}), 1, ImageRole::LargeThumbnail},
        {"second of a pair, by order", {}, index({kMpTypeDisparity, kMpTypeDisparity}), 1, ImageRole::Right},
        {"second, numbered 1", numbered(1), index({kMpTypeDisparity, kMpTypeDisparity}), 1, ImageRole::Left},
        {"one of three views", numbered(2), index({kMpTypeDisparity, kMpTypeDisparity, kMpTypeDisparity}), 1, ImageRole::None},
        {"multi-angle", numbered(1), index({kMpTypeMultiAngle, kMpTypeMultiAngle}), 0, ImageRole::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DetectImageRole(c.header, c.index, c.entry), c.role);
    }
}

}  // namespace
}  // namespace veltrane
