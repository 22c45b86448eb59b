#include "gui/exif_window.h"

#include <QFrame>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/window/main_window_model.h"
#include "gui/app_icon.h"

namespace veltrane::gui {
namespace {

// Each row's background comes from TForm2::ListView1CustomDrawItem; the usual drawing of
// the text (and of a selection) follows.
class RowColourDelegate : public QStyledItemDelegate {
public:
    RowColourDelegate(TForm2& form, QObject* parent) : QStyledItemDelegate(parent), form_(form) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        form_.ListView1CustomDrawItem(index.row());
        painter->fillRect(option.rect, form_.CanvasBrush());
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    TForm2& form_;
};

// Layout as designed: the panel's height leaves this much below it, and the Close button
// keeps its distance to the bottom edge and its place about the middle.
constexpr int kPanelTop = 0, kPanelBottomGap = TForm2::kClientHeight - 340;
constexpr int kCloseLeft = 144, kCloseTop = 351, kCloseWidth = 75, kCloseHeight = 25;

}  // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_QuitOnClose, false);  // the main window's close ends the program
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral(" EXIF Information"));
    setWindowIcon(ExifWindowIcon());
    QFont arial;
    arial.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    arial.setPixelSize(11);
    setFont(arial);
    setMinimumSize(240, 160);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);

    ListView1 = new QTreeWidget(Panel1);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(2);
    ListView1->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Image")});
    ListView1->setRootIsDecorated(false);
    ListView1->setIndentation(0);
    ListView1->setUniformRowHeights(true);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setItemDelegate(new RowColourDelegate(*this, ListView1));
    QHeaderView* header = ListView1->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(true);
    header->resizeSection(0, 120);
    connect(header, &QHeaderView::sectionResized, this, [header](int section, int, int size) {
        if (section == 0 && size < 100) header->resizeSection(0, 100);  // "Field" keeps 100
    });
    auto* fill = new QVBoxLayout(Panel1);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(ListView1);

    BitBtn1 = new QPushButton(QStringLiteral("&Close"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setIcon(QIcon(CloseGlyph()));
    BitBtn1->setIconSize(QSize(20, 17));
    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);

    resize(kClientWidth, kClientHeight);
    move(221, 265);
    PlaceAnchoredControls();
}

void TForm2::SetRows(const QVector<Row>& rows) {
    ListView1->setUpdatesEnabled(false);
    ListView1->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const Row& row : rows) items.append(new QTreeWidgetItem(QStringList{row.Caption, row.Value}));
    ListView1->addTopLevelItems(items);
    ListView1->setUpdatesEnabled(true);
}

int TForm2::RowCount() const { return ListView1->topLevelItemCount(); }

QString TForm2::Caption(int row) const {
    const QTreeWidgetItem* item = ListView1->topLevelItem(row);
    return item != nullptr ? item->text(0) : QString();
}

QString TForm2::Value(int row) const {
    const QTreeWidgetItem* item = ListView1->topLevelItem(row);
    return item != nullptr ? item->text(1) : QString();
}

void TForm2::ListView1CustomDrawItem(int row) {
    CanvasBrush_ = QColor(static_cast<QRgb>(window::ExifRowColour(row)));
}

void TForm2::BitBtn1Click() { close(); }

void TForm2::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceAnchoredControls();
}

void TForm2::PlaceAnchoredControls() {
    // The panel is anchored to all four edges, the button to the bottom edge only.
    Panel1->setGeometry(0, kPanelTop, width(), std::max(0, height() - kPanelBottomGap));
    const int closeLeft = kCloseLeft + (width() - kClientWidth) / 2;
    const int closeTop = height() - (kClientHeight - kCloseTop);
    BitBtn1->setGeometry(closeLeft, closeTop, kCloseWidth, kCloseHeight);
}

}  // namespace veltrane::gui
