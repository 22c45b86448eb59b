// SPDX-License-Identifier: GPL-3.0-or-later
// Real camera files, when the shared fixtures folder is beside the project.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/images/batch.h"
#include "tests/support/temp_dir.h"

namespace veltrane {
namespace {

TEST(CameraFiles, SplitIntoTheirImagesByteForByte) {
    const std::filesystem::path fixtures = VELTRANE_FIXTURES_DIR;
    if (!std::filesystem::exists(fixtures / "sugarshack.mpo")) GTEST_SKIP() << "no fixtures";
    struct Case {
        const char* file;
        int images;
        std::int64_t firstOffset;
    };
    const Case cases[] = {
        {"sugarshack.mpo", 2, 0},
        {"frozenpond.mpo", 2, 0},
        {"frame_size.mpo", 2, 0},  // JFIF first: only its MPF index names the first image
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        testing::TempDir dir;
        const ExtractJob job = BatchJob({(fixtures / c.file).string(), dir.Folder()});
        ImageIndex index;
        ScanListener quiet;
        const BatchOutcome outcome = ScanAndExtract(job, index, {}, quiet);
        ASSERT_EQ(outcome.imagesFound, c.images);
        EXPECT_EQ(index.ImageOffsets[1], c.firstOffset);
        const testing::Bytes whole = testing::ReadBytes(job.source);
        testing::Bytes joined;
        for (int n = 1; n <= c.images; ++n) {
            const testing::Bytes part = testing::ReadBytes(OutputFileName(job, n));
            EXPECT_EQ(part[0], 0xFF);
            EXPECT_EQ(part[1], 0xD8);
            EXPECT_EQ(part[2], 0xFF);
            joined.insert(joined.end(), part.begin(), part.end());
        }
        EXPECT_TRUE(std::equal(joined.begin(), joined.end(), whole.begin() + c.firstOffset, whole.end()));
    }
}

}  // namespace
}  // namespace veltrane
