// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "core/common/file_io.h"
#include "core/window/temp_files.h"
#include "tests/support/temp_dir.h"

namespace veltrane::window::test {
namespace {

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

TEST(TempFiles, EachRunHasAFolderNamedAfterItsProcess) {
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(RunFolder("/tmp" + sep, 1234), "/tmp" + sep + "veltrane-1234" + sep);
    struct Case {
        const char* name;
        std::int64_t process;
    };
    const Case cases[] = {
        {"veltrane-1234", 1234}, {"veltrane-1", 1},          {"veltrane-", -1},       {"veltrane-0", -1},
        {"veltrane-012", -1},    {"veltrane-12a", -1},       {"veltrane-test-5", -1}, {"Veltrane-5", -1},
        {"vltr5.jpg", -1},       {"veltrane-1234567890123456789", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ProcessOfRunFolder(c.name), c.process);
    }
}

}  // namespace
}  // namespace veltrane::window::test
