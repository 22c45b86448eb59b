// SPDX-License-Identifier: GPL-3.0-or-later
// The JPEG structure walk on well-formed and damaged images, in memory and from a file read in
// chunks: both must see the same structure.
#include "core/mpo/jpeg_walk.h"

#include <gtest/gtest.h>

#include <random>

#include "core/common/file_io.h"
#include "tests/mpo/mpo_test_support.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane {
namespace {

using testing::Bytes;

Bytes Cat(std::initializer_list<Bytes> pieces) {
    Bytes out;
    for (const Bytes& p : pieces) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Pieces {
    Bytes soi, app1, tables, sos, data, eoi;  // tables: DQT, SOF0, DHT
};

// The sample image cut into pieces (its header is SOI, APP1, DQT, SOF0, DHT, SOS).
Pieces SamplePieces() {
    const Bytes image = samples::SampleStereoImage(0);
    const auto segments = testing::HeaderSegments(image);
    const std::size_t app1End = segments[0].offset + segments[0].size;
    const std::size_t sosAt = segments.back().offset + segments.back().size;
    const std::size_t sosEnd = sosAt + 2 + (std::size_t{image[sosAt + 2]} << 8 | image[sosAt + 3]);
    auto piece = [&](std::size_t from, std::size_t to) { return Bytes(image.begin() + long(from), image.begin() + long(to)); };
    return {piece(0, 2), piece(2, app1End), piece(app1End, sosAt), piece(sosAt, sosEnd), piece(sosEnd, image.size() - 2),
            piece(image.size() - 2, image.size())};
}

std::vector<std::uint8_t> Markers(const JpegImageWalk& walk) {
    std::vector<std::uint8_t> markers;
    for (const JpegSegment& s : walk.segments) markers.push_back(s.marker);
    return markers;
}

TEST(JpegWalk, ReportsSegmentsStrayBytesEndAndProblems) {
    const Pieces p = SamplePieces();
    const Bytes image = Cat({p.soi, p.app1, p.tables, p.sos, p.data, p.eoi});
    const Bytes dqt(p.tables.begin(), p.tables.begin() + 2 + (p.tables[2] << 8 | p.tables[3]));
    const Bytes afterDqt(p.tables.begin() + long(dqt.size()), p.tables.end());
    const Bytes comment = {0xFF, 0xFE, 0x00, 0x04, 'h', 'i'};
    const Bytes dht = {0xFF, 0xC4, 0x00, 0x02};
    const Bytes mpf = {0xFF, 0xE2, 0x00, 0x08, 'M', 'P', 'F', 0, 'M', 'M'};
    const Bytes jfif = {0xFF, 0xE0, 0x00, 0x07, 'J', 'F', 'I', 'F', 0};
    const std::size_t dataAt = p.soi.size() + p.app1.size() + p.tables.size() + p.sos.size();
    struct Case {
        const char* what;
        Bytes bytes;
        bool complete;
        std::string problem;
        std::int64_t end;
        std::int64_t stray = 0;
        std::vector<std::uint8_t> markers = {};  // checked when given
        std::uint8_t missingTables = 0;
    };
    const Case cases[] = {
        {"the sample", image, true, "", long(image.size()), 0, {0xD8, 0xE1, 0xDB, 0xC0, 0xC4, 0xDA, 0xD9}},
        {"trailing bytes", Cat({image, {0, 0, 0xFF}}), true, "", long(image.size())},
        {"fill bytes before markers", Cat({p.soi, {0xFF, 0xFF}, p.app1, {0xFF}, p.tables, p.sos, p.data, {0xFF}, p.eoi}),
         true, "", long(image.size() + 4)},
        {"stray bytes between header segments", Cat({p.soi, p.app1, {1, 2, 0xFF, 0x00, 3}, p.tables, p.sos, p.data, p.eoi}),
         true, "", long(image.size() + 5), 5},
        {"stuffing, restarts and fill bytes in the data",
         Cat({p.soi, p.app1, p.tables, p.sos, {0x12, 0xFF, 0x00, 0xFF, 0xD3, 0xFF, 0xFF, 0xFF, 0xD4, 0x34}, p.eoi}), true, "",
         long(dataAt + 12), 0, {0xD8, 0xE1, 0xDB, 0xC0, 0xC4, 0xDA, 0xD9}},
        {"a second scan with tables and a comment between",
         Cat({p.soi, p.app1, p.tables, p.sos, p.data, dht, comment, p.sos, {0x55}, p.eoi}), true, "",
         long(image.size() + dht.size() + comment.size() + p.sos.size() + 1), 0,
         {0xD8, 0xE1, 0xDB, 0xC0, 0xC4, 0xDA, 0xC4, 0xFE, 0xDA, 0xD9}},
        {"kinds of application segments", Cat({p.soi, jfif, p.app1, mpf, p.tables, p.sos, p.data, p.eoi}), true, "",
         long(image.size() + jfif.size() + mpf.size())},
        {"no quantization table", Cat({p.soi, p.app1, afterDqt, p.sos, p.data, p.eoi}), true, "",
         long(image.size() - dqt.size()), 0, {}, 1},
        {"not a JPEG", {0x89, 'P', 'N', 'G'}, false, "it does not begin with a JPEG start-of-image marker (FF D8)", 0},
        {"cut in the header", Cat({p.soi, p.app1}), false, "the data ends before the first scan", long(p.soi.size() + p.app1.size())},
        {"cut in the data", Cat({p.soi, p.app1, p.tables, p.sos, p.data}), false, "the data ends before EOI",
         long(image.size() - 2)},
        {"a segment past the end", Cat({p.soi, {0xFF, 0xE1, 0x40, 0x00, 0}}), false,
         "a marker segment runs past the end of the data", 2},
        {"EOI before any scan", Cat({p.soi, p.app1, p.eoi}), false, "the image ends before its first scan",
         long(p.soi.size() + p.app1.size() + 2)},
        {"a scan before the frame", Cat({p.soi, dqt, p.sos, p.data, p.eoi}), false, "a scan comes before the frame header",
         long(2 + dqt.size())},
        {"a new image in the data", Cat({p.soi, p.app1, p.tables, p.sos, {1, 2}, image}), false,
         "a new image starts inside this one's entropy-coded data", long(dataAt + 2)},
        {"a reserved marker in the data", Cat({p.soi, p.app1, p.tables, p.sos, {1, 0xFF, 0x02}, p.eoi}), false,
         "an unknown marker lies in the entropy-coded data", long(dataAt + 1)},
        {"stray bytes to the end", Cat({p.soi, p.app1, {1, 2, 3}}), false,
         "stray bytes in its header run to the end of the data", long(p.soi.size() + p.app1.size() + 3), 3},
    };
    testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InputFile file(dir.Write("walk.jpg", c.bytes));
        FileByteSource fromFile(file);
        MemoryByteSource fromMemory(c.bytes);
        for (ByteSource* source : {static_cast<ByteSource*>(&fromMemory), static_cast<ByteSource*>(&fromFile)}) {
            const JpegImageWalk walk = WalkJpegImage(*source, 0, source->Size());
            EXPECT_EQ(walk.complete, c.complete);
            EXPECT_EQ(walk.problem, c.problem);
            EXPECT_EQ(walk.end, c.end);
            EXPECT_EQ(walk.strayBytes, c.stray);
            EXPECT_EQ(walk.MissingQuantTables(), c.missingTables);
            if (!c.markers.empty()) {
                EXPECT_EQ(Markers(walk), c.markers);
            }
        }
    }
    // The application segments are told apart by their payload's first bytes.
    MemoryByteSource kinds(cases[6].bytes);
    const JpegImageWalk walk = WalkJpegImage(kinds, 0, kinds.Size());
    ASSERT_GE(walk.segments.size(), 4u);
    EXPECT_EQ(walk.segments[1].kind, SegmentKind::Jfif);
    EXPECT_EQ(walk.segments[2].kind, SegmentKind::Exif);
    EXPECT_EQ(walk.segments[3].kind, SegmentKind::Mpf);
}

// Entropy-coded data of several MiB, with stuffed bytes and restart markers on the boundaries
// of the file's read chunks: the chunked walk finds the same end as the walk in memory.
TEST(JpegWalk, WalksLargeDataInChunks) {
    const Pieces p = SamplePieces();
    Bytes data;
    std::mt19937 random(7);
    while (data.size() < 3 * ByteSource::kMaxView + 100) {
        const auto b = static_cast<std::uint8_t>(random());
        data.push_back(b);
        if (b == 0xFF) data.push_back(data.size() % 3 == 0 ? 0xD0 + data.size() % 8 : 0x00);
    }
    for (std::size_t k = 1; k <= 3; ++k) {  // FF 00 split across a boundary
        data[k * ByteSource::kMaxView - 1] = 0xFF;
        data[k * ByteSource::kMaxView] = 0x00;
    }
    const Bytes image = Cat({p.soi, p.app1, p.tables, p.sos, data, p.eoi, {0xFF, 0xD8, 0xFF}});
    testing::TempDir dir;
    InputFile file(dir.Write("large.jpg", image));
    FileByteSource fromFile(file);
    MemoryByteSource fromMemory(image);
    for (ByteSource* source : {static_cast<ByteSource*>(&fromMemory), static_cast<ByteSource*>(&fromFile)}) {
        const JpegImageWalk walk = WalkJpegImage(*source, 0, source->Size());
        EXPECT_TRUE(walk.complete) << walk.problem;
        EXPECT_EQ(walk.end, long(image.size() - 3));
        EXPECT_EQ(FindJpegStart(*source, 1, source->Size()), long(image.size() - 3));
    }
}

}  // namespace
}  // namespace veltrane
