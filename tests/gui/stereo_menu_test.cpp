// SPDX-License-Identifier: GPL-3.0-or-later
// The image list's stereo entries: shown for files of two or more images, the Stereo window
// that Show Stereo opens, and the save dialog whose file types are the layouts.
#include <QAction>
#include <QCheckBox>
#include <QImage>

#include "tests/gui/gui_test_support.h"

namespace veltrane::gui::test {
namespace {

using StereoMenu = WindowTest;

TEST_F(StereoMenu, AppearsOnlyForFilesWithAPair) {
    CreateWindow();
    EXPECT_FALSE(mainWindow->showStereoAction->isVisible());
    OpenThroughDialog(WriteMpo("one.mpo", {samples::SampleStereoImage(0)}));
    EXPECT_FALSE(mainWindow->showStereoAction->isVisible());
    EXPECT_FALSE(mainWindow->saveStereoAction->isVisible());
    OpenThroughDialog(WriteMpo("two.mpo", {samples::SampleStereoImage(0), samples::SampleStereoImage(1)}));
    EXPECT_TRUE(mainWindow->showStereoAction->isVisible());
    EXPECT_TRUE(mainWindow->saveStereoAction->isVisible());
    EXPECT_EQ(mainWindow->saveStereoAction->text(), QString::fromUtf8("Save Stereo\u2026"));
}

TEST_F(StereoMenu, ShowStereoOpensTheStereoWindowWithAnAlignedAnaglyph) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("two.mpo", {samples::SampleStereoImage(0), samples::SampleStereoImage(1)}));
    EXPECT_FALSE(stereoWindow->isVisible());
    mainWindow->showStereoAction->trigger();
    EXPECT_TRUE(stereoWindow->isVisible());
    EXPECT_EQ(stereoWindow->windowTitle(), QStringLiteral("Stereo - two.mpo"));
    const QImage shown = stereoWindow->pictureView->Picture();
    EXPECT_EQ(shown.height(), 48);  // the sample images are 64 x 48, small enough to show whole
    EXPECT_LE(shown.width(), 64);
    EXPECT_TRUE(stereoWindow->alignBox->isChecked());
    EXPECT_TRUE(desktop.OpenedFiles.empty());
    EXPECT_TRUE(messages.Errors.empty());
    mainWindow->close();  // the Stereo window closes with the main window
    EXPECT_FALSE(stereoWindow->isVisible());
}

TEST_F(StereoMenu, SaveStereoWritesTheLayoutOfTheChosenFileType) {
    CreateWindow();
    const std::string mpo = WriteMpo("trip.mpo", {samples::SampleStereoImage(0), samples::SampleStereoImage(1)});
    OpenThroughDialog(mpo);
    const std::string stem = mpo.substr(0, mpo.size() - 4);
    struct Case {
        int type;
        const char* name;  // "" cancels
        int widthFactor;   // output width against the aligned overlap: 2 side by side, 1 anaglyph
                           // and MPO (whose first image a JPEG reader reads)
    };
    for (const Case& c : {Case{0, "a.jps", 2}, Case{1, "b.jpg", 2}, Case{2, "c.jpg", 1}, Case{3, "d.mpo", 1}, Case{1, "", 0}}) {
        SCOPED_TRACE(c.type);
        saveDialog.ChosenType = c.type;
        saveDialog.Answer = *c.name ? files / c.name : std::string();
        const auto before = veltrane::testing::FileNames(files.Path());
        mainWindow->saveStereoAction->trigger();
        // The four layouts, then the same four fully aligned.
        const std::vector<std::string> names = {stem + ".jps", stem + "_parallel.jpg", stem + "_anaglyph.jpg",
                                                stem + "_stereo.mpo"};
        std::vector<std::string> expected = names;
        expected.insert(expected.end(), names.begin(), names.end());
        EXPECT_EQ(saveDialog.Types.size(), 8u);
        EXPECT_EQ(saveDialog.SuggestedPaths, expected);
        if (!*c.name) {
            EXPECT_EQ(veltrane::testing::FileNames(files.Path()), before);
            continue;
        }
        const QImage saved(PathFromCore(files / c.name), "JPG");
        ASSERT_FALSE(saved.isNull());
        EXPECT_EQ(saved.height(), 48);
        EXPECT_EQ(saved.width() % c.widthFactor, 0);
        EXPECT_GT(saved.width(), 64 / 2 * c.widthFactor);
    }
    EXPECT_TRUE(messages.Errors.empty());
}

}  // namespace
}  // namespace veltrane::gui::test
