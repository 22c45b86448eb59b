// Paths beyond MAX_PATH: the extended-length form that Windows file functions get, and the
// folder functions of the program (a run's temporary folder is removed with them) at the end
// of a long path, on every platform.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/common/native_path.h"
#include "core/common/unicode_text.h"
#include "tests/support/long_paths.h"
#include "tests/support/temp_dir.h"

namespace veltrane {
namespace {

TEST(ExtendedLengthPath, ResolvesWhatTheSystemWouldAndLeavesOtherFormsAlone) {
    struct Case {
        std::string path, extended;
    };
    const Case cases[] = {
        {"C:\\photos\\trip.mpo", "\\\\?\\C:\\photos\\trip.mpo"},
        {"d:/photos//2024/./old/../trip.mpo", "\\\\?\\d:\\photos\\2024\\trip.mpo"},
        {"C:\\photos\\out\\", "\\\\?\\C:\\photos\\out\\"},
        {"C:\\..\\..\\photos", "\\\\?\\C:\\photos"},  // never above the drive
        {"C:\\", "\\\\?\\C:\\"},
        {"\\\\server\\share\\photos\\..\\..\\trip.mpo", "\\\\?\\UNC\\server\\share\\trip.mpo"},
        {"//server/share/photos/", "\\\\?\\UNC\\server\\share\\photos\\"},
        // In the extended form already, device paths, and paths that are not fully qualified.
        {"\\\\?\\C:\\photos\\..\\trip.mpo", "\\\\?\\C:\\photos\\..\\trip.mpo"},
        {"\\\\?\\UNC\\server\\share\\x", "\\\\?\\UNC\\server\\share\\x"},
        {"\\\\.\\pipe\\trip", "\\\\.\\pipe\\trip"},
        {"photos\\..\\trip.mpo", "photos\\..\\trip.mpo"},
        {"C:trip.mpo", "C:trip.mpo"},
        {"\\photos\\trip.mpo", "\\photos\\trip.mpo"},
        {"\\\\server", "\\\\server"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtendedLengthPath(c.path), c.extended);
    }
}

#ifdef _WIN32
TEST(WidePathForApi, IsThePathUntilItIsLongThenTheExtendedFormOfTheFullPath) {
    EXPECT_EQ(WidePathForApi("C:\\photos/trip.mpo"), L"C:\\photos/trip.mpo");
    const std::string atLimit = "C:\\" + std::string(kLongPathLength - 3, 'f');
    const std::string belowLimit = atLimit.substr(0, atLimit.size() - 1);
    EXPECT_EQ(WidePathForApi(belowLimit), WideFromUtf8(belowLimit));
    EXPECT_EQ(WidePathForApi(atLimit), WideFromUtf8("\\\\?\\" + atLimit));
    // A relative path is resolved against the current folder once it is long.
    const std::string half(kLongPathLength / 2, 's');
    std::string here = CurrentFolder();
    if (here.back() != '\\') here += '\\';
    EXPECT_EQ(WidePathForApi("r\\..\\" + half + "\\" + half), WideFromUtf8("\\\\?\\" + here + half + "\\" + half));
    EXPECT_EQ(WidePathForApi("trip.mpo"), L"trip.mpo");
}
#endif

// The folder functions at the end of a path of 400 characters: Windows takes it only in the
// extended-length form, which the program builds, "." and ".." included.
TEST(FolderFunctions, ListSizeAndRemoveATreeAtTheEndOfALongPath) {
    testing::TempDir dir;
    const std::string top = dir.Folder() + "top";
    ASSERT_TRUE(CreateOwnFolder(top));
    const std::string deep = testing::MakeLongFolder(top + kPathSeparator, 400);
    ASSERT_FALSE(deep.empty());
    const std::string sep(1, kPathSeparator);
    // The same folder, spelt with "." and ".." parts (and / on Windows, where it separates too).
    const std::string spelt = deep + "inner" + sep + "." + sep + ".." + sep + "inner/";
    ASSERT_TRUE(CreateOwnFolder(deep + "inner"));
    testing::WriteWithFileLayer(spelt + "a.jpg", testing::Bytes(5, 1));
    testing::WriteWithFileLayer(deep + "b.jpg", testing::Bytes(7, 2));

    EXPECT_EQ(KindOf(deep), PathKind::Directory);
    EXPECT_TRUE(IsOwnFolder(spelt));
    EXPECT_EQ(KindOf(deep + "inner" + sep + "a.jpg"), PathKind::File);
    EXPECT_EQ(EntrySize(spelt + "a.jpg"), 5);
    EXPECT_TRUE(EntryExists(deep + "b.jpg"));
    EXPECT_FALSE(EntryExists(deep + "c.jpg"));
    EXPECT_EQ(testing::ReadWithFileLayer(deep + "b.jpg"), testing::Bytes(7, 2));
    std::vector<std::string> names = FolderEntryNames(deep);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"b.jpg", "inner"}));

    EXPECT_TRUE(RemoveTree(top + kPathSeparator));
    EXPECT_EQ(KindOf(top), PathKind::Missing);
    EXPECT_TRUE(FolderEntryNames(dir.Folder()).empty());
    EXPECT_TRUE(RemoveTree(top));  // nothing there: nothing left
}

}  // namespace
}  // namespace veltrane
