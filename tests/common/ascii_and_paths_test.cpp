// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "core/common/ascii.h"
#include "core/common/native_path.h"
#include "tests/support/temp_dir.h"

namespace veltrane {
namespace {

TEST(AsciiCase, ChangesOnlyTheAsciiLetters) {
    struct Case { std::string_view text, lower, upper; };
    const Case cases[] = {
        {"Trip.MPO", "trip.mpo", "TRIP.MPO"},
        {"@[`{ 09", "@[`{ 09", "@[`{ 09"},  // the neighbours of the letter ranges
        {"caf\xE9 \xC9T\xC9", "caf\xE9 \xC9t\xC9", "CAF\xE9 \xC9T\xC9"},  // Windows-1252 letters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(LowerAscii(c.text), c.lower);
        EXPECT_EQ(UpperAscii(c.text), c.upper);
        EXPECT_TRUE(EqualIgnoringAsciiCase(c.lower, c.upper));
    }
    EXPECT_FALSE(EqualIgnoringAsciiCase("even", "evens"));
    EXPECT_FALSE(EqualIgnoringAsciiCase("\xE9", "\xC9"));
}

TEST(IsExistingFile, HoldsForRegularFilesOnly) {
    testing::TempDir dir;
    struct Case { std::string path; PathKind kind; };
    const std::vector<Case> cases = {
        {dir.Write("image.jpg", testing::Bytes(3, 0)), PathKind::File},
        {dir.Path().string(), PathKind::Directory},
        {dir / "missing.jpg", PathKind::Missing},
#ifndef _WIN32
        {"/dev/null", PathKind::Other},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(KindOf(c.path), c.kind);
        EXPECT_EQ(IsExistingFile(c.path), c.kind == PathKind::File);
    }
}

TEST(CreateOwnFolder, MakesAFolderForTheUserAloneAndUsesNoFileOrLinkInstead) {
    testing::TempDir dir;
    const std::string folder = dir / "run";
    EXPECT_TRUE(CreateOwnFolder(folder));
    EXPECT_TRUE(CreateOwnFolder(folder));  // there already, and the user's
    EXPECT_TRUE(IsOwnFolder(folder));
    EXPECT_FALSE(CreateOwnFolder(dir.Write("file", testing::Bytes{1})));
    EXPECT_FALSE(CreateOwnFolder((dir.Path() / "missing" / "run").string()));
#ifndef _WIN32
    namespace fs = std::filesystem;
    const fs::perms others = fs::perms::group_all | fs::perms::others_all;
    EXPECT_EQ(fs::status(folder).permissions() & others, fs::perms::none);
    fs::create_directory_symlink(folder, dir / "link");
    EXPECT_FALSE(CreateOwnFolder(dir / "link"));
    EXPECT_FALSE(IsOwnFolder(dir / "link"));
#endif
}

}  // namespace
}  // namespace veltrane
