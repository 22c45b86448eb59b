// SPDX-License-Identifier: GPL-3.0-or-later
// The HEIF box reader and the stereo-group writer on files built box by box: every iloc version
// and field size, idat and multiple extents, the Exif and ICC data of each eye, the offsets the
// writer corrects and the files it refuses, and malformed files that must fail with a message.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/common/file_io.h"
#include "core/heif_boxes/entity_group_writer.h"
#include "core/heif_boxes/heif_image_metadata.h"
#include "core/heif_boxes/heif_structure.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/heif_builder.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::heif_boxes {
namespace {

using samples::Bytes;
using samples::HeifSample;

struct LayoutCase {
    const char* name;
    samples::HeifSampleLayout layout;
    std::uint8_t exifMethod;  // where the Exif items lie: 0 mdat, 1 idat
    int exifExtents;
    Bytes exifPrefix;         // bytes between the offset field and the TIFF header
};

const LayoutCase kLayouts[] = {
    {"v0 sizes 4", {0, 4, 4, 0, 0, 0, 2, 0, 0, 0, false}, 0, 1, {}},
    {"v1 offset 8 length 8", {1, 8, 8, 0, 0, 1, 3, 1, 1, 1, false}, 0, 1, {}},
    {"v1 base offset 4, two extents", {1, 4, 4, 4, 0, 0, 2, 0, 0, 0, false}, 0, 2, {}},
    {"v1 base offset 8, index 4", {1, 4, 8, 8, 4, 0, 2, 0, 1, 0, true}, 0, 3, {'E', 'x', 'i', 'f', 0, 0}},
    {"v2 offset 8, index 8", {2, 8, 4, 0, 8, 1, 3, 1, 0, 1, false}, 0, 1, {}},
    {"v1 Exif in idat", {1, 4, 4, 0, 0, 0, 2, 0, 0, 0, false}, 1, 2, {}},
    {"v2 Exif in idat, base 4", {2, 4, 4, 4, 0, 0, 2, 0, 0, 0, true}, 1, 1, {'x', 'y'}},
};

HeifSample SampleFor(const LayoutCase& c, bool withGroup = true) {
    HeifSample s = samples::SampleSpatialHeif(withGroup);
    s.layout = c.layout;
    for (auto& item : s.items) {
        if (item.type != "Exif") continue;
        const Bytes tiff(item.data.begin() + 4, item.data.end());
        item.data = samples::ExifItemPayload(tiff, c.exifPrefix);
        item.constructionMethod = c.exifMethod;
        item.extents = c.exifExtents;
    }
    return s;
}

Bytes TiffOf(const HeifSample& s, std::uint32_t exifItem) {
    for (const auto& item : s.items)
        if (item.id == exifItem) return Bytes(item.data.begin() + 4 + (item.data[3]), item.data.end());
    return {};
}

// Both eyes as the reader sees them, from memory and from a file.
void ExpectPair(const Bytes& file, const HeifSample& s) {
    const auto st = ParseHeif(file);
    const auto pair = st.FindStereoPair();
    ASSERT_TRUE(pair.has_value());
    EXPECT_EQ(pair->left, 1u);
    EXPECT_EQ(pair->right, 3u);
    EXPECT_EQ(st.primaryItem, 1u);
    EXPECT_EQ(st.NumberedImages(), (std::vector<std::uint32_t>{1, 3}));
    ASSERT_NE(st.FindItem(3), nullptr);
    EXPECT_EQ(st.FindItem(3)->width, 64u);
    EXPECT_EQ(st.FindItem(3)->height, 48u);
    EXPECT_TRUE(st.FindItem(3)->hasCodecConfiguration);
    EXPECT_TRUE(st.FindItem(2)->hidden);
    EXPECT_EQ(st.MetadataItemsOf(3, MakeFourCc("Exif")), std::vector<std::uint32_t>{4});
    EXPECT_EQ(ExifTiffFromPayload(ItemPayload(st, file, 2)), TiffOf(s, 2));
    EXPECT_EQ(ExifTiffFromPayload(ItemPayload(st, file, 4)), TiffOf(s, 4));
    const auto icc = st.IccProfileOf(3);
    EXPECT_EQ(Bytes(icc.begin(), icc.end()), s.items[2].icc);
    // The file positions the writer patches hold the values read.
    const auto stored = [&](std::uint64_t at, unsigned size) {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < size; ++i) v = v << 8 | file[static_cast<std::size_t>(at + i)];
        return v;
    };
    for (const auto& item : st.items) {
        const auto& loc = *item.location;
        if (loc.baseOffsetSize != 0) {
            EXPECT_EQ(stored(loc.baseOffsetFieldPosition, loc.baseOffsetSize), loc.baseOffset);
        }
        for (const auto& e : loc.extents) {
            if (loc.offsetSize != 0) {
                EXPECT_EQ(stored(e.offsetFieldPosition, loc.offsetSize), e.offset);
            }
        }
    }
    if (st.idatSize != 0) {
        EXPECT_EQ(stored(st.idatOffset - 4, 4), MakeFourCc("idat"));
    }
    // The hvc1 data: the placeholder bytes, wherever the layout put them.
    EXPECT_EQ(ItemPayload(st, file, 1), s.items[0].data);

    testing::TempDir dir;
    const auto path = dir.Write("pair.heic", file);
    for (const int n : {1, 2}) {
        SCOPED_TRACE(n);
        const auto m = ReadHeifImageMetadata(path, n);
        EXPECT_EQ(m.itemId, n == 1 ? 1u : 3u);
        EXPECT_EQ(m.exifTiff, TiffOf(s, n == 1 ? 2 : 4));
        EXPECT_EQ(m.iccProfile, s.items[n == 1 ? 0 : 2].icc);
    }
    EXPECT_EQ(HeifImageExifTiff(path, 2), TiffOf(s, 4));
    EXPECT_THROW(ReadHeifImageMetadata(path, 3), HeifFormatError);
}

TEST(HeifBoxes, ReadsThePairInEveryLayout) {
    for (const auto& c : kLayouts) {
        SCOPED_TRACE(c.name);
        const auto s = SampleFor(c);
        ExpectPair(samples::BuildHeif(s), s);
    }
}

TEST(HeifBoxes, InsertsTheStereoGroupAndMovesEveryOffset) {
    for (const auto& c : kLayouts) {
        SCOPED_TRACE(c.name);
        const auto s = SampleFor(c, false);
        const auto plain = samples::BuildHeif(s);
        const auto st = ParseHeif(plain);
        EXPECT_FALSE(st.FindStereoPair().has_value());
        EXPECT_EQ(st.NumberedImages(), (std::vector<std::uint32_t>{1, 3}));
        const auto grouped = InsertStereoGroup(plain, 1, 3);
        EXPECT_EQ(grouped.size(), plain.size() + 36);
        ExpectPair(grouped, s);
        const auto after = ParseHeif(grouped);
        ASSERT_EQ(after.groups.size(), 1u);
        EXPECT_EQ(after.groups[0].groupId, 5u);  // one more than the largest item ID
        // Everything behind the meta box moved as a whole.
        const auto metaEnd = static_cast<std::ptrdiff_t>(st.meta.offset + st.meta.size);
        EXPECT_TRUE(std::equal(plain.begin() + metaEnd, plain.end(), grouped.begin() + metaEnd + 36));
        EXPECT_THROW(InsertStereoGroup(grouped, 1, 3), HeifFormatError);  // a second group box
    }
}

TEST(HeifBoxes, RefusesFilesItCannotCorrect) {
    const auto sample = samples::SampleSpatialHeif(false);
    const auto plain = samples::BuildHeif(sample);
    const auto st = ParseHeif(plain);
    struct Case {
        const char* name;
        std::function<Bytes()> file;
        std::uint32_t left, right;
        const char* cause;
    };
    // The offset field of item 3's extent, set to a value near the top of its 4 bytes.
    const auto withOffset = [&](std::uint32_t value) {
        Bytes f = plain;
        const auto pos = static_cast<std::size_t>(st.FindItem(3)->location->extents[0].offsetFieldPosition);
        for (int i = 0; i < 4; ++i) f[pos + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        return f;
    };
    const Case cases[] = {
        {"offset overflows 4 bytes", [&] { return withOffset(0xFFFFFFF0u); }, 1, 3, "does not fit"},
        {"extent straddles the meta end", [&] { return withOffset(static_cast<std::uint32_t>(st.meta.offset + st.meta.size - 4)); }, 1, 3, "runs across"},
        {"a movie box", [&] { Bytes f = plain; const auto moov = samples::HeifBox("moov", Bytes(8, 0)); f.insert(f.end(), moov.begin(), moov.end()); return f; }, 1, 3, "'moov'"},
        {"an Exif item as an eye", [&] { return plain; }, 1, 2, "not an image"},
        {"a missing item", [&] { return plain; }, 1, 9, "not an image"},
        {"the same item twice", [&] { return plain; }, 1, 1, "same item"},
        {"not HEIF", [&] { return Bytes(64, 0); }, 1, 3, "not a HEIF file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            InsertStereoGroup(c.file(), c.left, c.right);
            ADD_FAILURE() << "accepted";
        } catch (const HeifFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << e.what();
        }
    }
}

// Malformed files: each fails with a message naming the cause, none crashes.
TEST(HeifBoxes, MalformedFilesFailWithACause) {
    const auto good = samples::BuildHeif(samples::SampleSpatialHeif());
    const auto st = ParseHeif(good);
    const auto metaAt = static_cast<std::size_t>(st.meta.offset);
    const auto find = [&](const Bytes& f, const char* type) {
        const auto it = std::search(f.begin(), f.end(), type, type + 4);
        return static_cast<std::size_t>(it - f.begin()) - 4;  // the box's size field
    };
    const auto put32 = [](Bytes f, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
        return f;
    };
    const auto ster = find(good, "ster");
    struct Case {
        const char* name;
        Bytes file;
        const char* cause;
    };
    const Case cases[] = {
        {"no ftyp", [&] { Bytes f = good; std::copy_n("free", 4, f.begin() + 4); return f; }(), "does not start"},
        {"meta of size 7", put32(good, metaAt, 7), "smaller than its header"},
        {"meta past the end", put32(good, metaAt, 0x7FFFFFFF), "runs past the end"},
        {"meta largesize past the end",
         [&] { Bytes f = put32(good, metaAt, 1); f = put32(f, metaAt + 8, 0); return put32(f, metaAt + 12, 0x10000); }(),
         "runs past the end"},
        {"group of 2^32-1 entities", put32(good, ster + 16, 0xFFFFFFFF), "entities do not fit"},
        {"group cut short", put32(good, ster, 16), "cut short"},
        {"iloc item count", put32(good, find(good, "iloc") + 12, 0x4400FFFF), "do not fit"},
        {"iinf entry count", [&] { Bytes f = good; f[find(good, "iinf") + 12] = 0xFF; return f; }(), "do not fit"},
        {"ipma index past ipco", [&] { Bytes f = good; const auto p = find(good, "ipma") + 12 + 4 + 2 + 1; f[p] = 0x8F; return f; }(),
         "refers to property"},
        {"no meta", samples::HeifBox("ftyp", Bytes(8, 'a')), "no 'meta' box"},
        {"file cut inside meta", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(metaAt + 40)), "runs past the end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const auto s = ParseHeif(c.file);
            ADD_FAILURE() << "accepted";
        } catch (const HeifFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << e.what();
        }
    }
}

// Every prefix of the file and every byte of its meta box set to 0x00, 0x80 and 0xFF: the reader,
// the pair lookup, the payloads and the writer either work or raise HeifFormatError.
TEST(HeifBoxes, SurvivesEveryCutAndCorruptedByte) {
    const auto good = samples::BuildHeif(samples::SampleSpatialHeif());
    const auto meta = ParseHeif(good).meta;
    const auto exercise = [](const Bytes& f) {
        try {
            const auto s = ParseHeif(f);
            for (const auto& item : s.items) {
                try {
                    const auto payload = ItemPayload(s, f, item.id);
                    if (item.type == MakeFourCc("Exif")) (void)ExifTiffFromPayload(payload);
                } catch (const HeifFormatError&) {
                }
            }
            (void)s.NumberedImages();
            (void)InsertStereoGroup(f, 1, 3);
        } catch (const HeifFormatError&) {
        }
    };
    for (std::size_t n = 0; n < good.size(); ++n) exercise(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)));
    for (auto at = meta.offset; at < meta.offset + meta.size; ++at)
        for (const int v : {0x00, 0x80, 0xFF}) {
            Bytes f = good;
            f[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(v);
            exercise(f);
        }
}

}  // namespace
}  // namespace veltrane::heif_boxes
