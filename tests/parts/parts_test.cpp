// SPDX-License-Identifier: GPL-3.0-or-later
// The part finder on phone photos built from the published layouts: what --parts lists, what a
// split and --remove-video write (checked against exiftool where it is installed), and files
// whose structures point outside themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/common/file_io.h"
#include "core/common/image_list_line.h"
#include "core/mpo/byte_source.h"
#include "core/parts/file_parts.h"
#include "core/parts/jpeg_parts.h"
#include "core/parts/samsung_trailer.h"
#include "core/parts/xmp_text.h"
#include "tests/mpo/mpo_test_support.h"
#include "tools/samples/phone_photos.h"
#include "tests/support/run_command_line.h"
#include "tests/support/temp_dir.h"

namespace veltrane::testing {
namespace {

using namespace veltrane::samples;

namespace fs = std::filesystem;
using parts::FilePart;
using parts::PartKind;
using parts::PartLocator;

Bytes Slice(const Bytes& b, std::size_t start, std::size_t length) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(start), b.begin() + static_cast<std::ptrdiff_t>(start + length));
}

parts::FileParts Parts(const std::string& path) {
    ScanListener quiet;
    return parts::FindFileParts(path, ScanOptions{}, quiet);
}

// ---- the XMP reader and base64 ----

TEST(XmpText, FindsPrefixesValuesAndElements) {
    const std::string xmp =
        "<rdf:Description xmlns:G = 'http://ns.google.com/photos/1.0/camera/' xmlns:C=\"urn:c/\"\n"
        " G:MicroVideo=\"1\" G:MicroVideoOffsetX=\"9\" G:MicroVideoOffset = '4&amp;2'>"
        "<C:Name>a&lt;b&#x41;&#66;</C:Name><C:Dir><C:Dir>inner</C:Dir><rdf:Seq>"
        "<rdf:li A=\"1\"/><rdf:li>two</rdf:li><rdf:lix>no</rdf:lix></rdf:Seq></C:Dir></rdf:Description>";
    EXPECT_EQ(parts::XmpPrefixOf(xmp, "http://ns.google.com/photos/1.0/camera/"), "G");
    EXPECT_EQ(parts::XmpPrefixOf(xmp, "http://ns.google.com/photos/1.0/"), "");
    EXPECT_EQ(parts::XmpPropertyValue(xmp, "G:MicroVideo"), "1");
    EXPECT_EQ(parts::XmpPropertyValue(xmp, "G:MicroVideoOffset"), "4&2");
    EXPECT_EQ(parts::XmpPropertyValue(xmp, "C:Name"), "a<bAB");
    EXPECT_EQ(parts::XmpPropertyValue(xmp, "G:Missing"), std::nullopt);
    const auto body = parts::XmpElementBody(xmp, "C:Dir");
    ASSERT_TRUE(body);
    EXPECT_TRUE(body->starts_with("<C:Dir>inner</C:Dir>"));
    const auto items = parts::XmpListItems(*body);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], " A=\"1\"");
    EXPECT_EQ(items[1], ">two");
    // Cut texts give nothing rather than a read past their end.
    for (std::size_t n = 0; n < xmp.size(); ++n) {
        const std::string_view cut(xmp.data(), n);
        (void)parts::XmpPropertyValue(cut, "G:MicroVideoOffset");
        (void)parts::XmpElementBody(cut, "C:Dir");
    }
}

TEST(XmpText, DecodesBase64AndRefusesBrokenData) {
    struct Case {
        const char* text;
        const char* decoded;  // nullptr: refused
    };
    const Case cases[] = {
        {"", ""},          {"TWFu", "Man"},    {"TW Fu\nTQ==", "ManM"}, {"TWFuTWE=", "ManMa"},
        {"TWFuT", nullptr}, {"TWFuTQ", nullptr}, {"TW*u", nullptr},      {"TQ==TQ==", nullptr},
        {"TQ= =", "M"},    {"TWE", nullptr},    {"=TWFu", nullptr},     {"TWFuTQ=", "ManM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string problem, lengthProblem;
        const auto bytes = parts::DecodeBase64(c.text, problem);
        const auto length = parts::Base64DecodedLength(c.text, lengthProblem);
        EXPECT_EQ(length.has_value(), bytes.has_value());
        EXPECT_EQ(lengthProblem, problem);
        if (length && bytes) {
            EXPECT_EQ(*length, static_cast<std::int64_t>(bytes->size()));
        }
        if (c.decoded == nullptr) {
            EXPECT_FALSE(bytes);
            EXPECT_FALSE(problem.empty());
        } else {
            ASSERT_TRUE(bytes) << problem;
            EXPECT_EQ(std::string(bytes->begin(), bytes->end()), c.decoded);
        }
    }
}

// Texts long enough for the fast paths (a depth photo's XMP): names found at their colons, the
// base64 length counted in blocks, both agreeing with the short texts' way.
TEST(XmpText, LongTextsGiveWhatShortOnesGive) {
    Bytes data(6000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 13);
    const std::string blob = samples::Base64(data);
    const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:Description xmlns:GDepth='http://ns.google.com/photos/1.0/depthmap/'"
                            " GDepth:Data='" + blob + "' GDepth:Mime='image/png' GDepth:Near='1.5'/></x:xmpmeta>";
    EXPECT_EQ(parts::XmpPrefixOf(xmp, "http://ns.google.com/photos/1.0/depthmap/"), "GDepth");
    EXPECT_EQ(parts::XmpPropertyValue(xmp, "GDepth:Mime"), "image/png");
    EXPECT_EQ(parts::XmpPropertyValue(xmp, "GDepth:Near"), "1.5");
    EXPECT_EQ(parts::XmpPropertyValue(xmp, "GDepth:Data"), blob);
    EXPECT_FALSE(parts::XmpPropertyValue(xmp, "GDepth:Confidence"));
    EXPECT_FALSE(parts::XmpPropertyValue(xmp, "Depth:Mime"));  // part of a longer name
    struct Case {
        const char* name;
        std::string text;
        bool valid;
    };
    std::string bad = blob, spaced = blob, cutShort = blob.substr(0, blob.size() - 1);
    bad[4100] = '*';
    spaced.insert(70, "\n ");
    const Case cases[] = {
        {"whole", blob, true},
        {"a character outside the alphabet", bad, false},
        {"white space inside a block", spaced, true},
        {"cut short", cutShort, false},
        {"padded", blob.substr(0, 4000) + "TQ==", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string problem, lengthProblem;
        const auto bytes = parts::DecodeBase64(c.text, problem);
        const auto length = parts::Base64DecodedLength(c.text, lengthProblem);
        EXPECT_EQ(bytes.has_value(), c.valid);
        EXPECT_EQ(length.has_value(), c.valid);
        EXPECT_EQ(lengthProblem, problem);
        if (bytes && length) {
            EXPECT_EQ(*length, static_cast<std::int64_t>(bytes->size()));
        }
    }
}

// ---- the parts of each layout ----

struct Expected {
    PartKind kind;
    PartLocator locator;
    std::string mime;
    Bytes bytes;  // what the split writes
};

void ExpectParts(const std::string& path, const std::vector<Expected>& expected) {
    const parts::FileParts found = Parts(path);
    EXPECT_TRUE(found.list.problems.empty()) << found.list.problems.front();
    ASSERT_EQ(found.list.parts.size(), expected.size());
    TempDir out;
    ASSERT_EQ(RunVeltrane({path, out.Folder()}).status, 0);
    const std::string base = fs::path(path).stem().string() + "_";
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const FilePart& part = found.list.parts[i];
        SCOPED_TRACE("part " + std::to_string(i + 1));
        EXPECT_EQ(part.number, static_cast<int>(i) + 1);
        EXPECT_EQ(part.kind, expected[i].kind);
        EXPECT_EQ(part.locatedBy, expected[i].locator);
        EXPECT_EQ(part.mime, expected[i].mime);
        EXPECT_EQ(part.Length(), static_cast<std::int64_t>(expected[i].bytes.size()));
        const std::string name = out / (base + std::string("00") + std::to_string(i + 1) + parts::PartExtension(part.mime));
        EXPECT_EQ(ReadBytes(name), expected[i].bytes) << name;
    }
    EXPECT_EQ(FileNames(out.Path()).size(), expected.size());
}

TEST(PhoneParts, ContainerDirectoryWithAndWithoutGainMap) {
    TempDir dir;
    const MotionPhoto plain = ContainerMotionPhoto(false);
    ExpectParts(dir.Write("plain.jpg", plain.file),
                {{PartKind::Image, PartLocator::SignatureScan, "image/jpeg", plain.primary},
                 {PartKind::Video, PartLocator::ContainerDirectory, "video/mp4", plain.video}});
    const MotionPhoto hdr = ContainerMotionPhoto(true);
    const std::size_t gainStart = hdr.videoStart - hdr.gainMap.size();
    ExpectParts(dir.Write("hdr.jpg", hdr.file),
                {{PartKind::Image, PartLocator::MpfIndex, "image/jpeg", Slice(hdr.file, 0, gainStart)},
                 {PartKind::GainMap, PartLocator::MpfIndex, "image/jpeg", hdr.gainMap},
                 {PartKind::Video, PartLocator::ContainerDirectory, "video/mp4", hdr.video}});
    // Padding after the primary lies between it and the video, in neither.
    const MotionPhoto padded = ContainerMotionPhoto(false, 5000, 64);
    ExpectParts(dir.Write("padded.jpg", padded.file),
                {{PartKind::Image, PartLocator::SignatureScan, "image/jpeg", padded.primary},
                 {PartKind::Video, PartLocator::ContainerDirectory, "video/mp4", padded.video}});
    // The image list keeps its format; the last image ends at its EOI.
    EXPECT_EQ(RunVeltrane({"--list", dir / "hdr.jpg"}).out,
              ImageListLine(1, static_cast<std::int64_t>(gainStart)) + "\n" +
                  ImageListLine(2, static_cast<std::int64_t>(hdr.gainMap.size())) + "\n");
}

TEST(PhoneParts, MicroVideoSamsungTrailerAndXmpDepth) {
    TempDir dir;
    const MotionPhoto micro = MicroVideoPhoto();
    ExpectParts(dir.Write("micro.jpg", micro.file),
                {{PartKind::Image, PartLocator::SignatureScan, "image/jpeg", micro.primary},
                 {PartKind::Video, PartLocator::MicroVideo, "video/mp4", micro.video}});
    const MotionPhoto samsung = SamsungMotionPhoto();
    const std::string utc = "1765190000000";
    ExpectParts(dir.Write("samsung.jpg", samsung.file),
                {{PartKind::Image, PartLocator::SignatureScan, "image/jpeg", samsung.primary},
                 {PartKind::Other, PartLocator::SamsungTrailer, "application/octet-stream", Bytes(utc.begin(), utc.end())},
                 {PartKind::Video, PartLocator::SamsungTrailer, "video/mp4", samsung.video}});
    const DepthPhoto depth = GDepthPhoto();
    ExpectParts(dir.Write("depth.jpg", depth.file),
                {{PartKind::Image, PartLocator::SignatureScan, "image/jpeg", depth.file},
                 {PartKind::DepthMap, PartLocator::XmpBase64, "image/png", depth.depth},
                 {PartKind::Image, PartLocator::XmpBase64, "image/jpeg", depth.original}});
    const DynamicDepth dd = DynamicDepthPhoto();
    ExpectParts(dir.Write("dd.jpg", dd.file),
                {{PartKind::Image, PartLocator::SignatureScan, "image/jpeg", dd.primary},
                 {PartKind::DepthMap, PartLocator::DynamicDepth, "image/jpeg", dd.depth},
                 {PartKind::ConfidenceMap, PartLocator::DynamicDepth, "image/jpeg", dd.confidence}});
    // Samsung's record and the container directory name the same video: one part.
    const MotionPhoto both = SamsungMotionPhoto(20000, 0, true);
    ExpectParts(dir.Write("both.jpg", both.file),
                {{PartKind::Image, PartLocator::SignatureScan, "image/jpeg", both.primary},
                 {PartKind::Other, PartLocator::SamsungTrailer, "application/octet-stream", Bytes(utc.begin(), utc.end())},
                 {PartKind::Video, PartLocator::ContainerDirectory, "video/mp4", both.video}});
    // odd and even choose among the images only.
    TempDir odd;
    ASSERT_EQ(RunVeltrane({dir / "samsung.jpg", odd.Folder(), "odd"}).status, 0);
    EXPECT_EQ(FileNames(odd.Path()), std::vector<std::string>{"samsung_001.jpg"});
}

TEST(PhoneParts, PartsLinesAndListRefusals) {
    TempDir dir;
    const MotionPhoto micro = MicroVideoPhoto(30000);
    const std::string path = dir.Write("m.jpg", micro.file);
    const RunResult r = RunVeltrane({"--parts", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Part 001  image  image/jpeg  start 0  length " + std::to_string(micro.primary.size()) +
                         "  signature  role: none\n"
                         "Part 002  video  video/mp4  start " + std::to_string(micro.videoStart) +
                         "  length 30000  MicroVideo  role: motion photo\n");
    const std::string text = dir.Write("t.jpg", std::string("no picture here"));
    Bytes heic;
    PutBe(heic, 24, 4);
    Append(heic, std::string("ftypheic\0\0\0\0mif1heic", 20));
    const std::string heif = dir.Write("h.heic", heic);
    for (const auto& [file, message] : {std::pair{text, "the file holds no JPEG image"},
                                        std::pair{heif, "a HEIF file holds no JPEG image (--parts lists its parts)"}}) {
        const RunResult list = RunVeltrane({"--list", file});
        EXPECT_EQ(list.status, 1);
        EXPECT_EQ(list.err, "veltrane: " + file + ": " + message + "\n");
    }
}

// ---- broken files: a message, and the other parts ----

TEST(PhoneParts, BrokenStructuresGiveMessagesAndTheOtherParts) {
    TempDir dir;
    struct Case {
        const char* name;
        Bytes file;
        std::vector<PartKind> kinds;  // of the parts still found
        std::string problem;          // a problem line begins so
    };
    std::vector<Case> cases;
    {
        // Item:Length of the video larger than the file: the video still starts after the image.
        MotionPhoto m = ContainerMotionPhoto(false, 3000);
        std::string xmp = ContainerXmp({{"Primary", "image/jpeg"}, {"MotionPhoto", "video/mp4", 99999999}});
        Bytes file = Primary(XmpSegment(xmp));
        Append(file, m.video);
        cases.push_back({"length", file, {PartKind::Image, PartKind::Video}, "container item 2 (MotionPhoto): Item:Length 99999999 runs past"});
    }
    cases.push_back({"gainmap", ContainerMotionPhoto(true, 3000, 0, 97).file,
                     {PartKind::Image, PartKind::GainMap, PartKind::Video},
                     "container item 2 (GainMap): its Item:Length puts it at"});
    cases.push_back({"offset", MicroVideoPhoto(3000, 10000000).file, {PartKind::Image, PartKind::Video},
                     "GCamera:MicroVideoOffset 10003000 is larger than the file"});
    cases.push_back({"trailer", SamsungMotionPhoto(3000, 0x40000000).file, {PartKind::Image},
                     "Samsung trailer: record 1 (offset"});
    cases.push_back({"base64", GDepthPhoto(3000, true).file, {PartKind::Image, PartKind::Image},
                     "GDepth:Data: the base64 data is cut short"});
    {
        // A JPEG start inside the video: the scan takes it for an image, which the video holds.
        MotionPhoto m = MicroVideoPhoto(3000);
        const Bytes start = {0xFF, 0xD8, 0xFF, 0xE1};
        std::copy(start.begin(), start.end(), m.file.begin() + static_cast<std::ptrdiff_t>(m.videoStart + 100));
        cases.push_back({"inside", m.file, {PartKind::Image, PartKind::Image, PartKind::Video}, "part 2 lies inside part 3"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write(std::string(c.name) + ".jpg", c.file);
        const parts::FileParts found = Parts(path);
        std::vector<PartKind> kinds;
        for (const FilePart& p : found.list.parts) kinds.push_back(p.kind);
        EXPECT_EQ(kinds, c.kinds);
        ASSERT_FALSE(found.list.problems.empty());
        EXPECT_TRUE(std::any_of(found.list.problems.begin(), found.list.problems.end(),
                                [&](const std::string& p) { return p.starts_with(c.problem); }))
            << found.list.problems.front();
        TempDir out;
        EXPECT_EQ(RunVeltrane({path, out.Folder()}).status, 0);
        EXPECT_EQ(FileNames(out.Path()).size(), c.kinds.size());
        const RunResult r = RunVeltrane({"--parts", path});
        EXPECT_NE(r.out.find("Problem: " + c.problem), std::string::npos) << r.out;
    }
}

TEST(PhoneParts, SamsungTrailerReaderStaysInsideItsBytes) {
    const Bytes trailer = SamsungTrailerBytes({{1, "A", {1, 2, 3}}, {2, "MotionPhoto_Data", Bytes(50, 9)}});
    for (std::size_t cut = 0; cut <= trailer.size(); ++cut) {
        const Bytes tail(trailer.begin() + static_cast<std::ptrdiff_t>(cut), trailer.end());
        MemoryByteSource source(tail);
        const parts::SamsungTrailer t = parts::ReadSamsungTrailer(source, source.Size());
        for (const parts::SamsungRecord& r : t.records) {
            EXPECT_GE(r.start, 0);
            EXPECT_LE(r.dataOffset + r.dataLength, static_cast<std::int64_t>(tail.size()));
        }
        if (cut == 0) {
            EXPECT_EQ(t.records.size(), 2u);
        }
    }
}

// ---- --remove-video ----

TEST(RemoveVideo, LeavesEveryOtherPartAndNoPointerToTheVideo) {
    TempDir dir;
    const std::vector<std::pair<std::string, MotionPhoto>> photos = {
        {"c.jpg", ContainerMotionPhoto(false)}, {"g.jpg", ContainerMotionPhoto(true)},
        {"m.jpg", MicroVideoPhoto()}, {"s.jpg", SamsungMotionPhoto()}, {"b.jpg", SamsungMotionPhoto(9000, 0, true)}};
    for (const auto& [name, photo] : photos) {
        SCOPED_TRACE(name);
        const std::string path = dir.Write(name, photo.file);
        const RunResult r = RunVeltrane({"--remove-video", path});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string still = dir / (fs::path(name).stem().string() + "_still.jpg");
        const Bytes written = ReadBytes(still);
        const parts::FileParts before = Parts(path), after = Parts(still);
        std::size_t videos = 0;
        for (const FilePart& p : after.list.parts) videos += p.kind == PartKind::Video;
        EXPECT_EQ(videos, 0u);
        EXPECT_TRUE(after.list.problems.empty());
        EXPECT_EQ(after.list.parts.size() + 1, before.list.parts.size());
        // The images: the same length, the same bytes but for the XMP's changed characters.
        EXPECT_EQ(after.index.ImageCount, before.index.ImageCount);
        for (int n = 1; n <= after.index.ImageCount; ++n)
            EXPECT_EQ(after.index.ImageStart(n), before.index.ImageStart(n));
        if (!photo.gainMap.empty()) {
            EXPECT_EQ(Slice(written, written.size() - photo.gainMap.size(), photo.gainMap.size()), photo.gainMap);
        }
        EXPECT_LT(written.size(), photo.file.size() - photo.video.size() + 64);
    }
    EXPECT_EQ(RunVeltrane({"--remove-video", dir / "c_still.jpg"}).status, 1);
}

// ---- exiftool reads the same bytes ----

TEST(PhoneParts, ExiftoolExtractsTheSameBytes) {
    if (!HaveCommand("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    TempDir dir;
    const MotionPhoto plain = ContainerMotionPhoto(false), hdr = ContainerMotionPhoto(true), micro = MicroVideoPhoto(),
                      samsung = SamsungMotionPhoto();
    const DepthPhoto depth = GDepthPhoto();
    struct Case {
        std::string file;
        const char* tag;
        Bytes expected;
    };
    const Case cases[] = {
        {dir.Write("c.jpg", plain.file), "-ee -EmbeddedVideo", plain.video},
        {dir.Write("g.jpg", hdr.file), "-MPImage2", hdr.gainMap},
        {dir.Write("m.jpg", micro.file), "-ee -EmbeddedVideo", micro.video},
        {dir.Write("s.jpg", samsung.file), "-EmbeddedVideoFile", samsung.video},
        {dir.Write("d.jpg", depth.file), "-DepthImage", depth.depth},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " " + c.tag);
        const std::string extracted = dir / "x.bin";
        RunProgram(std::string("(exiftool -b ") + c.tag + " " + Quoted(c.file) + " 2>/dev/null) >" + Quoted(extracted));
        EXPECT_EQ(ReadBytes(extracted), c.expected);
    }
    // After --remove-video exiftool finds no video either.
    for (const char* name : {"c.jpg", "m.jpg", "s.jpg"}) {
        ASSERT_EQ(RunVeltrane({"--remove-video", dir / name, dir / "still.jpg"}).status, 0);
        const ProgramRun run = RunProgram("exiftool -b -ee -EmbeddedVideo -EmbeddedVideoFile -MotionPhotoVideo " + Quoted(dir / "still.jpg"));
        EXPECT_EQ(run.output, "") << name;
    }
}

}  // namespace
}  // namespace veltrane::testing
