// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <QEnterEvent>
#include <QMouseEvent>

#include "gui/link_label.h"
#include "gui_test_support.h"

namespace veltrane::gui::test {
namespace {

const QColor kNavy(0x00, 0x00, 0x80), kBlue(0x00, 0x00, 0xFF), kRed(0xFF, 0x00, 0x00);

// A link label, 100 x 20, with the pointer's movements as the platform reports them.
class LinkLabelTest : public ::testing::Test {
protected:
    LinkLabelTest() {
        label.setText(QStringLiteral("VLTR Home Page"));
        label.resize(100, 20);
        label.SetUrl(QStringLiteral("https://example.invalid/guide"));
        label.SetUrlOpener([this](const QString& url) { opened.push_back(url); });
    }
    void Enter() {
        QEnterEvent e(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
        QCoreApplication::sendEvent(&label, &e);
    }
    void Leave() {
        QEvent e(QEvent::Leave);
        QCoreApplication::sendEvent(&label, &e);
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, QPointF(at), QPointF(label.mapToGlobal(at)), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(&label, &e);
    }
    void Press(QPoint at = {10, 10}) { Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton); }
    void MoveHeld(QPoint at) { Mouse(QEvent::MouseMove, at, Qt::LeftButton); }
    void Release(QPoint at = {10, 10}) { Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton); }

    LinkLabel label;
    std::vector<QString> opened;
};

TEST_F(LinkLabelTest, StartsNavyUnderlinedWithAHandCursorAndTheDefaultColours) {
    EXPECT_EQ(label.TextColour(), kNavy);
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(label.HoverColour(), kBlue);
    EXPECT_EQ(label.PressedColour(), kRed);
    EXPECT_TRUE(LinkLabel().Url().isEmpty());
}

TEST_F(LinkLabelTest, PressAndReleaseInsideOpensTheAddressOnceAndStaysHoverColoured) {
    Enter();
    EXPECT_EQ(label.TextColour(), kBlue);
    Press();
    EXPECT_EQ(label.TextColour(), kRed);
    Release();
    EXPECT_EQ(opened, std::vector<QString>{"https://example.invalid/guide"});
    EXPECT_EQ(label.TextColour(), kBlue);
    Leave();
    EXPECT_EQ(label.TextColour(), kNavy);
}

TEST_F(LinkLabelTest, PressMoveOffAndReleaseOpensNothingAndRestoresTheFormerColour) {
    // Qt holds back the leave while the button is down; the label follows the pointer itself.
    Enter();
    Press();
    MoveHeld({150, 10});
    Release({150, 10});
    Leave();  // delivered late, after the release
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(label.TextColour(), kNavy);
}

TEST_F(LinkLabelTest, LeaveDuringPressAndComingBackShowsPressedColour) {
    Enter();
    Press();
    MoveHeld({150, 10});
    EXPECT_EQ(label.TextColour(), kNavy);
    MoveHeld({20, 5});
    EXPECT_EQ(label.TextColour(), kRed);
    Release({20, 5});
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(label.TextColour(), kBlue);
    Enter();  // a late enter changes nothing
    Leave();
    EXPECT_EQ(label.TextColour(), kNavy);
}

TEST_F(LinkLabelTest, EmptyAddressChangesColoursButOpensNothing) {
    label.SetUrl({});
    Enter();
    Press();
    EXPECT_EQ(label.TextColour(), kRed);
    Release();
    EXPECT_EQ(label.TextColour(), kBlue);
    EXPECT_TRUE(opened.empty());
}

TEST_F(LinkLabelTest, PressWithoutAnEarlierEnterStillEndsNavyAfterLeaving) {
    Press();
    Release();
    EXPECT_EQ(opened.size(), 1u);
    Leave();
    EXPECT_EQ(label.TextColour(), kNavy);
}

}  // namespace
}  // namespace veltrane::gui::test
