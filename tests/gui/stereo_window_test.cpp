// SPDX-License-Identifier: GPL-3.0-or-later
// The Stereo window drawn by Qt over its model and the stereo library: the slider's value
// reaches the model and the picture follows; the widgets show what the model decides.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QTimer>

#include "tests/gui/gui_test_support.h"

namespace veltrane::gui::test {
namespace {

class StereoWindowView : public WindowTest {
protected:
    void OpenPair() {
        CreateWindow();
        OpenThroughDialog(WriteMpo("two.mpo", {samples::SampleStereoImage(0), samples::SampleStereoImage(1)}));
        mainWindow->showStereoAction->trigger();
        ASSERT_TRUE(stereoWindow->isVisible());
    }
    const window::StereoWindowModel& Model() { return stereoWindow->Model(); }
};

TEST_F(StereoWindowView, TheSliderReachesTheModelAndThePictureFollows) {
    OpenPair();
    QSlider* slider = stereoWindow->parallaxSlider;
    ASSERT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->minimum(), -3);  // a twentieth of the 64-pixel width
    EXPECT_EQ(slider->maximum(), 3);
    const QImage before = stereoWindow->pictureView->Picture();
    // A drag's values arrive faster than the event loop turns: the model gets the last one.
    slider->setValue(1);
    slider->setValue(2);
    slider->setValue(3);
    EXPECT_EQ(Model().RenderSettings().parallax, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(Model().RenderSettings().parallax, 3);
    EXPECT_EQ(stereoWindow->parallaxValue->text(), QStringLiteral("+3 px"));
    const QImage after = stereoWindow->pictureView->Picture();
    EXPECT_EQ(after.height(), before.height());
    EXPECT_NE(after.width(), before.width());  // the eyes' overlap moved by the parallax
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(StereoWindowView, TheWidgetsFollowTheModel) {
    OpenPair();
    const int single = stereoWindow->pictureView->Picture().width();
    EXPECT_TRUE(stereoWindow->anaglyphBox->isEnabled());
    emit stereoWindow->layoutBox->activated(1);  // parallel
    EXPECT_EQ(Model().Controls().view, window::StereoView::Parallel);
    EXPECT_FALSE(stereoWindow->anaglyphBox->isEnabled());
    EXPECT_EQ(stereoWindow->pictureView->Picture().width(), 2 * single);

    stereoWindow->alignBox->click();  // unaligned, the two eyes' frames differ
    EXPECT_EQ(Model().RenderSettings().shift, (window::StereoShift{}));
    emit stereoWindow->layoutBox->activated(3);  // wiggle
    EXPECT_TRUE(stereoWindow->animationTimer->isActive());
    EXPECT_EQ(stereoWindow->animationTimer->interval(), 150);
    const QImage first = stereoWindow->pictureView->Picture();
    QMetaObject::invokeMethod(stereoWindow->animationTimer, "timeout");  // a tick
    EXPECT_NE(stereoWindow->pictureView->Picture(), first);  // the other eye
    EXPECT_EQ(Model().ShownFrame(), 1);

    stereoWindow->swapBox->click();
    EXPECT_TRUE(Model().RenderSettings().swap);
    EXPECT_TRUE(stereoWindow->animationTimer->isActive());

    stereoWindow->closeButton->click();
    EXPECT_FALSE(stereoWindow->isVisible());
    EXPECT_FALSE(stereoWindow->animationTimer->isActive());
    for (QWidget* control : std::initializer_list<QWidget*>{stereoWindow->layoutBox, stereoWindow->anaglyphBox,
                                                            stereoWindow->alignBox, stereoWindow->alignFullBox,
                                                            stereoWindow->swapBox,
                                                            stereoWindow->parallaxSlider, stereoWindow->saveButton})
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_TRUE(stereoWindow->pictureView->Picture().isNull());
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(StereoWindowView, SaveWritesTheChosenTypeFromTheFullImages) {
    OpenPair();
    stereoWindow->parallaxSlider->setValue(-2);
    QCoreApplication::processEvents();
    saveDialog.ChosenType = 6;  // row-interlaced PNG
    saveDialog.Answer = files / "rows.png";
    stereoWindow->saveButton->click();
    EXPECT_EQ(saveDialog.Types.size(), 10u);  // every layout and MPO
    EXPECT_EQ(saveDialog.SuggestedPaths[6], files / "two_interlaced.png");
    EXPECT_EQ(saveDialog.SuggestedPaths[8], files / "two_wiggle.webp");
    EXPECT_EQ(saveDialog.SuggestedPaths[9], files / "two_stereo.mpo");
    const QImage saved(PathFromCore(files / "rows.png"), "PNG");
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.height(), 48);
    EXPECT_TRUE(messages.Errors.empty());
}

// The Full box runs the real previewer's alignment on its own thread and hears its end through
// the event loop: the sample pair, 64 x 48 pixels, is too small to align, which the message says
// and the greyed box shows.
TEST_F(StereoWindowView, FullAlignmentEndsThroughTheEventLoop) {
    OpenPair();
    stereoWindow->alignFullBox->click();
    EXPECT_TRUE(stereoWindow->statusLabel->text().endsWith(QStringLiteral("aligning at full size\u2026")));
    EXPECT_TRUE(stereoWindow->parallaxSlider->isEnabled());
    for (int turn = 0; turn < 1000 && messages.Errors.empty(); ++turn) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    ASSERT_EQ(messages.Errors.size(), 1u);
    EXPECT_EQ(messages.Errors[0], "cannot align: the pictures are too small to align");
    EXPECT_FALSE(stereoWindow->alignFullBox->isEnabled());
    EXPECT_FALSE(stereoWindow->alignFullBox->isChecked());
}

}  // namespace
}  // namespace veltrane::gui::test
