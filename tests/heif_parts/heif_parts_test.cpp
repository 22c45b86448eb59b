// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of HEIF files: a phone's HEIC (primary, auxiliary gain map, Exif, XMP, a motion
// photo's 'mpvd' box with an MP4 and a Samsung trailer after it) made of pictures that libheif
// encoded, libheif's own grid, alpha plane and thumbnail, and broken files. Where libheif's tools
// are installed, they read the item extents and decode every image part that is written.
#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "core/common/file_io.h"
#include "core/heif_boxes/heif_structure.h"
#include "core/parts/heif_parts.h"
#include "imaging/heif/heif_part_decoder.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/heif_builder.h"
#include "tools/samples/jpeg_writer.h"

// x265 3.5 keeps about 1 KiB of every encoder it opens after it is closed (libheif encodes this
// test's pictures through it); LeakSanitizer is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:x265_encoder_open\nleak:libx265.so\n"; }

namespace veltrane::parts {
namespace {

using testing::Bytes;
using testing::TempDir;
namespace hb = heif_boxes;

const std::string kAppleGainMap = "urn:com:apple:photo:2020:aux:hdrgainmap";

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

bool LibheifToolsInstalled() {
#ifdef _WIN32
    return false;
#else
    return std::filesystem::exists("/usr/bin/heif-info") && std::filesystem::exists("/usr/bin/heif-convert");
#endif
}

std::string RunAndCapture(const std::string& command) {
    std::string out;
#ifdef _WIN32
    (void)command;  // libheif's tools are not run there
#else
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        if (pclose(pipe) != 0) out += "\n(failed)";
    }
#endif
    return out;
}

// A picture encoded by libheif: colour (a gradient), or grey, with or without alpha and thumbnail.
Bytes EncodeWithLibheif(int width, int height, bool grey, bool alpha = false, bool thumbnail = false, int bits = 8) {
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    EXPECT_EQ(heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code, heif_error_Ok);
    heif_encoder_set_lossy_quality(encoder, 80);
    heif_encoder_set_logging_level(encoder, 0);
    heif_image* image = nullptr;
    const auto fill = [&](heif_channel channel, int shift) {
        heif_image_add_plane(image, channel, width, height, bits);
        int stride = 0;
        std::uint8_t* p = heif_image_get_plane(image, channel, &stride);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int v = ((x * 3 + y * 2 + shift) << (bits - 8)) & ((1 << bits) - 1);
                if (bits == 8) p[y * stride + x] = static_cast<std::uint8_t>(v);
                else reinterpret_cast<std::uint16_t*>(p + y * stride)[x] = static_cast<std::uint16_t>(v);
            }
    };
    if (grey) {
        heif_image_create(width, height, heif_colorspace_monochrome, heif_chroma_monochrome, &image);
        fill(heif_channel_Y, 0);
    } else {
        heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_444, &image);
        fill(heif_channel_R, 0);
        fill(heif_channel_G, 60);
        fill(heif_channel_B, 120);
    }
    if (alpha) fill(heif_channel_Alpha, 200);
    heif_image_handle* handle = nullptr;
    const heif_error encoded = heif_context_encode_image(ctx, image, encoder, nullptr, &handle);
    if (encoded.code != heif_error_Ok && bits > 8) {
        // An x265 built for 8 bits alone (the Windows build's): no such file to be had.
        heif_image_release(image);
        heif_encoder_release(encoder);
        heif_context_free(ctx);
        return {};
    }
    EXPECT_EQ(encoded.code, heif_error_Ok);
    if (thumbnail) {
        EXPECT_EQ(heif_context_encode_thumbnail(ctx, image, handle, encoder, nullptr, 32, nullptr).code, heif_error_Ok);
    }
    heif_image_handle_release(handle);
    heif_image_release(image);
    heif_encoder_release(encoder);
    Bytes file;
    heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* out) {
                           auto* bytes = static_cast<Bytes*>(out);
                           bytes->insert(bytes->end(), static_cast<const std::uint8_t*>(data),
                                         static_cast<const std::uint8_t*>(data) + size);
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    EXPECT_EQ(heif_context_write(ctx, &writer, &file).code, heif_error_Ok);
    heif_context_free(ctx);
    return file;
}

// The coded picture of a libheif file's primary item: its 'hvcC' payload and its data.
struct CodedPicture {
    Bytes hvcC, data;
};
CodedPicture PrimaryPicture(const Bytes& file) {
    const auto s = hb::ParseHeif(file);
    CodedPicture coded;
    for (const auto& a : s.FindItem(s.primaryItem)->associations) {
        const auto& box = s.properties[a.index - 1];
        if (box.type == hb::MakeFourCc("hvcC"))
            coded.hvcC.assign(file.begin() + static_cast<std::ptrdiff_t>(box.offset + 8),
                              file.begin() + static_cast<std::ptrdiff_t>(box.offset + box.size));
    }
    coded.data = hb::ItemPayload(s, file, s.primaryItem);
    return coded;
}

using samples::SamsungTrailer;
using samples::SmallMp4;

const Bytes kUtcData = Text("1765152000000");
const Bytes kXmp = Text("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta>");

// A phone's HEIC: the primary (item 1, 128 x 96), its gain map (item 2, grey 64 x 64, Apple's
// auxiliary type), Exif (3) and XMP (4); then an 'mpvd' box with an MP4 and a Samsung trailer.
struct PhoneHeic {
    Bytes file, mp4, exif;
    std::size_t mpvdPayload = 0;  // file position of the MP4
    CodedPicture primary, gainMap;
};
PhoneHeic BuildPhoneHeic(bool withTrailer = true) {
    PhoneHeic p;
    static const CodedPicture primary = PrimaryPicture(EncodeWithLibheif(128, 96, false));
    static const CodedPicture gainMap = PrimaryPicture(EncodeWithLibheif(64, 64, true));
    p.primary = primary;
    p.gainMap = gainMap;
    p.exif = samples::ExifItemPayload(samples::SampleExifTiff({}, samples::ByteOrder::Little));
    samples::HeifSample s;
    samples::HeifSampleItem item1{1, "hvc1", primary.data, false, 0, 1, 128, 96, {}, primary.hvcC, {}, {}};
    Bytes auxC = Text(kAppleGainMap);
    auxC.push_back(0);
    samples::HeifSampleItem item2{2, "hvc1", gainMap.data, true, 0, 1, 64, 64, {}, gainMap.hvcC,
                                  {samples::HeifFullBox("auxC", 0, 0, auxC)}, {}};
    samples::HeifSampleItem item3{3, "Exif", p.exif, true, 0, 1, 0, 0, {}, {}, {}, {}};
    samples::HeifSampleItem item4{4, "mime", kXmp, true, 0, 1, 0, 0, {}, {}, {}, "application/rdf+xml"};
    s.items = {item1, item2, item3, item4};
    s.references = {{"auxl", 2, {1}}, {"cdsc", 3, {1}}, {"cdsc", 4, {1}}};
    p.file = samples::BuildHeif(s);
    p.mp4 = SmallMp4(3000);
    Bytes mpvd = p.mp4;
    if (withTrailer) Append(mpvd, SamsungTrailer({{0x0A01, "Image_UTC_Data", kUtcData}, {0x0A20, "MCC_Data", Text("262")}}));
    p.mpvdPayload = p.file.size() + 8;
    Append(p.file, samples::HeifBox("mpvd", mpvd));
    return p;
}

Bytes BytesOf(const Bytes& file, const FilePart& part) {
    Bytes out;
    for (const auto& r : part.ranges)
        out.insert(out.end(), file.begin() + r.offset, file.begin() + r.offset + r.length);
    return out;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Width and height from a PNG's IHDR.
std::pair<int, int> PngSize(const Bytes& png) {
    if (png.size() < 24) return {0, 0};
    const auto at = [&](std::size_t i) {
        return static_cast<int>((png[i] << 24) | (png[i + 1] << 16) | (png[i + 2] << 8) | png[i + 3]);
    };
    return {at(16), at(20)};
}

struct ExpectedPart {
    PartKind kind;
    std::string mime;
    std::string role;
    std::uint32_t item;
    PartLocator locator;
};

TEST(HeifParts, FindsEveryPartOfAPhoneHeic) {
    const auto phone = BuildPhoneHeic();
    const auto list = FindHeifParts(phone.file);
    EXPECT_TRUE(list.problems.empty()) << list.problems.front();
    const std::vector<ExpectedPart> expected = {
        {PartKind::Image, "image/heic", "primary", 1, PartLocator::HeifItem},
        {PartKind::GainMap, "image/heic", "gain map", 2, PartLocator::HeifItem},
        {PartKind::Other, "application/octet-stream", "Exif", 3, PartLocator::HeifItem},
        {PartKind::Other, "application/rdf+xml", "XMP", 4, PartLocator::HeifItem},
        {PartKind::Video, "video/mp4", "motion photo", 0, PartLocator::HeifBox},
        {PartKind::Other, "application/octet-stream", "Image_UTC_Data", 0, PartLocator::SamsungTrailer},
        {PartKind::Other, "application/octet-stream", "MCC_Data", 0, PartLocator::SamsungTrailer},
    };
    ASSERT_EQ(list.parts.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& part = list.parts[i];
        EXPECT_EQ(part.number, static_cast<int>(i) + 1);
        EXPECT_EQ(part.kind, expected[i].kind);
        EXPECT_EQ(part.mime, expected[i].mime);
        EXPECT_EQ(part.role, expected[i].role);
        EXPECT_EQ(part.heifItemId, expected[i].item);
        EXPECT_EQ(part.locatedBy, expected[i].locator);
    }
    EXPECT_EQ(BytesOf(phone.file, list.parts[0]), phone.primary.data);
    EXPECT_EQ(BytesOf(phone.file, list.parts[1]), phone.gainMap.data);
    EXPECT_EQ(BytesOf(phone.file, list.parts[2]), phone.exif);
    EXPECT_EQ(BytesOf(phone.file, list.parts[3]), kXmp);
    ASSERT_EQ(list.parts[4].ranges.size(), 1u);
    EXPECT_EQ(list.parts[4].ranges[0].offset, static_cast<std::int64_t>(phone.mpvdPayload));
    EXPECT_EQ(BytesOf(phone.file, list.parts[4]), phone.mp4);  // the MP4 alone, not the trailer
    EXPECT_EQ(BytesOf(phone.file, list.parts[5]), kUtcData);
    EXPECT_EQ(BytesOf(phone.file, list.parts[6]), Text("262"));
}

// heif-info -d prints each item's base offset and extents: ours must be the same.
TEST(HeifParts, ItemRangesAreTheExtentsHeifInfoReads) {
    if (!LibheifToolsInstalled()) GTEST_SKIP() << "libheif's heif-info is not installed";
    TempDir dir;
    const auto phone = BuildPhoneHeic();
    const auto path = dir.Write("phone.heic", phone.file);
    const std::string dump = RunAndCapture("heif-info -d '" + path + "'");
    std::map<std::uint32_t, std::vector<ByteRange>> seen;
    const std::regex entry(R"(item ID: (\d+)\s*\n[^\n]*construction method: 0\s*\n[^\n]*\n[^\n]*base_offset: (\d+)\s*\n[^\n]*extents: ([0-9, ]+))");
    for (auto it = std::sregex_iterator(dump.begin(), dump.end(), entry); it != std::sregex_iterator(); ++it) {
        const auto base = std::stoll((*it)[2]);
        std::istringstream extents((*it)[3].str());
        std::string pair;
        while (extents >> pair) {
            const auto comma = pair.find(',');
            seen[static_cast<std::uint32_t>(std::stoul((*it)[1]))].push_back(
                {base + std::stoll(pair.substr(0, comma)), std::stoll(pair.substr(comma + 1))});
        }
    }
    ASSERT_EQ(seen.size(), 4u) << dump;
    for (const auto& part : FindHeifParts(phone.file).parts) {
        if (part.heifItemId == 0) continue;
        SCOPED_TRACE(part.heifItemId);
        ASSERT_EQ(part.ranges.size(), seen[part.heifItemId].size());
        for (std::size_t i = 0; i < part.ranges.size(); ++i) {
            EXPECT_EQ(part.ranges[i].offset, seen[part.heifItemId][i].offset);
            EXPECT_EQ(part.ranges[i].length, seen[part.heifItemId][i].length);
        }
    }
}

TEST(HeifParts, WritesImagesAsHeifFilesAndEverythingElseByteExact) {
    TempDir dir;
    const auto phone = BuildPhoneHeic();
    const auto source = dir.Write("phone.heic", phone.file);
    InputFile input(source);
    const auto list = FindHeifParts(input);
    ASSERT_EQ(list.parts.size(), 7u);
    const std::pair<int, int> sizes[] = {{128, 96}, {64, 64}};
    for (const auto& part : list.parts) {
        SCOPED_TRACE(part.number);
        const auto out = dir / ("part_" + std::to_string(part.number));
        WriteHeifPartFile(input, part, out);
        const Bytes written = ReadFile(out);
        if (!IsHeifImagePart(part)) {
            EXPECT_EQ(written, BytesOf(phone.file, part));
            continue;
        }
        // One image item with the coded data unchanged, its size and codec configuration.
        const auto s = hb::ParseHeif(written);
        ASSERT_EQ(s.items.size(), 1u);
        EXPECT_EQ(s.primaryItem, s.items[0].id);
        const auto& [width, height] = sizes[part.number - 1];
        EXPECT_EQ(s.items[0].width, static_cast<std::uint32_t>(width));
        EXPECT_TRUE(s.items[0].hasCodecConfiguration);
        EXPECT_TRUE(s.items[0].auxiliaryType.empty());
        EXPECT_EQ(hb::ItemPayload(s, written, s.primaryItem), part.number == 1 ? phone.primary.data : phone.gainMap.data);
        if (!LibheifToolsInstalled()) continue;
        const std::string decoded = RunAndCapture("heif-convert '" + out + "' '" + out + ".png'");
        EXPECT_EQ(PngSize(ReadFile(out + ".png")), std::make_pair(width, height)) << decoded;
    }
}

// libheif's own layout: a 64 x 48 picture becomes a grid of one tile (the tile hidden, the grid
// in 'idat'), with an alpha plane and a thumbnail.
TEST(HeifParts, LibheifGridWithAlphaAndThumbnail) {
    TempDir dir;
    const Bytes file = EncodeWithLibheif(64, 48, false, true, true);
    const auto path = dir.Write("grid.heic", file);
    InputFile input(path);
    const auto list = FindHeifParts(input);
    EXPECT_TRUE(list.problems.empty()) << list.problems.front();
    std::vector<std::pair<PartKind, std::string>> found;
    for (const auto& part : list.parts) found.emplace_back(part.kind, part.role);
    EXPECT_EQ(found, (std::vector<std::pair<PartKind, std::string>>{
                         {PartKind::Image, "primary"}, {PartKind::Other, "alpha"}, {PartKind::Thumbnail, "thumbnail"},
                         {PartKind::Other, "thumbnail alpha"}}));
    ASSERT_FALSE(list.parts.empty());
    const auto s = hb::ParseHeif(file);
    const auto& primary = list.parts[0];
    if (s.FindItem(primary.heifItemId)->type == hb::MakeFourCc("grid")) {
        EXPECT_GE(primary.ranges.size(), 2u);
    }
    for (const auto& part : list.parts) {
        SCOPED_TRACE(part.role);
        const auto out = dir / ("part_" + std::to_string(part.number) + ".heic");
        WriteHeifPartFile(input, part, out);
        const auto written = hb::ParseHeif(ReadFile(out));
        EXPECT_EQ(written.items.size(), written.FindItem(1)->type == hb::MakeFourCc("grid") ? 2u : 1u);
        if (!LibheifToolsInstalled()) continue;
        const std::string decoded = RunAndCapture("heif-convert '" + out + "' '" + out + ".png'");
        const auto size = PngSize(ReadFile(out + ".png"));
        EXPECT_EQ(size.first, static_cast<int>(written.FindItem(1)->width)) << decoded;
        EXPECT_GT(size.first, 0) << decoded;
    }
}

// Auxiliary images and derived gain maps named from the published URNs, on placeholder data.
TEST(HeifParts, AuxiliaryTypesToneMapsAndGrids) {
    const auto auxC = [](const std::string& urn) {
        Bytes payload = Text(urn);
        payload.push_back(0);
        return samples::HeifFullBox("auxC", 0, 0, payload);
    };
    samples::HeifSample s;
    s.items = {
        {1, "grid", Bytes(8, 1), false, 1, 1, 128, 64, {}, {}, {}, {}},
        {2, "hvc1", Bytes(40, 2), true, 0, 1, 64, 64, {}, {}, {}, {}},
        {3, "hvc1", Bytes(40, 3), true, 0, 2, 64, 64, {}, {}, {}, {}},
        {4, "hvc1", Bytes(30, 4), true, 0, 1, 32, 32, {}, {}, {auxC("urn:mpeg:hevc:2015:auxid:2")}, {}},
        {5, "hvc1", Bytes(30, 5), true, 0, 1, 32, 32, {}, {}, {auxC("urn:com:apple:photo:2019:aux:semantichairmatte")}, {}},
        {6, "hvc1", Bytes(30, 6), true, 0, 1, 32, 32, {}, {}, {auxC("urn:com:samsung:photo:2024:aux:hdrgainmap")}, {}},
        {7, "hvc1", Bytes(30, 7), true, 0, 1, 32, 32, {}, {}, {}, {}},
        {8, "tmap", Bytes(20, 8), false, 0, 1, 128, 64, {}, {}, {}, {}},
    };
    s.references = {{"dimg", 1, {2, 3}}, {"auxl", 4, {1}}, {"auxl", 5, {1}}, {"auxl", 6, {1}}, {"dimg", 8, {1, 7}}};
    const Bytes file = samples::BuildHeif(s);
    const auto list = FindHeifParts(file);
    EXPECT_TRUE(list.problems.empty()) << list.problems.front();
    std::vector<std::tuple<std::uint32_t, PartKind, std::string>> found;
    for (const auto& part : list.parts) found.emplace_back(part.heifItemId, part.kind, part.role);
    // The tmap item itself is a top-level image to a viewer that knows it; here it is the record
    // of the tone mapping, listed after the images in file order.
    const std::vector<std::tuple<std::uint32_t, PartKind, std::string>> expected = {
        {1, PartKind::Image, "primary"},         {4, PartKind::DepthMap, "depth map"},
        {5, PartKind::Other, "hair matte"},      {6, PartKind::GainMap, "gain map"},
        {7, PartKind::GainMap, "gain map"},      {8, PartKind::Other, "tone map"}};
    EXPECT_EQ(found, expected);
    ASSERT_FALSE(list.parts.empty());
    // The grid: its description in 'idat' and its tiles' extents, in that order.
    EXPECT_EQ(list.parts[0].ranges.size(), 4u);
    EXPECT_EQ(list.parts[0].Length(), 8 + 40 + 40);

    TempDir dir;
    InputFile input(dir.Write("grid.heic", file));
    const auto single = hb::ParseHeif(SingleImageHeif(input, 1));
    ASSERT_EQ(single.items.size(), 3u);
    EXPECT_EQ(single.items[1].hidden, true);
    ASSERT_EQ(single.references.size(), 1u);
    EXPECT_EQ(single.references[0].to, (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(single.items[0].width, 128u);
}

TEST(HeifParts, SamsungSefdBoxHoldsTheVideoAndRecords) {
    auto phone = BuildPhoneHeic(false);
    Bytes file = phone.file;
    file.resize(phone.mpvdPayload - 8);  // without the mpvd box
    const std::size_t sefd = file.size() + 8;
    Append(file, samples::HeifBox("sefd", SamsungTrailer({{0x0A30, "MotionPhoto_Data", phone.mp4}, {0x0A01, "Image_UTC_Data", kUtcData}})));
    const auto list = FindHeifParts(file);
    EXPECT_TRUE(list.problems.empty()) << list.problems.front();
    ASSERT_EQ(list.parts.size(), 6u);
    EXPECT_EQ(list.parts[4].kind, PartKind::Video);
    EXPECT_EQ(list.parts[4].mime, "video/mp4");
    EXPECT_EQ(list.parts[4].ranges[0].offset, static_cast<std::int64_t>(sefd + 8 + 16));
    EXPECT_EQ(BytesOf(file, list.parts[4]), phone.mp4);
    EXPECT_EQ(list.parts[5].role, "Image_UTC_Data");
}

// Each broken file gives a message naming what is wrong, and lists every part it still can.
TEST(HeifParts, BrokenFilesGiveAMessageAndTheOtherParts) {
    const auto phone = BuildPhoneHeic();
    const auto s = hb::ParseHeif(phone.file);
    const auto offsetField = [&](std::uint32_t item) { return s.FindItem(item)->location->extents[0].offsetFieldPosition; };
    const auto setOffset = [](Bytes& f, std::uint64_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    struct Case {
        const char* name;
        std::function<Bytes()> make;
        const char* message;
        std::size_t parts;
    };
    const Case cases[] = {
        {"an mpvd box cut short", [&] { return Bytes(phone.file.begin(), phone.file.end() - 40); }, "'mpvd' box", 4},
        {"an extent outside the file",
         [&] {
             Bytes f = phone.file;
             setOffset(f, offsetField(3), static_cast<std::uint32_t>(f.size() + 100));
             return f;
         },
         "Exif (item 3 ('Exif')) is not listed", 6},
        {"overlapping extents",
         [&] {
             Bytes f = phone.file;
             setOffset(f, offsetField(4), static_cast<std::uint32_t>(s.FindItem(3)->location->extents[0].offset + 4));
             return f;
         },
         "inside part 3", 7},
        {"a trailer record before its box",
         [&] {
             Bytes f = phone.file;
             const std::size_t entry = f.size() - 8 - 24 + 4;  // the second record's offset
             setOffset(f, entry, 0x7FFF0000);
             return f;
         },
         "lies outside the trailer", 6},
        {"a trailer directory larger than its box",
         [&] {
             Bytes f = phone.file;
             f[f.size() - 5] = 0x40;
             return f;
         },
         "directory of", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto list = FindHeifParts(c.make());
        std::string problems;
        for (const auto& p : list.problems) problems += p + "\n";
        EXPECT_NE(problems.find(c.message), std::string::npos) << problems;
        EXPECT_EQ(list.parts.size(), c.parts) << problems;
    }
}

// With --decode the image parts become PNG files: colour as 8-bit RGB, a grey depth map of
// 10 bits as 16-bit grey.
TEST(HeifParts, DecodesImagePartsToPng) {
    const Bytes depthFile = EncodeWithLibheif(64, 64, true, false, false, 10);
    if (depthFile.empty()) GTEST_SKIP() << "libheif's encoder writes no 10-bit pictures";
    const CodedPicture depth = PrimaryPicture(depthFile);
    if (depth.hvcC.size() < 23 || ((depth.hvcC[17] & 7) + 8) != 10) GTEST_SKIP() << "libheif's encoder writes no 10-bit pictures";
    auto phone = BuildPhoneHeic(false);
    Bytes depthAuxC = Text("urn:mpeg:hevc:2015:auxid:2");
    depthAuxC.push_back(0);
    samples::HeifSample s;
    s.items = {{1, "hvc1", phone.primary.data, false, 0, 1, 128, 96, {}, phone.primary.hvcC, {}, {}},
               {2, "hvc1", depth.data, true, 0, 1, 64, 64, {}, depth.hvcC, {samples::HeifFullBox("auxC", 0, 0, depthAuxC)}, {}}};
    s.references = {{"auxl", 2, {1}}};
    TempDir dir;
    const auto source = dir.Write("depth.heic", samples::BuildHeif(s));
    InputFile input(source);
    const auto list = FindHeifParts(input);
    ASSERT_EQ(list.parts.size(), 2u);
    EXPECT_EQ(list.parts[1].kind, PartKind::DepthMap);
    struct Expected {
        int width, height, bitDepth, colourType;
    };
    const Expected expected[] = {{128, 96, 8, 2}, {64, 64, 16, 0}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const auto png = dir / ("part_" + std::to_string(i + 1) + ".png");
        heif::DecodeHeifItemToPng(source, list.parts[i].heifItemId, png);
        const Bytes written = ReadFile(png);
        ASSERT_GE(written.size(), 26u);
        EXPECT_EQ(PngSize(written), std::make_pair(expected[i].width, expected[i].height));
        EXPECT_EQ(written[24], expected[i].bitDepth);
        EXPECT_EQ(written[25], expected[i].colourType);
    }
    EXPECT_THROW(heif::DecodeHeifItemToPng(source, 7, dir / "none.png"), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.png"));
}

}  // namespace
}  // namespace veltrane::parts
