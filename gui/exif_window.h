#pragma once
// TForm2, the EXIF information window: a two-column list of the nineteen fields of one image,
// filled by the main window (TForm1::showexif) and hidden again by Close.
#include <QColor>
#include <QString>
#include <QVector>
#include <QWidget>

class QFrame;
class QPushButton;
class QTreeWidget;

namespace veltrane::gui {

class TForm2 : public QWidget {
    Q_OBJECT

public:
    struct Row {
        QString Caption;
        QString Value;
    };

    // The client area as designed. The Close button lies fully inside it, 8 pixels above the
    // bottom edge; the panel with the list spans the whole width.
    static constexpr int kClientWidth = 354;
    static constexpr int kClientHeight = 384;

    explicit TForm2(QWidget* parent = nullptr);

    QFrame* Panel1;
    QTreeWidget* ListView1;
    QPushButton* BitBtn1;

    // Replaces every row; the list is repainted once, after the last row.
    void SetRows(const QVector<Row>& rows);
    int RowCount() const;
    QString Caption(int row) const;
    QString Value(int row) const;

    // Chooses the background of the row about to be drawn: white for the even rows 0 to 18,
    // grey 245 for the odd ones. Other rows keep the colour chosen last.
    void ListView1CustomDrawItem(int row);
    QColor CanvasBrush() const { return CanvasBrush_; }

    void BitBtn1Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceAnchoredControls();

    QColor CanvasBrush_{255, 255, 255};
};

}  // namespace veltrane::gui
