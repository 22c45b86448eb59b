#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "gui_test_support.h"

namespace veltrane::gui::test {
namespace {

QVector<TForm2::Row> NineteenRows(const QString& first) {
    QVector<TForm2::Row> rows;
    rows.append({"Image: ", first});
    for (int i = 1; i < 19; ++i) rows.append({QStringLiteral("Field %1: ").arg(i), QStringLiteral("-")});
    return rows;
}

TEST(ExifWindow, IsLaidOutAsDesignedWithTheCloseButtonInsideTheWindow) {
    TForm2 form;
    EXPECT_EQ(form.windowTitle(), " EXIF Information");
    EXPECT_EQ(form.size(), QSize(TForm2::kClientWidth, TForm2::kClientHeight));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.isVisible());

    EXPECT_EQ(form.ListView1->headerItem()->text(0), "Field");
    EXPECT_EQ(form.ListView1->headerItem()->text(1), "Image");
    EXPECT_EQ(form.ListView1->header()->sectionSize(0), 120);
    EXPECT_FALSE(form.ListView1->header()->sectionsClickable());
    EXPECT_EQ(form.ListView1->editTriggers(), QAbstractItemView::NoEditTriggers);

    EXPECT_EQ(form.BitBtn1->text(), "&Close");
    EXPECT_EQ(form.BitBtn1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
    EXPECT_EQ(form.BitBtn1->geometry(), QRect(144, 351, 75, 25));
    EXPECT_TRUE(form.rect().contains(form.BitBtn1->geometry()));
    EXPECT_EQ(form.Panel1->geometry(), QRect(0, 0, TForm2::kClientWidth, 340));
}

TEST(ExifWindow, PanelFollowsEveryEdgeAndCloseKeepsItsDistanceToTheBottom) {
    TForm2 form;
    form.show();
    form.resize(500, 600);
    EXPECT_EQ(form.Panel1->geometry(), QRect(0, 0, 500, 600 - (TForm2::kClientHeight - 340)));
    EXPECT_EQ(form.BitBtn1->y() + form.BitBtn1->height(), 600 - (TForm2::kClientHeight - 376));
    EXPECT_TRUE(form.rect().contains(form.BitBtn1->geometry()));
}

TEST(ExifWindow, RowsAlternateWhiteAndGrey245FromRowZero) {
    TForm2 form;
    form.SetRows(NineteenRows("Image 001:  1 K"));
    form.show();
    const QImage image = form.ListView1->viewport()->grab().toImage();
    for (int row : {0, 1, 2, 3}) {
        SCOPED_TRACE(row);
        const QRect rect = form.ListView1->visualItemRect(form.ListView1->topLevelItem(row));
        const QRgb expected = row % 2 == 0 ? 0xFFFFFF : 0xF5F5F5;
        EXPECT_EQ(image.pixel(rect.right() - 3, rect.center().y()) & 0xFFFFFFu, expected);
    }
    form.ListView1CustomDrawItem(18);
    EXPECT_EQ(form.CanvasBrush(), QColor(255, 255, 255));
}

TEST(ExifWindow, CloseButtonAndAltCHideTheWindowAndKeepTheRows) {
    TForm2 form;
    form.SetRows(NineteenRows("Image 001:  1 K"));
    form.show();
    form.BitBtn1->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.RowCount(), 19);

    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QSignalSpy clicked(form.BitBtn1, &QPushButton::clicked);
    QTest::keyClick(&form, Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(clicked.wait());
    EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace veltrane::gui::test
