#include "gui/main_window.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>

#include "gui/exif_window.h"
#include "gui/hyper_label.h"
#include "gui/text.h"

namespace veltrane::gui {
namespace {

// The list's entries are drawn by TForm1::ListBox1DrawItem; the list adds its usual focus frame
// around the entry that has the keyboard focus.
class ListBox1Delegate : public QStyledItemDelegate {
public:
    ListBox1Delegate(TForm1& form, QObject* parent) : QStyledItemDelegate(parent), form_(form) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        form_.ListBox1DrawItem(*painter, index.row(), option.rect);
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.backgroundColor = QColor(static_cast<QRgb>(form_.Model().RowColour(index.row())));
            const QWidget* widget = option.widget;
            QStyle* style = widget != nullptr ? widget->style() : nullptr;
            if (style != nullptr) style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
        }
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), TForm1::kListItemHeight};
    }

private:
    TForm1& form_;
};

// A line along the top edge: a dark line over a light one, as an etched separator.
class TopLineBevel : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(0, 0, width() - 1, 0);
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(0, 1, width() - 1, 1);
    }
};

QFont PixelFont(const QStringList& families, int pixels) {
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixels);
    return font;
}

}  // namespace

TForm1::TForm1(TForm1Services services, QWidget* parent)
    : QWidget(parent), model_(services, *this), desktop_(services.Desktop) {
    BuildControls(services.UserGuideUrl);
    WireActions();
    model_.Start();
}

TForm1::~TForm1() = default;

void TForm1::BuildControls(const std::string& userGuideUrl) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Veltrane"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    // "MS Sans Serif" 8 point is a Windows font. DejaVu Sans at the same pixel size is the sans
    // every Linux desktop has; its condensed face, where installed, is about as wide as the
    // original, so the captions fit the designed controls.
    setFont(PixelFont({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")}, 11));
    setAcceptDrops(true);

    Button2 = new QPushButton(QStringLiteral("&Open MPO"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(8, 16, 89, 25);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(104, 16, 145, 169);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListBox1->setItemDelegate(new ListBox1Delegate(*this, ListBox1));
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    QPalette white = ListBox1->palette();
    white.setColor(QPalette::Base, Qt::white);  // also while disabled
    ListBox1->setPalette(white);

    Button1 = new QPushButton(QStringLiteral("E&xtract Images"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 48, 89, 25);

    GroupBox1 = new QGroupBox(QStringLiteral(" Extract "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 80, 89, 105);
    RadioButton1 = new QRadioButton(QStringLiteral("&All"), GroupBox1);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->setGeometry(8, 24, 60, 17);
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(QStringLiteral("O&dd"), GroupBox1);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2->setGeometry(8, 48, 60, 17);
    RadioButton3 = new QRadioButton(QStringLiteral("&Even"), GroupBox1);
    RadioButton3->setObjectName(QStringLiteral("RadioButton3"));
    RadioButton3->setGeometry(8, 72, 60, 17);

    Bevel1 = new TopLineBevel(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(0, 224, 265, 31);
    Bevel1->setAttribute(Qt::WA_TransparentForMouseEvents);

    CheckBox1 = new QCheckBox(QStringLiteral("Enable &context menu entry for MPO files"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(8, 232, 227, 17);

    Panel1 = new QLabel(QStringLiteral("Ready."), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(104, 184, 145, 25);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);
    QPalette panel = Panel1->palette();
    panel.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(panel);

    HyperLabel1 = new THyperLabel(this);
    HyperLabel1->setObjectName(QStringLiteral("HyperLabel1"));
    QFont arial = PixelFont({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                             QStringLiteral("DejaVu Sans")}, 11);
    arial.setUnderline(true);
    HyperLabel1->setFont(arial);
    HyperLabel1->setText(QStringLiteral("VLTR Home Page"));
    // A label sizes itself to its caption; 85 pixels is what the designed font needs.
    HyperLabel1->setGeometry(9, 195, std::max(85, HyperLabel1->sizeHint().width()), 14);
    HyperLabel1->SetURL(QString::fromStdString(userGuideUrl));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    ShowImage1 = PopupMenu1->addAction(QStringLiteral("Show Image"));
    ShowImage1->setObjectName(QStringLiteral("ShowImage1"));
    ShowEXIF1 = PopupMenu1->addAction(QStringLiteral("EXIF Info"));
    ShowEXIF1->setObjectName(QStringLiteral("ShowEXIF1"));
    ShowStereo1 = PopupMenu1->addAction(QStringLiteral("Show Stereo"));
    ShowStereo1->setObjectName(QStringLiteral("ShowStereo1"));
    ShowStereo1->setVisible(false);
    SaveStereo1 = PopupMenu1->addAction(QStringLiteral("Save Stereo\u2026"));
    SaveStereo1->setObjectName(QStringLiteral("SaveStereo1"));
    SaveStereo1->setVisible(false);

    setTabOrder(Button2, ListBox1);
    setTabOrder(ListBox1, Button1);
    setTabOrder(Button1, RadioButton1);
    setTabOrder(RadioButton1, RadioButton2);
    setTabOrder(RadioButton2, RadioButton3);
    setTabOrder(RadioButton3, CheckBox1);
    Button2->setFocus();
}

void TForm1::WireActions() {
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    for (QRadioButton* mode : {RadioButton1, RadioButton2, RadioButton3})
        connect(mode, &QRadioButton::toggled, this, [this] { RadioButton1Click(); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool checked) { CheckBox1Click(checked); });
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] { ListBox1Click1(); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { ListBox1Click(ListBox1); });
    connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(at));
    });
    connect(ShowImage1, &QAction::triggered, this, [this] { ListBox1Click(ShowImage1); });
    connect(ShowEXIF1, &QAction::triggered, this, [this] { ListBox1Click(ShowEXIF1); });
    connect(ShowStereo1, &QAction::triggered, this, [this] { ShowStereo1Click(); });
    connect(SaveStereo1, &QAction::triggered, this, [this] { SaveStereo1Click(); });
    HyperLabel1->SetUrlOpener([this](const QString& url) { desktop_.OpenUrl(url.toStdString()); });
}

ExtractMode TForm1::CheckedModeButton() const {
    if (RadioButton2->isChecked()) return ExtractMode::Odd;
    if (RadioButton3->isChecked()) return ExtractMode::Even;
    return ExtractMode::All;
}

int TForm1::SelectedIndex() const {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    return selected.isEmpty() ? -1 : ListBox1->row(selected.first());
}

// ---- what the model shows ----

void TForm1::ClearList() { ListBox1->clear(); }

void TForm1::AppendListLine(const std::string& text) { ListBox1->addItem(QString::fromStdString(text)); }

void TForm1::SetControls(const window::ControlStates& states) {
    Button2->setEnabled(states.OpenButton);
    CheckBox1->setEnabled(states.ContextMenuBox);
    Button1->setEnabled(states.ExtractButton);
    ListBox1->setEnabled(states.ImageList);
    for (QRadioButton* mode : {RadioButton1, RadioButton2, RadioButton3}) mode->setEnabled(states.ModeButtons);
    ShowImage1->setEnabled(states.ShowImage);
    ShowEXIF1->setEnabled(states.ShowExif);
    ShowStereo1->setVisible(states.ShowStereo);
    SaveStereo1->setVisible(states.SaveStereo);
}

void TForm1::SetStatusText(const std::string& text) { Panel1->setText(QString::fromStdString(text)); }

void TForm1::SetStatusHint(const std::string& hint) { Panel1->setToolTip(QString::fromStdString(hint)); }

void TForm1::SetListHint(const std::string& hint) { ListBox1->setToolTip(QString::fromStdString(hint)); }

void TForm1::SetContextMenuBox(bool checked) {
    const QSignalBlocker quiet(CheckBox1);
    CheckBox1->setChecked(checked);
}

void TForm1::RepaintList() { ListBox1->viewport()->update(); }

void TForm1::ProcessPendingEvents() { QCoreApplication::processEvents(); }

void TForm1::ShowExifWindow(const std::vector<window::ExifRowText>& rows) {
    QVector<TForm2::Row> shown;
    shown.reserve(static_cast<qsizetype>(rows.size()));
    for (const window::ExifRowText& row : rows)
        shown.append({QString::fromStdString(row.Caption), QString::fromStdString(row.Value)});
    if (Form2_ != nullptr) {
        Form2_->SetRows(shown);
        if (!Form2_->isVisible()) Form2_->show();
    }
    QCoreApplication::processEvents();
}

// ---- the handlers, forwarded to the model ----

void TForm1::FormCreate() { model_.CheckRegistrationAtStart(); }

void TForm1::Button2Click() { model_.OpenRequested(); }

void TForm1::OpenMpoFile(const QString& path) { model_.OpenFile(PathToCore(path)); }

void TForm1::Button1Click() { model_.ExtractRequested(); }

void TForm1::CheckBox1Click(bool checked) { model_.ContextMenuEntryToggled(checked); }

void TForm1::RadioButton1Click() { model_.ModeChosen(CheckedModeButton()); }

void TForm1::ListBox1DrawItem(QPainter& canvas, int Index, const QRect& Rect) {
    const std::uint32_t colour = model_.RowColour(Index);
    const QListWidgetItem* item = ListBox1->item(Index);
    canvas.save();
    canvas.fillRect(Rect, QColor(static_cast<QRgb>(colour)));
    canvas.setPen(Qt::black);
    canvas.setFont(ListBox1->font());
    if (item != nullptr) canvas.drawText(Rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, item->text());
    canvas.restore();
}

void TForm1::ListBox1Click1() { model_.SelectionChanged(SelectedIndex()); }

void TForm1::ListBox1Click(QObject* sender) {
    // The selection as the list has it now (a click may have changed it without a signal yet).
    if (SelectedIndex() != model_.SelectedRow()) model_.SelectionChanged(SelectedIndex());
    model_.PreviewRequested(sender == ShowEXIF1 ? window::MainWindowModel::PreviewKind::ShowExif
                                             : window::MainWindowModel::PreviewKind::ShowImage);
}

void TForm1::ShowStereo1Click() { model_.ShowStereoRequested(); }

void TForm1::SaveStereo1Click() { model_.SaveStereoRequested(); }

// ---- closing ----

void TForm1::FormClose() { model_.WindowClosing(); }

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

// ---- dropped files ----

QString TForm1::DroppedMpoFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    std::vector<std::string> paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths.push_back(PathToCore(url.toLocalFile()));
    return PathFromCore(window::MainWindowModel::DroppedMpoFile(paths));
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (model_.AcceptsDrop() && !DroppedMpoFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (model_.AcceptsDrop() && !DroppedMpoFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QString path = DroppedMpoFile(event->mimeData());
    if (!model_.AcceptsDrop() || path.isEmpty()) return;
    event->acceptProposedAction();
    // Opened once the drop has finished, so that the dragging program is not kept waiting.
    QTimer::singleShot(0, this, [this, path] { OpenMpoFile(path); });
}

}  // namespace veltrane::gui
