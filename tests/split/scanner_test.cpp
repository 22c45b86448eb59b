// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/images/scanner.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "core/common/image_list_line.h"
#include "core/common/io_error.h"
#include "tests/support/temp_dir.h"

namespace veltrane {
namespace {

using testing::Bytes;
using testing::TempDir;

const Bytes kSig = {0xFF, 0xD8, 0xFF, 0xE1};
const ScanOptions kScan{ImageRule::MpfIndexFirst, kSig};

// Records every call in order, so the interleaving of questions and images can be checked; says
// no to its question numbered stopAt (from 1).
class RecordingListener : public ScanListener {
public:
    bool Continue(std::int64_t scannedBytes) override {
        calls.push_back("continue " + std::to_string(scannedBytes));
        return ++asked != stopAt;
    }
    void ImageComplete(int n, std::int64_t sizeInBytes) override {
        lines.push_back(ImageListLine(n, sizeInBytes));
        calls.push_back("image " + std::to_string(n) + ": " + std::to_string(sizeInBytes));
    }
    void ImageLimitReached(std::int64_t offset) override { limitAt = offset; }
    std::vector<std::string> lines;
    std::vector<std::string> calls;
    std::int64_t limitAt = -1;
    int asked = 0;
    int stopAt = 0;
};

// A file of `size` filler bytes (never FF) with the signature placed at each offset.
Bytes FileWithSignatures(std::size_t size, const std::vector<std::size_t>& offsets) {
    Bytes b(size, 0x11);
    for (std::size_t o : offsets) std::copy(kSig.begin(), kSig.end(), b.begin() + static_cast<std::ptrdiff_t>(o));
    return b;
}

struct ScanCase {
    const char* what;
    Bytes content;
    std::vector<std::int64_t> expectedOffsets;
};

TEST(ScanImageOffsets, FindsEveryImageStartExactlyOnce) {
    Bytes withOtherMarkers = FileWithSignatures(64, {40});
    const Bytes others = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xD8, 0xFF, 0xE2, 0xFF, 0xD8, 0xFF, 0xDB};
    std::copy(others.begin(), others.end(), withOtherMarkers.begin());
    const std::vector<ScanCase> cases = {
        {"an empty file", {}, {}},
        {"a file without the signature", Bytes(100000, 0xFF), {}},
        {"a file that is one signature", kSig, {0}},
        {"data before the first image", FileWithSignatures(5000, {1000, 3000}), {1000, 3000}},
        {"a signature spanning two chunks", FileWithSignatures(70000, {32766}), {32766}},
        {"a signature in the last bytes of a chunk", FileWithSignatures(70000, {32764}), {32764}},
        {"a signature at the first byte of the second chunk", FileWithSignatures(70000, {32768}), {32768}},
        {"a signature spanning the second boundary", FileWithSignatures(70000, {65534}), {65534}},
        {"two signatures back to back", FileWithSignatures(8, {0, 4}), {0, 4}},
        {"other markers after start-of-image", withOtherMarkers, {40}},
        {"a signature cut by the end of the file", Bytes{0x00, 0xFF, 0xD8, 0xFF}, {}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir / "case.mpo";
        testing::WriteBytes(path, c.content);
        ImageIndex index;
        RecordingListener listener;
        const std::int64_t result = ScanImageOffsets(index, path, kScan, listener);
        ASSERT_EQ(index.ImageCount, static_cast<int>(c.expectedOffsets.size()));
        for (int n = 1; n <= index.ImageCount; ++n) EXPECT_EQ(index.ImageOffsets[n], c.expectedOffsets[n - 1]);
        EXPECT_EQ(result, c.expectedOffsets.empty() ? -1 : c.expectedOffsets.back());
        EXPECT_EQ(listener.lines.size(), c.expectedOffsets.size());
    }
}

TEST(ScanImageOffsets, ListsSizesInWholeKibibytesInImageOrder) {
    TempDir dir;
    const std::string path = dir / "sizes.mpo";
    // Images of 1023, 2048 and 2047 bytes, after 10 bytes that belong to no image.
    testing::WriteBytes(path, FileWithSignatures(10 + 1023 + 2048 + 2047, {10, 1033, 3081}));
    ImageIndex index;
    RecordingListener listener;
    ScanImageOffsets(index, path, kScan, listener);
    EXPECT_EQ(listener.lines,
              (std::vector<std::string>{" Image 001:  0 K", " Image 002:  2 K", " Image 003:  1 K"}));
}

TEST(ScanImageOffsets, AsksToGoOnBeforeEachImageAndAfterEachChunkAndStopsWhenTold) {
    TempDir dir;
    const std::string path = dir / "order.mpo";
    testing::WriteBytes(path, FileWithSignatures(40000, {0, 1000, 39000}));
    const std::vector<std::string> all = {"continue 0",     "continue 1000", "image 1: 1000", "continue 32768",
                                          "continue 39000", "image 2: 38000", "continue 40000", "image 3: 1000"};
    struct Case {
        int stopAt;
        int images;
        std::size_t calls;  // the first calls of all
    };
    for (const Case& c : {Case{0, 3, all.size()}, Case{3, 2, 4}, Case{2, 2, 2}}) {
        SCOPED_TRACE(c.stopAt);
        ImageIndex index;
        RecordingListener listener;
        listener.stopAt = c.stopAt;
        const std::int64_t result = ScanImageOffsets(index, path, kScan, listener);
        EXPECT_EQ(listener.calls, std::vector<std::string>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(c.calls)));
        EXPECT_EQ(index.ImageCount, c.images);  // an image recorded before the stop stays
        EXPECT_EQ(result, c.stopAt == 0 ? 39000 : -1);
    }
}

TEST(ScanImageOffsets, ASecondScanReplacesTheCount) {
    TempDir dir;
    const std::string many = dir / "many.mpo", none = dir / "none.mpo", one = dir / "one.mpo";
    testing::WriteBytes(many, FileWithSignatures(100, {0, 10, 20}));
    testing::WriteBytes(one, FileWithSignatures(100, {50}));
    testing::WriteBytes(none, Bytes(100, 0));
    ImageIndex index;
    RecordingListener listener;
    ScanImageOffsets(index, many, kScan, listener);
    ASSERT_EQ(index.ImageCount, 3);
    ScanImageOffsets(index, one, kScan, listener);
    EXPECT_EQ(index.ImageCount, 1);
    EXPECT_EQ(index.ImageOffsets[1], 50);
    EXPECT_EQ(ScanImageOffsets(index, none, kScan, listener), -1);
    EXPECT_EQ(index.ImageCount, 0);
}

TEST(ScanImageOffsets, EmptySignatureOrPathChangesNothing) {
    ImageIndex index;
    index.ImageCount = 7;
    RecordingListener listener;
    EXPECT_EQ(ScanImageOffsets(index, "", kScan, listener), -1);
    EXPECT_EQ(ScanImageOffsets(index, "x.mpo", {ImageRule::MpfIndexFirst, {}}, listener), -1);
    EXPECT_EQ(index.ImageCount, 7);
    EXPECT_TRUE(listener.calls.empty());
}

TEST(ScanImageOffsets, AMissingFileRaisesFileNotFound) {
    TempDir dir;
    ImageIndex index;
    RecordingListener listener;
    try {
        ScanImageOffsets(index, dir / "missing.mpo", kScan, listener);
        FAIL() << "no error raised";
    } catch (const InOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
        EXPECT_EQ(e.FileName(), dir / "missing.mpo");
    }
}

TEST(ScanImageOffsets, StopsRecordingAtTheThousandthImage) {
    TempDir dir;
    const std::string path = dir / "thousand.mpo";
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < 1002; ++i) starts.push_back(i * 10);
    testing::WriteBytes(path, FileWithSignatures(1002 * 10 + 5, starts));
    ImageIndex index;
    RecordingListener listener;
    ScanImageOffsets(index, path, kScan, listener);
    EXPECT_EQ(index.ImageCount, 999);
    EXPECT_EQ(index.LimitOffset, 9990);
    EXPECT_EQ(listener.limitAt, 9990);
    EXPECT_EQ(index.ImageEnd(999, 1 << 20), 9990);  // image 999 ends where the 1000th starts
    ASSERT_EQ(listener.lines.size(), 999u);
    EXPECT_EQ(listener.lines.back(), " Image 999:  0 K");
}

// The incremental search must report the same offsets however the stream is cut into chunks.
TEST(SignatureSearch, FindsTheSameOffsetsForAnyChunking) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        Bytes data(rng() % 400);
        for (auto& b : data) b = (rng() % 3 == 0) ? 0xFF : static_cast<std::uint8_t>(0xD8 + rng() % 10);
        for (int k = 0; k < 3 && data.size() >= 4; ++k) {
            const std::size_t at = rng() % (data.size() - 3);
            std::copy(kSig.begin(), kSig.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
        }
        std::vector<std::int64_t> expected;
        for (std::size_t i = 0; i + 4 <= data.size(); ++i)
            if (std::equal(kSig.begin(), kSig.end(), data.begin() + static_cast<std::ptrdiff_t>(i)))
                expected.push_back(static_cast<std::int64_t>(i));

        SignatureSearch search(kSig);
        std::vector<std::int64_t> found;
        std::size_t pos = 0;
        while (pos < data.size()) {
            const std::size_t len = std::min<std::size_t>(data.size() - pos, 1 + rng() % 40);
            search.Feed({data.data() + pos, len}, static_cast<std::int64_t>(pos), [&](std::int64_t o) {
                found.push_back(o);
                return true;
            });
            pos += len;
        }
        ASSERT_EQ(found, expected) << "round " << round;
    }
}

// Chunks of every length around the 16-byte steps of the vector search, each in a buffer of
// exactly its size (so that a read past its end is caught by the address sanitizer), with the
// signature at the first and at the last place it fits.
TEST(SignatureSearch, FindsSignaturesAtBothEndsOfChunksOfEveryLength) {
    for (std::size_t length = 2 * kSig.size(); length <= 50; ++length) {
        SCOPED_TRACE("chunk of " + std::to_string(length) + " bytes");
        const auto chunk = std::make_unique<std::uint8_t[]>(length);
        std::fill(chunk.get(), chunk.get() + length, std::uint8_t{0xFF});
        std::copy(kSig.begin(), kSig.end(), chunk.get());
        std::copy(kSig.begin(), kSig.end(), chunk.get() + length - kSig.size());
        std::vector<std::int64_t> found;
        SignatureSearch search(kSig);
        search.Feed({chunk.get(), length}, 0, [&](std::int64_t o) {
            found.push_back(o);
            return true;
        });
        const auto last = static_cast<std::int64_t>(length - kSig.size());
        EXPECT_EQ(found, (std::vector<std::int64_t>{0, last}));
    }
}

TEST(ImageListLine, PadsTheNumberAndTruncatesTheSize) {
    struct Case { int n; std::int64_t size; const char* text; };
    const Case cases[] = {
        {1, 0, " Image 001:  0 K"},
        {2, 1234567, " Image 002:  1205 K"},
        {10, 2048, " Image 010:  2 K"},
        {100, 2047, " Image 100:  1 K"},
        {999, 5LL << 32, " Image 999:  20971520 K"},
        {3, -1, " Image 003:  0 K"},
    };
    for (const auto& c : cases) EXPECT_EQ(ImageListLine(c.n, c.size), c.text);
}

TEST(FileSizeByName, GivesMinusOneForAMissingEntry) {
    TempDir dir;
    EXPECT_EQ(FileSizeByName(dir / "nothing"), -1);
    testing::WriteBytes(dir / "five", Bytes(5, 0));
    EXPECT_EQ(FileSizeByName(dir / "five"), 5);
}

}  // namespace
}  // namespace veltrane
