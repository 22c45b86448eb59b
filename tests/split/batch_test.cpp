// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/images/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/cli/command_line.h"
#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/extraction.h"
#include "core/images/scanner.h"
#include "core/metadata/exif_rows.h"
#include "tests/support/long_paths.h"
#include "tests/support/run_command_line.h"
#include "tests/support/script_names.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane {
namespace {

using testing::Bytes;
using testing::CurrentFolderGuard;
using testing::RunResult;
using testing::RunVeltrane;
using testing::TempDir;


const std::string kSep(1, kPathSeparator);

TEST(BatchJob, FollowsTheGrammar) {
    struct Case {
        std::vector<std::string> params;
        ExtractMode mode;
        std::string folder;
    };
    const std::string here = (std::filesystem::current_path() / "").string();
    const Case cases[] = {
        {{"a.mpo"}, ExtractMode::All, here},
        {{"a.mpo", "ODD"}, ExtractMode::Odd, ""},
        {{"a.mpo", "even"}, ExtractMode::Even, ""},
        {{"a.mpo", "out"}, ExtractMode::All, "out" + kSep},
        {{"a.mpo", "out" + kSep}, ExtractMode::All, "out" + kSep},
        {{"a.mpo", "out", "EVEN"}, ExtractMode::Even, "out" + kSep},
        {{"a.mpo", "out", "sideways"}, ExtractMode::All, "out" + kSep},
        {{"a.mpo", "odd", "all"}, ExtractMode::All, ""},
        {{"a.mpo", "odd", "Even"}, ExtractMode::Even, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params.back());
        const ExtractJob job = BatchJob(c.params);
        EXPECT_EQ(job.source, "a.mpo");
        EXPECT_EQ(job.selection, c.mode);
        EXPECT_EQ(job.folder, c.folder);
    }
}

class BatchSplit : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) images.push_back(samples::SampleStereoImage(i % 2));
        images[2].push_back(0x42);  // make the images tell apart
        source = dir / "trip.mpo";
        testing::WriteBytes(source, samples::JoinImages(images));
        std::filesystem::create_directory(dir.Path() / "out");
        std::filesystem::create_directory(dir.Path() / "cwd");
    }
    std::vector<std::string> Files(const std::string& sub) const {
        return testing::FileNames(dir.Path() / sub);
    }
    TempDir dir;
    std::vector<Bytes> images;
    std::string source;
};

TEST_F(BatchSplit, AFileAloneWritesEveryImageNextToIt) {
    CurrentFolderGuard cwd(dir.Path() / "cwd");
    const RunResult r = RunVeltrane({source});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Files(""), (std::vector<std::string>{"cwd", "out", "trip.mpo", "trip_001.jpg",
                                                   "trip_002.jpg", "trip_003.jpg", "trip_004.jpg"}));
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(testing::ReadBytes(dir / ("trip_00" + std::to_string(n) + ".jpg")), images[n - 1]);
}

TEST_F(BatchSplit, AModeWordWritesIntoTheCurrentFolder) {
    CurrentFolderGuard cwd(dir.Path() / "cwd");
    EXPECT_EQ(RunVeltrane({source, "ODD"}).status, 0);
    EXPECT_EQ(Files("cwd"), (std::vector<std::string>{"trip_001.jpg", "trip_003.jpg"}));
    EXPECT_EQ(RunVeltrane({source, "odd", "all"}).status, 0);
    EXPECT_EQ(Files("cwd").size(), 4u);
}

TEST_F(BatchSplit, AFolderAndAModeWordWriteThoseImagesIntoTheFolder) {
    const std::string out = (dir.Path() / "out").string();
    EXPECT_EQ(RunVeltrane({source, out, "EVEN"}).status, 0);
    EXPECT_EQ(Files("out"), (std::vector<std::string>{"trip_002.jpg", "trip_004.jpg"}));
    EXPECT_EQ(RunVeltrane({source, out + kSep, "whatever"}).status, 0);
    EXPECT_EQ(Files("out").size(), 4u);
    EXPECT_EQ(testing::ReadBytes(out + kSep + "trip_003.jpg"), images[2]);
}

TEST_F(BatchSplit, ARelativeFileNameWritesNextToTheFile) {
    CurrentFolderGuard cwd(dir.Path());
    EXPECT_EQ(RunVeltrane({"trip.mpo"}).status, 0);
    EXPECT_EQ(Files("").size(), 7u);
}

// A file at the end of a path of 400 characters splits like any other, next to itself and into
// a folder; Windows takes such paths only in the extended-length form, in which the program
// resolves "." and ".." (and / there) itself.
TEST_F(BatchSplit, SplitsAFileAtTheEndOfAPathOf400Characters) {
    const std::string top = dir / "long";
    ASSERT_TRUE(CreateOwnFolder(top));
    const std::string deep = testing::MakeLongFolder(top + kSep, 400 - 8);
    ASSERT_FALSE(deep.empty());
    const std::string mpo = deep + "trip.mpo";
    ASSERT_GE(mpo.size(), 400u);
    testing::WriteWithFileLayer(mpo, testing::ReadWithFileLayer(source));
    ASSERT_TRUE(CreateOwnFolder(deep + "out"));

    RunResult r = RunVeltrane({mpo});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string spelt = deep + "out" + kSep + ".." + kSep + "." + kSep + "trip.mpo";
    r = RunVeltrane({spelt, deep + "out" + kSep + "." + kSep + ".." + kSep + "out/", "even"});
    EXPECT_EQ(r.status, 0) << r.err;

    auto sorted = [](std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(sorted(FolderEntryNames(deep)), (std::vector<std::string>{"out", "trip.mpo", "trip_001.jpg",
                                                                        "trip_002.jpg", "trip_003.jpg", "trip_004.jpg"}));
    EXPECT_EQ(sorted(FolderEntryNames(deep + "out")), (std::vector<std::string>{"trip_002.jpg", "trip_004.jpg"}));
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(testing::ReadWithFileLayer(deep + "trip_00" + std::to_string(n) + ".jpg"), images[n - 1]) << n;
    EXPECT_EQ(testing::ReadWithFileLayer(deep + "out" + kSep + "trip_004.jpg"), images[3]);
    EXPECT_TRUE(RemoveTree(top));
}

// Paths reach the core in UTF-8 on every platform. For each script: the split next to the file
// and into a named folder, the list, and a preview copy in a temporary folder of that name.
TEST_F(BatchSplit, SplitsListsAndPreviewsInFoldersOfEveryScript) {
    for (const testing::ScriptName& script : testing::kScriptNames) {
        SCOPED_TRACE(script.script);
        const std::filesystem::path folder = dir.Path() / testing::PathFromUtf8(script.name);
        const std::filesystem::path named = folder / testing::PathFromUtf8(script.name);
        std::filesystem::create_directories(named);
        std::filesystem::copy_file(source, folder / "trip.mpo");
        const std::string mpo = testing::Utf8Path(folder / "trip.mpo");

        RunResult r = RunVeltrane({mpo});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(testing::ReadBytes(folder / "trip_004.jpg"), images[3]);

        r = RunVeltrane({mpo, testing::Utf8Path(named), "even"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(testing::FileNames(named), (std::vector<std::string>{"trip_002.jpg", "trip_004.jpg"}));

        r = RunVeltrane({"--list", mpo});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;

        // The preview: a copy of one image in the temporary folder, which the EXIF window reads.
        const testing::TempFolderOverride temp(named);
        ASSERT_EQ(TempFolder(), testing::Utf8Path(named) + kSep);
        ImageIndex index;
        ScanListener quiet;
        ASSERT_GT(ScanImageOffsets(index, mpo, {}, quiet), 0);
        const std::string preview = TempFolder() + "vltr1.jpg";
        CopyImageToFile(mpo, index, 2, preview);
        EXPECT_EQ(testing::ReadBytes(named / "vltr1.jpg"), images[1]);
        EXPECT_EQ(exif::ExifWindowRows(preview, "", {})[3].Value, "Sample Stereo Camera");
    }
}

TEST_F(BatchSplit, FailuresNameTheFileAndTheCause) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {"a missing input file", {dir / "absent.mpo"}, "absent.mpo: File not found"},
        {"a missing output folder", {source, dir / "nowhere"}, "trip_001.jpg: File not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = RunVeltrane(c.args);
        EXPECT_EQ(r.status, kExitFailure);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(Files("out"), std::vector<std::string>{});
}

TEST_F(BatchSplit, AFileWithoutImagesWritesNothingAndSucceeds) {
    testing::WriteBytes(dir / "empty.mpo", Bytes(1000, 0));
    const RunResult r = RunVeltrane({dir / "empty.mpo", (dir.Path() / "out").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Files("out").empty());
}

TEST_F(BatchSplit, ListsTheEntriesOfEveryImage) {
    const RunResult r = RunVeltrane({"--list", source});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, " Image 001:  0 K\n Image 002:  0 K\n Image 003:  0 K\n Image 004:  0 K\n");
}

TEST(CommandLine, AnswersHelpVersionAndWrongUse) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* inOut;
        const char* inErr;
    };
    const Case cases[] = {
        {{"--version"}, 0, "Veltrane 1.1\nLicense GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n", ""},
        {{"--help"}, 0, "veltrane FILE [FOLDER | odd | even] [odd | even | WORD]", ""},
        {{"--bogus"}, 2, "", "unknown option --bogus"},
        {{"a", "b", "c", "d"}, 2, "", "too many arguments"},
        {{"--list"}, 2, "", "--list takes one file"},
        {{}, 2, "", "no file given"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunVeltrane(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.out.find(c.inOut), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
    }
}

// Many small images through the copying thread give the same files as one at a time.
TEST(ScanAndExtract, ThePipelineWritesWhatSequentialExtractionWrites) {
    TempDir dir;
    std::vector<Bytes> images;
    for (int i = 0; i < 60; ++i) {
        images.push_back(samples::SampleStereoImage(i % 2));
        images.back().push_back(static_cast<std::uint8_t>(i));
    }
    const ExtractJob job = BatchJob({dir / "many.mpo", dir.Folder(), "even"});
    testing::WriteBytes(job.source, samples::JoinImages(images));
    class Quiet : public ScanListener {
    public:
        void ImageComplete(int, std::int64_t) override { ++lines; }
        int lines = 0;
    } listener;
    ImageIndex index;
    const BatchOutcome outcome = ScanAndExtract(job, index, {}, listener);
    EXPECT_EQ(outcome.imagesFound, 60);
    EXPECT_EQ(outcome.filesWritten, 30);
    EXPECT_EQ(listener.lines, 60);
    for (int n = 2; n <= 60; n += 2)
        ASSERT_EQ(testing::ReadBytes(OutputFileName(job, n)), images[n - 1]) << n;
    EXPECT_EQ(testing::FileNames(dir.Path()).size(), 31u);
}

// Small images are written from the bytes the scan read, also those that straddle two of its
// chunks; when one cannot be written the folder holds exactly the images before it, each whole.
TEST(ScanAndExtract, SmallImagesFromTheScansBytesLeaveACleanPrefixWhenOneFails) {
    TempDir dir;
    std::vector<Bytes> images;
    for (int i = 0; i < 12; ++i) {
        images.push_back(samples::SampleStereoImage(i % 2));
        images.back().resize(images.back().size() + 1500 * static_cast<std::size_t>(i), static_cast<std::uint8_t>(i));
    }
    const ExtractJob job = BatchJob({dir / "small.mpo", (dir.Path() / "out").string()});
    testing::WriteBytes(job.source, samples::JoinImages(images));
    ASSERT_GT(std::filesystem::file_size(job.source), 2 * kScanChunkSize);
    std::filesystem::create_directories(dir.Path() / "out" / "small_007.jpg");  // cannot be replaced
    const std::vector<std::string> prefix = {"small_001.jpg", "small_002.jpg", "small_003.jpg",
                                             "small_004.jpg", "small_005.jpg", "small_006.jpg", "small_007.jpg"};
    for (int round = 0; round < 10; ++round) {
        ImageIndex index;
        ScanListener quiet;
        try {
            ScanAndExtract(job, index, {}, quiet);
            ADD_FAILURE() << "the run did not fail";
        } catch (const InOutError& e) {
            EXPECT_NE(e.FileName().find("small_007.jpg"), std::string::npos);
        }
        ASSERT_EQ(testing::FileNames(dir.Path() / "out"), prefix);
        for (int n = 1; n <= 6; ++n) {
            ASSERT_EQ(testing::ReadBytes(OutputFileName(job, n)), images[static_cast<std::size_t>(n - 1)]) << n;
            std::filesystem::remove(OutputFileName(job, n));
        }
    }
}

// Offsets beyond 2 GiB: a sparse file costs no disk space.
TEST(ScanAndExtract, SplitsFilesOfMoreThanTwoGibibytes) {
    TempDir dir;
    const std::string path = dir / "huge.mpo";
    const std::int64_t first = (std::int64_t{1} << 31) + 100;
    const Bytes a = samples::SampleStereoImage(0), b = samples::SampleStereoImage(1);
    const std::int64_t second = first + static_cast<std::int64_t>(a.size());
    {
        std::ofstream f(path, std::ios::binary);
        f.seekp(first);
        f.write(reinterpret_cast<const char*>(a.data()), static_cast<std::streamsize>(a.size()));
        f.seekp(second);
        f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        ASSERT_TRUE(f.good());
    }
    class Sizes : public ScanListener {
    public:
        void ImageComplete(int, std::int64_t sizeInBytes) override { sizes.push_back(sizeInBytes); }
        std::vector<std::int64_t> sizes;
    } listener;
    ImageIndex index;
    ScanAndExtract(BatchJob({path, dir.Folder()}), index, {}, listener);
    ASSERT_EQ(index.ImageCount, 2);
    EXPECT_EQ(index.ImageOffsets[1], first);
    EXPECT_EQ(index.ImageOffsets[2], second);
    EXPECT_EQ(listener.sizes[0], second - first);
    EXPECT_EQ(testing::ReadBytes(dir / "huge_001.jpg"), a);
    EXPECT_EQ(testing::ReadBytes(dir / "huge_002.jpg"), b);
}

}  // namespace
}  // namespace veltrane
