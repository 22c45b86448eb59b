// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
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
#include "gui/image_list_model.h"
#include "gui/link_label.h"
#include "gui/stereo_window.h"
#include "gui/text.h"

namespace veltrane::gui {
namespace {

using PreviewKind = window::MainWindowModel::PreviewKind;

// Draws a list row from its data: the background the model gives, the text in black from the
// row's left edge, and the usual focus frame around the row that has the keyboard focus. The
// selection shows in the background colour alone.
class ImageRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QColor background = index.data(Qt::BackgroundRole).value<QBrush>().color();
        painter->save();
        painter->fillRect(option.rect, background);
        painter->setPen(Qt::black);
        painter->setFont(option.font);
        painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, index.data().toString());
        painter->restore();
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.backgroundColor = background;
            const QWidget* widget = option.widget;
            QStyle* style = widget != nullptr ? widget->style() : nullptr;
            if (style != nullptr) style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
        }
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), MainWindow::kListItemHeight};
    }
};

// A line along the top edge: a dark line over a light one, as an etched separator.
class EtchedLine : public QFrame {
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

MainWindow::MainWindow(window::WindowServices services, QWidget* parent)
    : QWidget(parent), model_(services, *this), desktop_(services.Desktop) {
    BuildControls(services.UserGuideUrl);
    ConnectControls();
    model_.Start();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildControls(const std::string& userGuideUrl) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Veltrane"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    // "MS Sans Serif" 8 point is a Windows font. DejaVu Sans at the same pixel size is the sans
    // every Linux desktop has; its condensed face, where installed, is about as wide as the
    // original, so the captions fit the designed controls.
    setFont(PixelFont({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")}, 11));
    setAcceptDrops(true);

    openButton = new QPushButton(QStringLiteral("&Open MPO"), this);
    openButton->setObjectName(QStringLiteral("openButton"));
    openButton->setGeometry(8, 16, 89, 25);

    listModel_ = new ImageListModel(model_, this);
    imageList = new QListView(this);
    imageList->setObjectName(QStringLiteral("imageList"));
    imageList->setModel(listModel_);
    imageList->setGeometry(104, 16, 145, 169);
    imageList->setSelectionMode(QAbstractItemView::SingleSelection);
    imageList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    imageList->setUniformItemSizes(true);
    imageList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    imageList->setItemDelegate(new ImageRowDelegate(imageList));
    imageList->setContextMenuPolicy(Qt::CustomContextMenu);
    QPalette white = imageList->palette();
    white.setColor(QPalette::Base, Qt::white);  // also while disabled
    imageList->setPalette(white);

    extractButton = new QPushButton(QStringLiteral("E&xtract Images"), this);
    extractButton->setObjectName(QStringLiteral("extractButton"));
    extractButton->setGeometry(8, 48, 89, 25);

    modeGroup = new QGroupBox(QStringLiteral(" Extract "), this);
    modeGroup->setObjectName(QStringLiteral("modeGroup"));
    modeGroup->setGeometry(8, 80, 89, 105);
    allButton = new QRadioButton(QStringLiteral("&All"), modeGroup);
    allButton->setObjectName(QStringLiteral("allButton"));
    allButton->setGeometry(8, 24, 60, 17);
    allButton->setChecked(true);
    oddButton = new QRadioButton(QStringLiteral("O&dd"), modeGroup);
    oddButton->setObjectName(QStringLiteral("oddButton"));
    oddButton->setGeometry(8, 48, 60, 17);
    evenButton = new QRadioButton(QStringLiteral("&Even"), modeGroup);
    evenButton->setObjectName(QStringLiteral("evenButton"));
    evenButton->setGeometry(8, 72, 60, 17);

    separatorLine = new EtchedLine(this);
    separatorLine->setObjectName(QStringLiteral("separatorLine"));
    separatorLine->setGeometry(0, 224, 265, 31);
    separatorLine->setAttribute(Qt::WA_TransparentForMouseEvents);

    contextMenuBox = new QCheckBox(QStringLiteral("Enable &context menu entry for MPO files"), this);
    contextMenuBox->setObjectName(QStringLiteral("contextMenuBox"));
    contextMenuBox->setGeometry(8, 232, 227, 17);

    statusPanel = new QLabel(QStringLiteral("Ready."), this);
    statusPanel->setObjectName(QStringLiteral("statusPanel"));
    statusPanel->setGeometry(104, 184, 145, 25);
    statusPanel->setAlignment(Qt::AlignCenter);
    statusPanel->setFrameStyle(QFrame::Box | QFrame::Plain);
    statusPanel->setLineWidth(1);
    statusPanel->setAutoFillBackground(true);
    QPalette panel = statusPanel->palette();
    panel.setColor(QPalette::Window, Qt::white);
    statusPanel->setPalette(panel);

    guideLink = new LinkLabel(this);
    guideLink->setObjectName(QStringLiteral("guideLink"));
    QFont arial = PixelFont({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                             QStringLiteral("DejaVu Sans")}, 11);
    arial.setUnderline(true);
    guideLink->setFont(arial);
    guideLink->setText(QStringLiteral("VLTR Home Page"));
    // A label sizes itself to its caption; 85 pixels is what the designed font needs.
    guideLink->setGeometry(9, 195, std::max(85, guideLink->sizeHint().width()), 14);
    guideLink->SetUrl(QString::fromStdString(userGuideUrl));

    listMenu = new QMenu(this);
    listMenu->setObjectName(QStringLiteral("listMenu"));
    showImageAction = listMenu->addAction(QStringLiteral("Show Image"));
    showImageAction->setObjectName(QStringLiteral("showImageAction"));
    showExifAction = listMenu->addAction(QStringLiteral("EXIF Info"));
    showExifAction->setObjectName(QStringLiteral("showExifAction"));
    showStereoAction = listMenu->addAction(QStringLiteral("Show Stereo"));
    showStereoAction->setObjectName(QStringLiteral("showStereoAction"));
    showStereoAction->setVisible(false);
    saveStereoAction = listMenu->addAction(QStringLiteral("Save Stereo\u2026"));
    saveStereoAction->setObjectName(QStringLiteral("saveStereoAction"));
    saveStereoAction->setVisible(false);

    setTabOrder(openButton, imageList);
    setTabOrder(imageList, extractButton);
    setTabOrder(extractButton, allButton);
    setTabOrder(allButton, oddButton);
    setTabOrder(oddButton, evenButton);
    setTabOrder(evenButton, contextMenuBox);
    openButton->setFocus();
}

void MainWindow::ConnectControls() {
    connect(openButton, &QPushButton::clicked, this, [this] { model_.OpenRequested(); });
    connect(extractButton, &QPushButton::clicked, this, [this] { model_.ExtractRequested(); });
    for (QRadioButton* mode : {allButton, oddButton, evenButton}) {
        connect(mode, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked) model_.ModeChosen(CheckedMode());
        });
    }
    connect(contextMenuBox, &QCheckBox::toggled, this, [this](bool checked) { model_.ContextMenuEntryToggled(checked); });
    connect(imageList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { model_.SelectionChanged(SelectedRow()); });
    connect(imageList, &QAbstractItemView::doubleClicked, this, [this] { RequestPreview(PreviewKind::ShowImage); });
    connect(imageList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        listMenu->popup(imageList->viewport()->mapToGlobal(at));
    });
    connect(showImageAction, &QAction::triggered, this, [this] { RequestPreview(PreviewKind::ShowImage); });
    connect(showExifAction, &QAction::triggered, this, [this] { RequestPreview(PreviewKind::ShowExif); });
    connect(showStereoAction, &QAction::triggered, this, [this] {
        if (SelectedRow() != model_.SelectedRow()) model_.SelectionChanged(SelectedRow());
        model_.ShowStereoRequested();
    });
    connect(saveStereoAction, &QAction::triggered, this, [this] { model_.SaveStereoRequested(); });
    guideLink->SetUrlOpener([this](const QString& url) { desktop_.OpenUrl(url.toStdString()); });
}

void MainWindow::SetStereoWindow(StereoWindow* stereoWindow) {
    model_.SetStereoWindow(stereoWindow != nullptr ? &stereoWindow->Model() : nullptr);
}

ExtractMode MainWindow::CheckedMode() const {
    if (oddButton->isChecked()) return ExtractMode::Odd;
    if (evenButton->isChecked()) return ExtractMode::Even;
    return ExtractMode::All;
}

int MainWindow::SelectedRow() const {
    const QModelIndexList selected = imageList->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void MainWindow::RequestPreview(PreviewKind kind) {
    // The selection as the list has it now (a click may have changed it without a signal yet).
    if (SelectedRow() != model_.SelectedRow()) model_.SelectionChanged(SelectedRow());
    model_.PreviewRequested(kind);
}

// ---- what the model shows ----

void MainWindow::ClearList() { listModel_->Cleared(); }

void MainWindow::AppendListLine(const std::string&) { listModel_->LineAppended(); }

void MainWindow::SetControls(const window::ControlStates& states) {
    openButton->setEnabled(states.OpenButton);
    contextMenuBox->setEnabled(states.ContextMenuBox);
    extractButton->setEnabled(states.ExtractButton);
    imageList->setEnabled(states.ImageList);
    for (QRadioButton* mode : {allButton, oddButton, evenButton}) mode->setEnabled(states.ModeButtons);
    showImageAction->setEnabled(states.ShowImage);
    showExifAction->setEnabled(states.ShowExif);
    showStereoAction->setVisible(states.ShowStereo);
    saveStereoAction->setVisible(states.SaveStereo);
}

void MainWindow::SetStatusText(const std::string& text) { statusPanel->setText(QString::fromStdString(text)); }

void MainWindow::SetStatusHint(const std::string& hint) { statusPanel->setToolTip(QString::fromStdString(hint)); }

void MainWindow::SetListHint(const std::string& hint) { imageList->setToolTip(QString::fromStdString(hint)); }

void MainWindow::SetContextMenuBox(bool checked) {
    const QSignalBlocker quiet(contextMenuBox);
    contextMenuBox->setChecked(checked);
}

void MainWindow::RepaintList() { listModel_->ColoursChanged(); }

void MainWindow::ProcessPendingEvents() { QCoreApplication::processEvents(); }

void MainWindow::ShowExifWindow(const std::vector<window::ExifRowText>& rows) {
    QVector<ExifWindow::Row> shown;
    shown.reserve(static_cast<qsizetype>(rows.size()));
    for (const window::ExifRowText& row : rows)
        shown.append({QString::fromStdString(row.Caption), QString::fromStdString(row.Value)});
    if (exifWindow_ != nullptr) {
        exifWindow_->SetRows(shown);
        if (!exifWindow_->isVisible()) exifWindow_->show();
    }
    QCoreApplication::processEvents();
}

// ---- closing ----

void MainWindow::closeEvent(QCloseEvent* event) {
    model_.WindowClosing();
    event->accept();
}

// ---- dropped files ----

namespace {

// The local files among dropped data, as the core's paths.
std::vector<std::string> DroppedPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths.push_back(PathToCore(url.toLocalFile()));
    return paths;
}

}  // namespace

QString MainWindow::DroppedOpenedFile(const QMimeData* data) {
    return PathFromCore(window::MainWindowModel::DroppedOpenedFile(DroppedPaths(data)));
}

bool MainWindow::AcceptsDroppedFiles(const QMimeData* mime) const {
    const std::vector<std::string> paths = DroppedPaths(mime);
    return model_.AcceptsDrop() &&
           (!window::MainWindowModel::DroppedOpenedFile(paths).empty() || !model_.DroppedSpatialPhoto(paths).empty());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (AcceptsDroppedFiles(event->mimeData())) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (AcceptsDroppedFiles(event->mimeData())) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (!AcceptsDroppedFiles(event->mimeData())) return;
    event->acceptProposedAction();
    // Opened once the drop has finished, so that the dragging program is not kept waiting.
    QTimer::singleShot(0, this, [this, paths = DroppedPaths(event->mimeData())] { model_.FilesDropped(paths); });
}

}  // namespace veltrane::gui
