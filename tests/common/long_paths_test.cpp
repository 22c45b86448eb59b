// SPDX-License-Identifier: GPL-3.0-or-later
// Paths beyond MAX_PATH: the extended-length form that Windows file functions get. The split
// at the end of a long path is in tests/split.
#include <gtest/gtest.h>

#include "core/common/native_path.h"
#include "core/common/unicode_text.h"

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

}  // namespace
}  // namespace veltrane
