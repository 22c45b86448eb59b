// SPDX-License-Identifier: GPL-3.0-or-later
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "core/window/main_window_model.h"
#include "gui_test_support.h"

namespace veltrane::gui::test {
namespace {

QVector<ExifWindow::Row> NineteenRows(const QString& first) {
    QVector<ExifWindow::Row> rows;
    rows.append({"Image: ", first});
    for (int i = 1; i < 19; ++i) rows.append({QStringLiteral("Field %1: ").arg(i), QStringLiteral("-")});
    return rows;
}

TEST(ExifWindow, IsLaidOutAsDesignedWithTheCloseButtonInsideTheWindow) {
    ExifWindow exifWindow;
    EXPECT_EQ(exifWindow.windowTitle(), " EXIF Information");
    EXPECT_EQ(exifWindow.size(), QSize(ExifWindow::kClientWidth, ExifWindow::kClientHeight));
    EXPECT_FALSE(exifWindow.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(exifWindow.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(exifWindow.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(exifWindow.isVisible());

    EXPECT_EQ(exifWindow.fieldList->headerItem()->text(0), "Field");
    EXPECT_EQ(exifWindow.fieldList->headerItem()->text(1), "Image");
    EXPECT_EQ(exifWindow.fieldList->header()->sectionSize(0), 120);
    EXPECT_FALSE(exifWindow.fieldList->header()->sectionsClickable());
    EXPECT_EQ(exifWindow.fieldList->editTriggers(), QAbstractItemView::NoEditTriggers);

    EXPECT_EQ(exifWindow.closeButton->text(), "&Close");
    EXPECT_EQ(exifWindow.closeButton->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
    EXPECT_EQ(exifWindow.closeButton->geometry(), QRect(144, 351, 75, 25));
    EXPECT_TRUE(exifWindow.rect().contains(exifWindow.closeButton->geometry()));
    EXPECT_EQ(exifWindow.listFrame->geometry(), QRect(0, 0, ExifWindow::kClientWidth, 340));
}

TEST(ExifWindow, FrameFollowsEveryEdgeAndCloseKeepsItsDistanceToTheBottom) {
    ExifWindow exifWindow;
    exifWindow.show();
    exifWindow.resize(500, 600);
    EXPECT_EQ(exifWindow.listFrame->geometry(), QRect(0, 0, 500, 600 - (ExifWindow::kClientHeight - 340)));
    EXPECT_EQ(exifWindow.closeButton->y() + exifWindow.closeButton->height(), 600 - (ExifWindow::kClientHeight - 376));
    EXPECT_TRUE(exifWindow.rect().contains(exifWindow.closeButton->geometry()));
}

TEST(ExifWindow, DrawsEachRowInTheColourOfTheWindowModel) {
    ExifWindow exifWindow;
    exifWindow.SetRows(NineteenRows("Image 001:  1 K"));
    exifWindow.show();
    const QImage image = exifWindow.fieldList->viewport()->grab().toImage();
    for (int row : {0, 1, 2, 3}) {
        SCOPED_TRACE(row);
        const QRect rect = exifWindow.fieldList->visualItemRect(exifWindow.fieldList->topLevelItem(row));
        // Both columns show the colour the window model gives the row.
        for (int x : {rect.left() + 100, rect.right() - 3})
            EXPECT_EQ(image.pixel(x, rect.center().y()) & 0xFFFFFFu, window::ExifRowColour(row));
    }
    EXPECT_NE(window::ExifRowColour(0), window::ExifRowColour(1));
}

TEST(ExifWindow, CloseButtonAndAltCHideTheWindowAndKeepTheRows) {
    ExifWindow exifWindow;
    exifWindow.SetRows(NineteenRows("Image 001:  1 K"));
    exifWindow.show();
    exifWindow.closeButton->click();
    EXPECT_FALSE(exifWindow.isVisible());
    EXPECT_EQ(exifWindow.RowCount(), 19);

    exifWindow.show();
    exifWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&exifWindow));
    QSignalSpy clicked(exifWindow.closeButton, &QPushButton::clicked);
    QTest::keyClick(&exifWindow, Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(clicked.wait());
    EXPECT_FALSE(exifWindow.isVisible());
}

}  // namespace
}  // namespace veltrane::gui::test
