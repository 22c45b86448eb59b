// SPDX-License-Identifier: GPL-3.0-or-later
// Several files in one run: each split into its own folder, failures counted and named without
// stopping the others, and the summary line.
#include "core/images/split_each.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <sstream>

#include "core/cli/command_line.h"
#include "tests/support/run_command_line.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"
#include "tools/samples/phone_photos.h"

namespace veltrane {
namespace {

using testing::Bytes;
using testing::RunResult;
using testing::TempDir;

RunResult RunVeltrane(const std::vector<std::string>& args) {
    CommandLineServices services;
    services.ProgressOnTerminal = true;  // a run this short shows no progress line all the same
    return testing::RunVeltrane(args, services);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Two folders with a four-image file each ("a b.mpo" in "one", "c.mpo" in "two") and a third
// folder to run from.
class SplitEach : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) images.push_back(samples::SampleStereoImage(i % 2));
        images[2].push_back(0x42);
        for (const char* sub : {"one", "two", "cwd"})
            std::filesystem::create_directory(dir.Path() / sub);
        first = (dir.Path() / "one" / "a b.mpo").string();
        second = (dir.Path() / "two" / "c.mpo").string();
        testing::WriteBytes(first, samples::JoinImages(images));
        testing::WriteBytes(second, samples::JoinImages(images));
    }
    std::vector<std::string> Files(const std::string& sub) const {
        return testing::FileNames(dir.Path() / sub);
    }
    TempDir dir;
    std::vector<Bytes> images;
    std::string first, second;
};

TEST_F(SplitEach, WritesEachFilesImagesBesideItWhateverTheModeWord) {
    struct Case {
        std::vector<std::string> words;  // before the files
        std::vector<int> numbers;        // of the images written
        const char* summary;
    };
    const Case cases[] = {
        {{}, {1, 2, 3, 4}, "2 files split, 8 images written, 0 failed\n"},
        {{"odd"}, {1, 3}, "2 files split, 4 images written, 0 failed\n"},
        {{"EVEN", "--"}, {2, 4}, "2 files split, 4 images written, 0 failed\n"},
        {{"--"}, {1, 2, 3, 4}, "2 files split, 8 images written, 0 failed\n"},
    };
    testing::CurrentFolderGuard cwd(dir.Path() / "cwd");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary + std::to_string(c.words.size()));
        std::vector<std::string> args = {"--each"};
        args.insert(args.end(), c.words.begin(), c.words.end());
        args.push_back(first);
        args.push_back("../two/c.mpo");  // relative to the current folder
        const RunResult r = RunVeltrane(args);
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.out, c.summary);
        EXPECT_EQ(r.err, "");
        std::vector<std::string> one = {"a b.mpo"}, two = {"c.mpo"};
        for (int n : c.numbers) {
            one.push_back("a b_00" + std::to_string(n) + ".jpg");
            two.push_back("c_00" + std::to_string(n) + ".jpg");
            EXPECT_EQ(testing::ReadBytes(dir.Path() / "two" / two.back()), images[n - 1]);
        }
        EXPECT_EQ(Files("one"), one);
        EXPECT_EQ(Files("two"), two);
        EXPECT_EQ(Files("cwd"), std::vector<std::string>{});
        for (const char* sub : {"one", "two"})
            for (const auto& e : std::filesystem::directory_iterator(dir.Path() / sub))
                if (e.path().extension() == ".jpg") std::filesystem::remove(e.path());
    }
}

// Phone photos: the summary counts their images (as --list has them) and their other parts apart,
// one file alone (the pipelined split) or several.
TEST_F(SplitEach, CountsOtherPartsApartFromImages) {
    const std::string hdr = dir.Write("hdr.jpg", samples::ContainerMotionPhoto(true).file);
    const std::string samsung = dir.Write("samsung.jpg", samples::SamsungMotionPhoto().file);
    struct Case {
        std::vector<std::string> args;
        const char* summary;
    };
    const Case cases[] = {
        {{hdr}, "1 file split, 2 images and 1 other part written, 0 failed\n"},
        {{samsung}, "1 file split, 1 image and 2 other parts written, 0 failed\n"},
        {{hdr, samsung, first}, "3 files split, 7 images and 3 other parts written, 0 failed\n"},
        {{"odd", hdr, samsung}, "2 files split, 2 images written, 0 failed\n"},
        {{"even", hdr}, "1 file split, 1 image written, 0 failed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        std::vector<std::string> args = {"--each"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = RunVeltrane(args);
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.out, c.summary);
    }
}

TEST_F(SplitEach, GoesOnPastFailuresAndNamesEachOfThem) {
    const std::string missing = dir / "missing.mpo";
    const std::string folder = (dir.Path() / "cwd").string();
    const RunResult r = RunVeltrane({"--each", "odd", missing, first, folder, first, second});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out, "2 files split, 4 images written, 2 failed\n");
    EXPECT_EQ(Lines(r.err), Lines("veltrane: " + missing + ": File not found\nveltrane: " +
                                  folder + ": File not found\n"));
    EXPECT_EQ(Files("one").size(), 3u);
    EXPECT_EQ(Files("two").size(), 3u);
}

TEST_F(SplitEach, RefusesARunWithoutFiles) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--each"}, {"--each", "odd"}, {"--each", "Even", "--"}}) {
        SCOPED_TRACE(args.size());
        const RunResult r = RunVeltrane(args);
        EXPECT_EQ(r.status, kExitUsage);
        EXPECT_EQ(r.err, "veltrane: --each needs at least one file\nTry 'veltrane --help'.\n");
    }
    // After "--" a file may be called like a mode word.
    std::filesystem::copy_file(first, dir.Path() / "cwd" / "odd");
    testing::CurrentFolderGuard cwd(dir.Path() / "cwd");
    const RunResult r = RunVeltrane({"--each", "--", "odd"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(Files("cwd").size(), 5u);
}

// Many small files over several workers: every file is reported once, the totals add up.
TEST_F(SplitEach, ReportsEveryFileOnceFromEveryWorker) {
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
        std::string name = "f";
        name += std::to_string(i);
        name += ".mpo";
        files.push_back(dir / name);
        testing::WriteBytes(files.back(), samples::JoinImages({images[0], images[1]}));
    }
    files.push_back(dir / "missing.mpo");
    class Recorder : public EachListener {
    public:
        void FileFinished(const EachFileOutcome& outcome, const EachTotals&) override {
            std::lock_guard lock(mutex);
            positions.push_back(outcome.position);
            if (outcome.failed) failures.push_back(outcome.failedFile + ": " + outcome.cause);
        }
        std::mutex mutex;
        std::vector<std::size_t> positions;
        std::vector<std::string> failures;
    } recorder;
    for (unsigned workers : {1u, 2u, 7u}) {
        SCOPED_TRACE(workers);
        recorder.positions.clear();
        recorder.failures.clear();
        const EachTotals totals = SplitEachBesideItself(files, ExtractMode::Even, {}, recorder, workers);
        EXPECT_EQ(totals.files, files.size());
        EXPECT_EQ(totals.filesSplit, 40);
        EXPECT_EQ(totals.imagesWritten, 40);
        EXPECT_EQ(totals.failures, 1);
        std::sort(recorder.positions.begin(), recorder.positions.end());
        ASSERT_EQ(recorder.positions.size(), files.size());
        for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(recorder.positions[i], i);
        EXPECT_EQ(recorder.failures, std::vector<std::string>{files.back() + ": File not found"});
        EXPECT_EQ(testing::ReadBytes(dir / "f39_002.jpg"), images[1]);
    }
    EXPECT_EQ(EachWorkerCount(1, 0), 1u);
    EXPECT_EQ(EachWorkerCount(100, 3), 3u);
    EXPECT_GE(EachWorkerCount(100, 0), 1u);
}

}  // namespace
}  // namespace veltrane
