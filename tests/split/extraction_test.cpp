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

class NullListener : public ScanListener {
public:
    void AppendListLine(const std::string&) override {}
    void ProcessPendingEvents() override {}
};

class FakePicker : public FolderPicker {
public:
    explicit FakePicker(std::string answer) : answer_(std::move(answer)) {}
    std::string BrowseForFolder(const std::string& title, const std::string& initial, bool allowNew) override {
        ++calls;
        lastTitle = title;
        lastInitial = initial;
        lastAllowNew = allowNew;
        return answer_;
    }
    int calls = 0;
    std::string lastTitle, lastInitial;
    bool lastAllowNew = false;

private:
    std::string answer_;
};

// Four distinct sample images joined into one MPO file, scanned into an index.
struct FourImages {
    TempDir dir;
    std::vector<Bytes> images;
    ImageIndex index;

    FourImages() {
        for (int i = 0; i < 4; ++i) {
            samples::SampleExif exif;
            exif.model = "Camera " + std::to_string(i);
            images.push_back(samples::SampleStereoImage(i % 2, exif));
        }
        index.SourceFileName = dir / "pair.mpo";
        testing::WriteBytes(index.SourceFileName, samples::JoinImages(images));
        NullListener listener;
        ScanImageOffsets(index, index.SourceFileName, ImageSignature, listener);
        std::filesystem::create_directory(dir.Path() / "out");
        index.OutputFolder = (dir.Path() / "out" / "").string();
    }
    std::vector<std::string> Written() const { return testing::FileNames(dir.Path() / "out"); }
};

TEST(IsImageSelected, FollowsTheModeWordBeforeTheButtons) {
    struct Case { const char* word; ModeButton button; std::vector<int> selected; };
    const Case cases[] = {
        {"", ModeButton::All, {1, 2, 3, 4}},
        {"", ModeButton::Odd, {1, 3}},
        {"", ModeButton::Even, {2, 4}},
        {"odd", ModeButton::All, {1, 3}},
        {"Odd", ModeButton::Even, {1, 3}},
        {"ODD", ModeButton::All, {1, 3}},
        {"eVeN", ModeButton::Odd, {2, 4}},
        {"all", ModeButton::Odd, {1, 2, 3, 4}},
        {"sideways", ModeButton::Even, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("word '") + c.word + "'");
        ImageIndex index;
        index.ExtractMode = c.word;
        std::vector<int> got;
        for (int n = 1; n <= 4; ++n)
            if (IsImageSelected(index, n, c.button)) got.push_back(n);
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
        ImageIndex index;
        index.OutputFolder = c.folder;
        index.SourceFileName = std::string("photos") + sep + c.source;
        EXPECT_EQ(OutputFileName(index, c.n), c.name);
    }
    ImageIndex index;
    index.SourceFileName = "pair.mpo";
    index.OutputFolder = "out" + sep;
    EXPECT_EQ(OutputFileName(index, 3), "out" + sep + "pair_003.jpg");
    EXPECT_EQ(WithTrailingSeparator("out"), "out" + sep);
    EXPECT_EQ(WithTrailingSeparator("out" + sep), "out" + sep);
    EXPECT_EQ(WithTrailingSeparator(""), "");
}

TEST(ExtractImages, WritesTheSelectedImagesByteForByte) {
    struct Case { ModeButton button; std::vector<std::string> files; };
    const Case cases[] = {
        {ModeButton::All, {"pair_001.jpg", "pair_002.jpg", "pair_003.jpg", "pair_004.jpg"}},
        {ModeButton::Odd, {"pair_001.jpg", "pair_003.jpg"}},
        {ModeButton::Even, {"pair_002.jpg", "pair_004.jpg"}},
    };
    for (const auto& c : cases) {
        FourImages f;
        EXPECT_EQ(ExtractImages(f.index, c.button), static_cast<int>(c.files.size()));
        ASSERT_EQ(f.Written(), c.files);
        for (const auto& name : c.files) {
            const int n = std::stoi(name.substr(5, 3));
            EXPECT_EQ(testing::ReadBytes(f.index.OutputFolder + name), f.images[n - 1]) << name;
        }
    }
}

TEST(ExtractImages, ReplacesAnExistingFileOfTheSameName) {
    FourImages f;
    testing::WriteBytes(f.index.OutputFolder + "pair_002.jpg", Bytes(50000, 7));
    ExtractImages(f.index, ModeButton::Even);
    EXPECT_EQ(testing::ReadBytes(f.index.OutputFolder + "pair_002.jpg"), f.images[1]);
}

TEST(ExtractImages, AFailedImageLeavesNoPartialFileAndKeepsEarlierOnes) {
    FourImages f;
    // The source shrinks after the scan: image 3 can only be read in part.
    const auto cut = static_cast<std::uintmax_t>(f.index.ImageOffsets[3] + 10);
    std::filesystem::resize_file(f.index.SourceFileName, cut);
    try {
        ExtractImages(f.index, ModeButton::All);
        FAIL() << "no error raised";
    } catch (const InOutError& e) {
        EXPECT_STREQ(e.what(), "Read beyond end of file");
    }
    EXPECT_EQ(f.Written(), (std::vector<std::string>{"pair_001.jpg", "pair_002.jpg"}));
}

TEST(ExtractImages, AMissingOutputFolderFailsWithoutWritingAnything) {
    FourImages f;
    f.index.OutputFolder = (f.dir.Path() / "absent" / "").string();
    EXPECT_THROW(ExtractImages(f.index, ModeButton::All), InOutError);
    EXPECT_EQ(f.Written(), std::vector<std::string>{});
}

TEST(ExtractImages, ASingleImageRunsToTheEndOfTheFile) {
    TempDir dir;
    ImageIndex index;
    index.SourceFileName = dir / "one.mpo";
    Bytes content = {1, 2, 3};
    const Bytes image = samples::SampleStereoImage(0);
    content.insert(content.end(), image.begin(), image.end());
    testing::WriteBytes(index.SourceFileName, content);
    NullListener listener;
    ScanImageOffsets(index, index.SourceFileName, ImageSignature, listener);
    index.OutputFolder = dir.Folder();
    ExtractImages(index, ModeButton::All);
    EXPECT_EQ(testing::ReadBytes(dir / "one_001.jpg"), image);
}

TEST(RunExtractCommand, AsksForTheFolderOnlyWithoutParameters) {
    FourImages f;
    FakePicker picker(f.index.OutputFolder.substr(0, f.index.OutputFolder.size() - 1));
    f.index.OutputFolder.clear();
    EXPECT_EQ(RunExtractCommand(f.index, ModeButton::Odd, false, picker), 2);
    EXPECT_EQ(picker.calls, 1);
    EXPECT_EQ(picker.lastTitle, "Select output folder");
    EXPECT_EQ(picker.lastInitial, std::filesystem::current_path().string());
    EXPECT_TRUE(picker.lastAllowNew);
    EXPECT_EQ(f.Written(), (std::vector<std::string>{"pair_001.jpg", "pair_003.jpg"}));

    FakePicker unused("");
    f.index.OutputFolder = (f.dir.Path() / "out" / "").string();
    EXPECT_EQ(RunExtractCommand(f.index, ModeButton::All, true, unused), 4);
    EXPECT_EQ(unused.calls, 0);
}

TEST(RunExtractCommand, CancellingTheFolderChoiceWritesNothing) {
    FourImages f;
    FakePicker cancel("");
    EXPECT_EQ(RunExtractCommand(f.index, ModeButton::All, false, cancel), 0);
    EXPECT_EQ(cancel.calls, 1);
    EXPECT_TRUE(f.Written().empty());
    f.index.ImageCount = 0;  // with no image the folder is still asked for
    EXPECT_EQ(RunExtractCommand(f.index, ModeButton::All, false, cancel), 0);
    EXPECT_EQ(cancel.calls, 2);
}

TEST(AtomicOutputFile, LeavesNothingBehindWithoutCommit) {
    TempDir dir;
    {
        AtomicOutputFile out(dir / "x.jpg");
        out.Write("abc", 3);
    }
    EXPECT_TRUE(testing::FileNames(dir.Path()).empty());
    {
        AtomicOutputFile out(dir / "x.jpg");
        out.Write("abc", 3);
        out.Commit();
    }
    EXPECT_EQ(testing::FileNames(dir.Path()), std::vector<std::string>{"x.jpg"});
}

TEST(CopyImageToFile, ReadsAReadOnlySource) {
    FourImages f;
    std::filesystem::permissions(f.index.SourceFileName, std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::group_read);
    CopyImageToFile(f.index, 4, f.dir / "last.jpg");
    EXPECT_EQ(testing::ReadBytes(f.dir / "last.jpg"), f.images[3]);
    EXPECT_EQ(ReadImageBytes(f.index, 2), f.images[1]);
}

}  // namespace
}  // namespace veltrane
