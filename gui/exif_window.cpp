// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/exif_window.h"

#include <QBrush>
#include <QColor>
#include <QFrame>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/window/main_window_model.h"
#include "gui/app_icon.h"

namespace veltrane::gui {
namespace {

// Layout as designed: the frame's height leaves this much below it, and the Close button keeps
// its distance to the bottom edge and its place about the middle.
constexpr int kFrameTop = 0, kFrameBottomGap = ExifWindow::kClientHeight - 340;
constexpr int kCloseLeft = 144, kCloseTop = 351, kCloseWidth = 75, kCloseHeight = 25;

}  // namespace

ExifWindow::ExifWindow(QWidget* parent) : QWidget(parent) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_QuitOnClose, false);  // the main window's close ends the program
    setObjectName(QStringLiteral("exifWindow"));
    setWindowTitle(QStringLiteral(" EXIF Information"));
    setWindowIcon(ExifWindowIcon());
    QFont arial;
    arial.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    arial.setPixelSize(11);
    setFont(arial);
    setMinimumSize(240, 160);

    listFrame = new QFrame(this);
    listFrame->setObjectName(QStringLiteral("listFrame"));
    listFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    listFrame->setLineWidth(1);

    fieldList = new QTreeWidget(listFrame);
    fieldList->setObjectName(QStringLiteral("fieldList"));
    fieldList->setColumnCount(2);
    fieldList->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Image")});
    fieldList->setRootIsDecorated(false);
    fieldList->setIndentation(0);
    fieldList->setUniformRowHeights(true);
    fieldList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fieldList->setSelectionBehavior(QAbstractItemView::SelectRows);
    QHeaderView* header = fieldList->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(true);
    header->resizeSection(0, 120);
    connect(header, &QHeaderView::sectionResized, this, [header](int section, int, int size) {
        if (section == 0 && size < 100) header->resizeSection(0, 100);  // "Field" keeps 100
    });
    auto* fill = new QVBoxLayout(listFrame);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(fieldList);

    closeButton = new QPushButton(QStringLiteral("&Close"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setIcon(QIcon(CloseGlyph()));
    closeButton->setIconSize(QSize(20, 17));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    resize(kClientWidth, kClientHeight);
    move(221, 265);
    PlaceAnchoredControls();
}

void ExifWindow::SetRows(const QVector<Row>& rows) {
    fieldList->setUpdatesEnabled(false);
    fieldList->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const Row& row : rows) {
        auto* item = new QTreeWidgetItem(QStringList{row.Caption, row.Value});
        const QBrush background(QColor(static_cast<QRgb>(window::ExifRowColour(static_cast<int>(items.size())))));
        item->setBackground(0, background);
        item->setBackground(1, background);
        items.append(item);
    }
    fieldList->addTopLevelItems(items);
    fieldList->setUpdatesEnabled(true);
}

int ExifWindow::RowCount() const { return fieldList->topLevelItemCount(); }

QString ExifWindow::Caption(int row) const {
    const QTreeWidgetItem* item = fieldList->topLevelItem(row);
    return item != nullptr ? item->text(0) : QString();
}

QString ExifWindow::Value(int row) const {
    const QTreeWidgetItem* item = fieldList->topLevelItem(row);
    return item != nullptr ? item->text(1) : QString();
}

void ExifWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceAnchoredControls();
}

void ExifWindow::PlaceAnchoredControls() {
    // The frame is anchored to all four edges, the button to the bottom edge only.
    listFrame->setGeometry(0, kFrameTop, width(), std::max(0, height() - kFrameBottomGap));
    const int closeLeft = kCloseLeft + (width() - kClientWidth) / 2;
    const int closeTop = height() - (kClientHeight - kCloseTop);
    closeButton->setGeometry(closeLeft, closeTop, kCloseWidth, kCloseHeight);
}

}  // namespace veltrane::gui
