#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/window/temp_files.h"
#include "tests/support/temp_dir.h"

namespace veltrane::window::test {
namespace {

using veltrane::testing::FileNames;
using veltrane::testing::TempDir;
using veltrane::testing::WriteBytes;

// ---- temporary files ----

TEST(TempFiles, NameIsVltrAndTheTickCountWithoutPadding) {
    EXPECT_EQ(TempImageFileName("/tmp/", 0), "/tmp/vltr0.jpg");
    EXPECT_EQ(TempImageFileName("/tmp/", 4294967295u), "/tmp/vltr4294967295.jpg");
    EXPECT_EQ(TempImageFileName("C:\\Temp\\", 1234), "C:\\Temp\\vltr1234.jpg");
}

TEST(TempFiles, NewNameSkipsNamesInUse) {
    TempDir dir;
    EXPECT_EQ(NewTempImageFileName(dir.Folder(), 77), dir / "vltr77.jpg");
    WriteBytes(dir / "vltr77.jpg", {1});
    WriteBytes(dir / "vltr78.jpg", {1});
    EXPECT_EQ(NewTempImageFileName(dir.Folder(), 77), dir / "vltr79.jpg");
}

TEST(TempFiles, MaskMatchesLikeADirectorySearch) {
    struct Case {
        const char* name;
        const char* mask;
        bool matches;
    };
    const Case cases[] = {
        {"vltr123.jpg", "vltr*", true}, {"vltr", "vltr*", true},      {"avltr1.jpg", "vltr*", false},
        {"VLTR1.jpg", "vltr*", false},  {"vlt", "vltr*", false},      {"a.jpg", "*.jpg", true},
        {"a.jpeg", "*.jpg", false},     {"x1y", "x?y", true},         {"xy", "x?y", false},
        {"abcabd", "*ab?", true},       {"", "*", true},              {"", "?", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " ~ " + c.mask);
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches);
    }
}

TEST(TempFiles, DeletingByMaskLeavesOtherFilesAndFolders) {
    TempDir dir;
    for (const char* name : {"vltr1.jpg", "vltr2.jpg", "vltrx", "other.jpg"}) WriteBytes(dir / name, {1});
    std::filesystem::create_directory(dir.Path() / "vltr-folder");
    DeleteFilesByMask(dir.Folder(), "vltr*");
    EXPECT_EQ(FileNames(dir.Path()), (std::vector<std::string>{"other.jpg", "vltr-folder"}));
    DeleteFilesByMask(dir / "missing/", "vltr*");  // a missing folder is no error
}

}  // namespace
}  // namespace veltrane::window::test
