// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/images/extraction.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/images/scanner.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane {
namespace {

using testing::Bytes;
using testing::TempDir;

// Four distinct sample images joined into one MPO file, scanned into an index, and a job that
// writes into the folder "out" beside it.
struct FourImages {
    TempDir dir;
    std::vector<Bytes> images;
    ImageIndex index;
    ExtractJob job;

    FourImages() {
        for (int i = 0; i < 4; ++i) {
            samples::SampleExif exif;
            exif.model = "Camera " + std::to_string(i);
            images.push_back(samples::SampleStereoImage(i % 2, exif));
        }
        job.source = dir / "pair.mpo";
        testing::WriteBytes(job.source, samples::JoinImages(images));
        ScanListener quiet;
        ScanImageOffsets(index, job.source, {}, quiet);
        std::filesystem::create_directory(dir.Path() / "out");
        job.folder = (dir.Path() / "out" / "").string();
    }
    std::vector<std::string> Written() const { return testing::FileNames(dir.Path() / "out"); }
};

TEST(IsImageSelected, FollowsTheModeWordOrTheModeButtons) {
    struct Case { const char* word; ExtractMode button; std::vector<int> selected; };
    const Case cases[] = {
        {"", ExtractMode::All, {1, 2, 3, 4}},
        {"", ExtractMode::Odd, {1, 3}},
        {"", ExtractMode::Even, {2, 4}},
        {"odd", ExtractMode::All, {1, 3}},
        {"Odd", ExtractMode::Even, {1, 3}},
        {"ODD", ExtractMode::All, {1, 3}},
        {"eVeN", ExtractMode::Odd, {2, 4}},
        {"all", ExtractMode::Odd, {1, 2, 3, 4}},
        {"sideways", ExtractMode::Even, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("word '") + c.word + "'");
        // A word on the command line decides, any word but odd or even meaning all; without
        // one, the window's mode button does.
        const ExtractMode mode =
            *c.word ? ParseModeWord(c.word).value_or(ExtractMode::All) : c.button;
        std::vector<int> got;
        for (int n = 1; n <= 4; ++n)
            if (IsImageSelected(mode, n)) got.push_back(n);
        EXPECT_EQ(got, c.selected);
    }
}

TEST(OutputFileName, JoinsFolderBaseNameAndNumber) {
    struct Case { const char* folder; const char* source; int n; const char* name; };
    const std::string sep(1, kPathSeparator);
    const Case cases[] = {
        {"", "a.mpo", 1, "a_001.jpg"},
        {"", "abcd", 12, "_012.jpg"},
        {"", "abc", 3, "_003.jpg"},
        {"", "holiday.MPO", 100, "holiday_100.jpg"},
    };
    for (const auto& c : cases) {
        const ExtractJob job{std::string("photos") + sep + c.source, c.folder};
        EXPECT_EQ(OutputFileName(job, c.n), c.name);
    }
    EXPECT_EQ(OutputFileName({"pair.mpo", "out" + sep}, 3), "out" + sep + "pair_003.jpg");
    EXPECT_EQ(WithTrailingSeparator("out"), "out" + sep);
    EXPECT_EQ(WithTrailingSeparator("out" + sep), "out" + sep);
    EXPECT_EQ(WithTrailingSeparator(""), "");
}

TEST(ExtractImages, WritesTheSelectedImagesByteForByte) {
    struct Case { ExtractMode mode; std::vector<std::string> files; };
    const Case cases[] = {
        {ExtractMode::All, {"pair_001.jpg", "pair_002.jpg", "pair_003.jpg", "pair_004.jpg"}},
        {ExtractMode::Odd, {"pair_001.jpg", "pair_003.jpg"}},
        {ExtractMode::Even, {"pair_002.jpg", "pair_004.jpg"}},
    };
    for (const auto& c : cases) {
        FourImages f;
        f.job.selection = c.mode;
        EXPECT_EQ(ExtractImages(f.job, f.index), static_cast<int>(c.files.size()));
        ASSERT_EQ(f.Written(), c.files);
        for (const auto& name : c.files) {
            const int n = std::stoi(name.substr(5, 3));
            EXPECT_EQ(testing::ReadBytes(f.job.folder + name), f.images[n - 1]) << name;
        }
    }
}

TEST(ExtractImages, ReplacesAnExistingFileOfTheSameName) {
    FourImages f;
    testing::WriteBytes(f.job.folder + "pair_002.jpg", Bytes(50000, 7));
    f.job.selection = ExtractMode::Even;
    ExtractImages(f.job, f.index);
    EXPECT_EQ(testing::ReadBytes(f.job.folder + "pair_002.jpg"), f.images[1]);
}

TEST(ExtractImages, AFailedImageLeavesNoPartialFileAndKeepsEarlierOnes) {
    FourImages f;
    // The source shrinks after the scan: image 3 can only be read in part.
    const auto cut = static_cast<std::uintmax_t>(f.index.ImageOffsets[3] + 10);
    std::filesystem::resize_file(f.job.source, cut);
    try {
        ExtractImages(f.job, f.index);
        FAIL() << "no error raised";
    } catch (const InOutError& e) {
        EXPECT_STREQ(e.what(), "Read beyond end of file");
    }
    EXPECT_EQ(f.Written(), (std::vector<std::string>{"pair_001.jpg", "pair_002.jpg"}));
}

TEST(ExtractImages, AMissingOutputFolderFailsWithoutWritingAnything) {
    FourImages f;
    f.job.folder = (f.dir.Path() / "absent" / "").string();
    EXPECT_THROW(ExtractImages(f.job, f.index), InOutError);
    EXPECT_EQ(f.Written(), std::vector<std::string>{});
}

TEST(ExtractImages, ASingleImageRunsToTheEndOfTheFile) {
    TempDir dir;
    const ExtractJob job{dir / "one.mpo", dir.Folder()};
    Bytes content = {1, 2, 3};
    const Bytes image = samples::SampleStereoImage(0);
    content.insert(content.end(), image.begin(), image.end());
    testing::WriteBytes(job.source, content);
    ImageIndex index;
    ScanListener quiet;
    ScanImageOffsets(index, job.source, {}, quiet);
    ExtractImages(job, index);
    EXPECT_EQ(testing::ReadBytes(dir / "one_001.jpg"), image);
}

TEST(AtomicOutputFile, LeavesNothingBehindWithoutCommit) {
    TempDir dir;
    {
        AtomicOutputFile out(dir / "x.jpg");
        out.Write("abc", 3);
        // Until it is committed the file has no name, or a hidden one of its own.
        for (const std::string& name : testing::FileNames(dir.Path())) EXPECT_EQ(name.rfind(".x.jpg.part-", 0), 0u) << name;
    }
    EXPECT_TRUE(testing::FileNames(dir.Path()).empty());
    testing::WriteBytes(dir / "x.jpg", {9});  // replaced: on Linux linked under a temporary name first
    {
        AtomicOutputFile out(dir / "x.jpg");
        out.Write("abc", 3);
        out.Commit();
    }
    EXPECT_EQ(testing::ReadBytes(dir / "x.jpg"), (Bytes{'a', 'b', 'c'}));
    std::filesystem::remove(dir / "x.jpg");
    {
        AtomicOutputFile out(dir / "x.jpg");
        out.Write("abc", 3);
        out.Commit();
    }
    EXPECT_EQ(testing::FileNames(dir.Path()), std::vector<std::string>{"x.jpg"});
}

TEST(CopyImageToFile, ReadsAReadOnlySource) {
    FourImages f;
    std::filesystem::permissions(f.job.source, std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::group_read);
    CopyImageToFile(f.job.source, f.index, 4, f.dir / "last.jpg");
    EXPECT_EQ(testing::ReadBytes(f.dir / "last.jpg"), f.images[3]);
    EXPECT_EQ(ReadImageBytes(f.job.source, f.index, 2), f.images[1]);
}

}  // namespace
}  // namespace veltrane
