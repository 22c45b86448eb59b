#include "gui/main_window.h"

#include <algorithm>
#include <exception>
#include <functional>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
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

#include "core/exif/exif_rows.h"
#include "core/images/extraction.h"
#include "gui/exif_window.h"
#include "gui/hyper_label.h"
#include "gui/temp_files.h"
#include "gui/text.h"
#include "stereo/stereo_command.h"

namespace veltrane::gui {
namespace {

// Thrown out of the scan when the window closes while it runs, so that the scan stops.
struct ScanCancelled {};

constexpr std::uint32_t kIncludedColour = 0xFFFFFF;
constexpr std::uint32_t kLeftOutColour = 0xEEEEEE;
constexpr std::uint32_t kSelectedColour = 0xCCCCCC;

const QString kFirstHint = QStringLiteral(" Double click for image preview ");
const QString kSecondHintLine = QStringLiteral(" Right click for menu ");

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
            focus.backgroundColor = QColor(static_cast<QRgb>(form_.Images().ListItemColour));
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

// Restores the scanning state on every way out of a scan.
class ScanInProgress {
public:
    ScanInProgress(bool& flag, std::function<void()> changed) : flag_(flag), changed_(std::move(changed)) {
        flag_ = true;
        changed_();
    }
    ~ScanInProgress() {
        flag_ = false;
        changed_();
    }
    ScanInProgress(const ScanInProgress&) = delete;
    ScanInProgress& operator=(const ScanInProgress&) = delete;

private:
    bool& flag_;
    std::function<void()> changed_;
};

QFont PixelFont(const QStringList& families, int pixels) {
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixels);
    return font;
}

}  // namespace

TForm1::TForm1(TForm1Services services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), hint_(kFirstHint) {
    BuildControls();
    WireActions();
    UpdateControls();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::BuildControls() {
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
    ListBox1->addItem(QStringLiteral("Veltrane " VELTRANE_VERSION));
    ListBox1->addItem(QStringLiteral("the Veltrane developers"));

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
    HyperLabel1->SetURL(services_.UserGuideUrl);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    ShowImage1 = PopupMenu1->addAction(QStringLiteral("Show Image"));
    ShowImage1->setObjectName(QStringLiteral("ShowImage1"));
    ShowEXIF1 = PopupMenu1->addAction(QStringLiteral("EXIF Info"));
    ShowEXIF1->setObjectName(QStringLiteral("ShowEXIF1"));
    ShowStereo1 = PopupMenu1->addAction(QStringLiteral("Show Stereo"));
    ShowStereo1->setObjectName(QStringLiteral("ShowStereo1"));
    SaveStereo1 = PopupMenu1->addAction(QStringLiteral("Save Stereo\u2026"));
    SaveStereo1->setObjectName(QStringLiteral("SaveStereo1"));

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
    connect(ShowStereo1, &QAction::triggered, this, [this] { RunCommand([this] { ShowStereo1Click(); }); });
    connect(SaveStereo1, &QAction::triggered, this, [this] { RunCommand([this] { SaveStereo1Click(); }); });
    HyperLabel1->SetUrlOpener([this](const QString& url) { services_.Desktop.OpenUrl(url); });
}

void TForm1::UpdateControls() {
    const bool idle = !scanning_;
    const bool ready = opened_ && idle;
    Button2->setEnabled(idle);
    CheckBox1->setEnabled(idle);
    Button1->setEnabled(ready);
    ListBox1->setEnabled(ready);
    for (QRadioButton* mode : {RadioButton1, RadioButton2, RadioButton3}) mode->setEnabled(ready);
    const bool selected = ready && SelectedIndex() >= 0;
    ShowImage1->setEnabled(selected);
    ShowEXIF1->setEnabled(selected);
    const bool pair = ready && Images_.ImageCount >= 2;
    ShowStereo1->setVisible(pair);
    SaveStereo1->setVisible(pair && services_.SaveDialog != nullptr);
}

template <typename Command>
void TForm1::RunCommand(Command&& command) {
    try {
        command();
    } catch (const ScanCancelled&) {
        // The window closed during a scan: nothing to report.
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TForm1::ShowException(const std::exception& error) {
    services_.Messages.ShowError(this, FromErrorText(error.what()));
}

ModeButton TForm1::CheckedModeButton() const {
    if (RadioButton2->isChecked()) return ModeButton::Odd;
    if (RadioButton3->isChecked()) return ModeButton::Even;
    return ModeButton::All;
}

int TForm1::SelectedIndex() const {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    return selected.isEmpty() ? -1 : ListBox1->row(selected.first());
}

// ---- start-up ----

void TForm1::FormCreate() {
    // A registration that exists is written again for this program's path with the mode word it
    // carries; the box is then ticked without running CheckBox1Click, which would register the
    // mode of the buttons (All at every start) instead.
    bool registered = false;
    try {
        registered = RefreshRegistration(services_.Registration, services_.ProgramPath);
    } catch (const std::exception& error) {
        ShowException(error);
        try {
            registered = services_.Registration.IsRegistered();
        } catch (const std::exception&) {
            registered = false;
        }
    }
    if (registered) {
        const QSignalBlocker quiet(CheckBox1);
        CheckBox1->setChecked(true);
    }
}

// ---- Open ----

void TForm1::Button2Click() {
    if (scanning_) return;
    const QString path = services_.OpenDialog.GetOpenFileName(this, QStringLiteral("Open MPO file"),
                                                              QStringLiteral("MPO files (*.mpo)"));
    if (path.isEmpty()) return;
    OpenMpoFile(path);
}

void TForm1::OpenMpoFile(const QString& path) {
    if (scanning_) return;
    RunCommand([&] {
        Images_.SourceFileName = PathToCore(path);
        ListBox1->clear();
        limitReached_ = false;
        mpfNotice_.clear();
        {
            ScanInProgress scan(scanning_, [this] { UpdateControls(); });
            ScanImageOffsets(Images_, Images_.SourceFileName, ImageSignature, *this);
        }
        if (Images_.ImageCount > 0) {
            opened_ = true;
            Panel1->setText(QFileInfo(path).fileName());
        }
        // An ignored index is told in the status panel (in full in its tool tip), not in a box.
        if (!mpfNotice_.isEmpty())
            Panel1->setText(QFileInfo(path).fileName() + QStringLiteral(": ") + mpfNotice_);
        Panel1->setToolTip(mpfNotice_);
        UpdateControls();
        hint_ = kFirstHint + QStringLiteral("\n\r") + kSecondHintLine;
        ListBox1->setToolTip(kFirstHint + QLatin1Char('\n') + kSecondHintLine);
        if (limitReached_) {
            services_.Messages.ShowInformation(
                this, QStringLiteral("%1 holds more than %2 images; only the first %2 are listed.")
                          .arg(QFileInfo(path).fileName())
                          .arg(kMaxImages));
        }
    });
}

void TForm1::AppendListLine(const std::string& line) { ListBox1->addItem(FromCp1252(line)); }

void TForm1::ProcessPendingEvents() {
    QCoreApplication::processEvents();
    if (closing_) throw ScanCancelled{};
}

void TForm1::ImageLimitReached(std::int64_t) { limitReached_ = true; }

void TForm1::MpfIndexIgnored(const std::string& reason) {
    mpfNotice_ = QStringLiteral("MPF index ignored: ") + QString::fromStdString(reason);
}

// ---- Extract ----

void TForm1::Button1Click() {
    if (scanning_) return;
    RunCommand([&] { RunExtractCommand(Images_, CheckedModeButton(), false, services_.Folders); });
}

// ---- the context-menu entry ----

void TForm1::CheckBox1Click(bool checked) {
    // The mode is taken at the moment the box is ticked; later changes of the buttons leave the
    // registration as it is.
    RunCommand([&] {
        if (!checked) {
            services_.Registration.Unregister();
            return;
        }
        std::string modeWord;
        if (RadioButton2->isChecked()) modeWord = "odd";
        if (RadioButton3->isChecked()) modeWord = "even";
        services_.Registration.Register(services_.ProgramPath, modeWord);
    });
}

// ---- the image list ----

void TForm1::RadioButton1Click() { ListBox1->viewport()->update(); }

void TForm1::ListBox1DrawItem(QPainter& canvas, int Index, const QRect& Rect) {
    std::uint32_t& colour = Images_.ListItemColour;
    if (RadioButton1->isChecked()) colour = kIncludedColour;
    if (RadioButton2->isChecked()) colour = Index % 2 == 1 ? kLeftOutColour : kIncludedColour;
    if (RadioButton3->isChecked()) colour = Index % 2 == 1 ? kIncludedColour : kLeftOutColour;
    if (SelectedIndex() == Index) colour = kSelectedColour;

    const QListWidgetItem* item = ListBox1->item(Index);
    canvas.save();
    canvas.fillRect(Rect, QColor(static_cast<QRgb>(colour)));
    canvas.setPen(Qt::black);
    canvas.setFont(ListBox1->font());
    if (item != nullptr) canvas.drawText(Rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, item->text());
    canvas.restore();
}

void TForm1::ListBox1Click1() {
    ListBox1->viewport()->update();
    UpdateControls();
}

// ---- preview and EXIF ----

void TForm1::ListBox1Click(QObject* sender) {
    UpdateControls();
    const int selected = SelectedIndex();
    if (selected < 0 || scanning_) return;
    RunCommand([&] {
        const int n = selected + 1;
        if (n > Images_.ImageCount) return;
        Images_.TempImageFile = NewTempImageFileName(services_.Temp.TempFolder(), services_.Ticks.TickCount());
        CopyImageToFile(Images_, n, Images_.TempImageFile);
        if (sender == ShowEXIF1) {
            ShowEXIF1Click();
        } else {
            services_.Desktop.OpenFile(Images_.TempImageFile);
        }
    });
}

void TForm1::ShowEXIF1Click() {
    showexif();
    if (Form2_ != nullptr && !Form2_->isVisible()) Form2_->show();
}

void TForm1::showexif() {
    const int selected = SelectedIndex();
    const QListWidgetItem* item = selected >= 0 ? ListBox1->item(selected) : nullptr;
    const std::string entry = item != nullptr ? ToCp1252(item->text().trimmed()) : std::string();
    const exif::ExifRows rows = exif::ExifWindowRows(Images_.TempImageFile, entry);
    QVector<TForm2::Row> shown;
    shown.reserve(static_cast<qsizetype>(rows.size()));
    for (const exif::ExifRow& row : rows) shown.append({FromCp1252(std::string(row.Caption)), FromCp1252(row.Value)});
    if (Form2_ != nullptr) Form2_->SetRows(shown);
    QCoreApplication::processEvents();
}

// ---- stereo pictures of images 1 and 2 ----

void TForm1::ShowStereo1Click() {
    if (Images_.ImageCount < 2) return;
    const auto [left, right] = stereo::ReadPair(Images_.SourceFileName, 1, 2);
    const stereo::StereoPicture picture = stereo::ComposeStereo(left, right, {stereo::Layout::Anaglyph, true, {}});
    Images_.TempImageFile = NewTempImageFileName(services_.Temp.TempFolder(), services_.Ticks.TickCount());
    stereo::WritePicture(picture, Images_.TempImageFile);
    services_.Desktop.OpenFile(Images_.TempImageFile);
}

void TForm1::SaveStereo1Click() {
    if (Images_.ImageCount < 2 || services_.SaveDialog == nullptr) return;
    static constexpr stereo::Layout kLayouts[] = {stereo::Layout::Cross, stereo::Layout::Parallel,
                                                  stereo::Layout::Anaglyph};
    const QStringList types = {QStringLiteral("JPS cross, right eye first (*.jps)"),
                               QStringLiteral("Parallel, left eye first (*.jpg)"),
                               QStringLiteral("Red-cyan anaglyph (*.jpg)")};
    QStringList names;
    for (stereo::Layout layout : kLayouts)
        names << PathFromCore(stereo::DefaultStereoName(Images_.SourceFileName, layout));
    int type = 0;
    const QString path = services_.SaveDialog->GetSaveFileName(this, QStringLiteral("Save Stereo"), types, names, type);
    if (path.isEmpty()) return;
    const auto [left, right] = stereo::ReadPair(Images_.SourceFileName, 1, 2);
    const stereo::Layout layout = kLayouts[type >= 0 && type < 3 ? type : 0];
    stereo::WritePicture(stereo::ComposeStereo(left, right, {layout, true, {}}), PathToCore(path));
}

// ---- closing ----

void TForm1::FormClose() { DeleteFilesByMask(services_.Temp.TempFolder(), kTempFileMask); }

void TForm1::closeEvent(QCloseEvent* event) {
    if (scanning_) closing_ = true;  // the scan stops at its next image
    FormClose();
    event->accept();
}

// ---- dropped files ----

QString TForm1::DroppedMpoFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QFileInfo file(url.toLocalFile());
        if (file.suffix().compare(QLatin1String("mpo"), Qt::CaseInsensitive) == 0 && file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!scanning_ && !DroppedMpoFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (!scanning_ && !DroppedMpoFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QString path = DroppedMpoFile(event->mimeData());
    if (scanning_ || path.isEmpty()) return;
    event->acceptProposedAction();
    // Opened once the drop has finished, so that the dragging program is not kept waiting.
    QTimer::singleShot(0, this, [this, path] { OpenMpoFile(path); });
}

}  // namespace veltrane::gui
