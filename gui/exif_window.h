// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The EXIF window: a two-column list of the nineteen fields of one image, filled by the main
// window's "EXIF Info" and hidden again by Close.
#include <QString>
#include <QVector>
#include <QWidget>

class QFrame;
class QPushButton;
class QTreeWidget;

namespace veltrane::gui {

class ExifWindow : public QWidget {
    Q_OBJECT

public:
    struct Row {
        QString Caption;
        QString Value;
    };

    // The client area as designed. The Close button lies fully inside it, 8 pixels above the
    // bottom edge; the frame with the list spans the whole width.
    static constexpr int kClientWidth = 354;
    static constexpr int kClientHeight = 384;

    explicit ExifWindow(QWidget* parent = nullptr);

    QFrame* listFrame;
    QTreeWidget* fieldList;    // "Field" and "Image"; rows coloured by window::ExifRowColour
    QPushButton* closeButton;  // "&Close": hides the window

    // Replaces every row; the list is repainted once, after the last row.
    void SetRows(const QVector<Row>& rows);
    int RowCount() const;
    QString Caption(int row) const;
    QString Value(int row) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceAnchoredControls();
};

}  // namespace veltrane::gui
