// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/stereo_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace veltrane::gui {

// ---- the picture ----

void StereoPictureView::SetPicture(QImage picture) {
    picture_ = std::move(picture);
    update();
}

void StereoPictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x30, 0x30, 0x30));
    if (picture_.isNull()) return;
    QSize fitted = picture_.size().scaled(size(), Qt::KeepAspectRatio);
    if (picture_.width() <= width() && picture_.height() <= height()) fitted = picture_.size();  // never enlarged
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
}

// ---- the window ----

StereoWindow::StereoWindow(window::StereoWindowServices services, QWidget* parent)
    : QWidget(parent), model_(services, *this) {
    BuildControls();
    ConnectControls();
    SetControls(model_.Controls());
}

StereoWindow::~StereoWindow() = default;

void StereoWindow::BuildControls() {
    setWindowFlags(Qt::Window);
    setAttribute(Qt::WA_QuitOnClose, false);  // the main window's close ends the program
    setObjectName(QStringLiteral("stereoWindow"));
    setWindowTitle(QStringLiteral("Stereo"));
    resize(kDefaultWidth, kDefaultHeight);
    setMinimumSize(480, 360);

    pictureView = new StereoPictureView(this);
    pictureView->setObjectName(QStringLiteral("pictureView"));
    pictureView->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    layoutBox = new QComboBox(this);
    layoutBox->setObjectName(QStringLiteral("layoutBox"));
    for (const window::StereoViewEntry& entry : window::kStereoViews) layoutBox->addItem(QString::fromUtf8(entry.caption));
    auto* layoutLabel = new QLabel(QStringLiteral("&Layout:"), this);
    layoutLabel->setBuddy(layoutBox);

    anaglyphBox = new QComboBox(this);
    anaglyphBox->setObjectName(QStringLiteral("anaglyphBox"));
    for (const window::AnaglyphKindEntry& entry : window::kAnaglyphKinds)
        anaglyphBox->addItem(QString::fromUtf8(entry.caption));
    auto* anaglyphLabel = new QLabel(QStringLiteral("&Glasses:"), this);
    anaglyphLabel->setBuddy(anaglyphBox);

    alignBox = new QCheckBox(QStringLiteral("&Align"), this);
    alignBox->setObjectName(QStringLiteral("alignBox"));
    alignFullBox = new QCheckBox(QStringLiteral("&Full"), this);
    alignFullBox->setObjectName(QStringLiteral("alignFullBox"));
    alignFullBox->setToolTip(QStringLiteral("Corrects the rotation, scale and vertical offset between the eyes"));
    swapBox = new QCheckBox(QStringLiteral("S&wap eyes"), this);
    swapBox->setObjectName(QStringLiteral("swapBox"));

    parallaxSlider = new QSlider(Qt::Horizontal, this);
    parallaxSlider->setObjectName(QStringLiteral("parallaxSlider"));
    parallaxSlider->setTickPosition(QSlider::TicksBelow);
    auto* parallaxLabel = new QLabel(QStringLiteral("&Parallax:"), this);
    parallaxLabel->setBuddy(parallaxSlider);
    parallaxValue = new QLabel(this);
    parallaxValue->setObjectName(QStringLiteral("parallaxValue"));
    parallaxValue->setMinimumWidth(parallaxValue->fontMetrics().horizontalAdvance(QStringLiteral("-0000 px")));
    parallaxValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    openButton = new QPushButton(QStringLiteral("&Open\u2026"), this);
    openButton->setObjectName(QStringLiteral("openButton"));
    saveButton = new QPushButton(QStringLiteral("&Save\u2026"), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    closeButton = new QPushButton(QStringLiteral("&Close"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));

    animationTimer = new QTimer(this);
    animationTimer->setObjectName(QStringLiteral("animationTimer"));

    auto* choices = new QHBoxLayout;
    choices->addWidget(layoutLabel);
    choices->addWidget(layoutBox);
    choices->addSpacing(12);
    choices->addWidget(anaglyphLabel);
    choices->addWidget(anaglyphBox);
    choices->addSpacing(12);
    choices->addWidget(alignBox);
    choices->addWidget(alignFullBox);
    choices->addWidget(swapBox);
    choices->addStretch(1);

    auto* parallax = new QHBoxLayout;
    parallax->addWidget(parallaxLabel);
    parallax->addWidget(parallaxSlider, 1);
    parallax->addWidget(parallaxValue);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(statusLabel, 1);
    bottom->addWidget(openButton);
    bottom->addWidget(saveButton);
    bottom->addWidget(closeButton);

    auto* column = new QVBoxLayout(this);
    column->addWidget(pictureView, 1);
    column->addLayout(choices);
    column->addLayout(parallax);
    column->addLayout(bottom);
}

void StereoWindow::ConnectControls() {
    connect(layoutBox, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(window::kStereoViews.size()))
            model_.ViewChosen(window::kStereoViews[static_cast<std::size_t>(index)].view);
    });
    connect(anaglyphBox, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(window::kAnaglyphKinds.size()))
            model_.AnaglyphKindChosen(window::kAnaglyphKinds[static_cast<std::size_t>(index)].kind);
    });
    connect(alignBox, &QCheckBox::toggled, this, [this](bool checked) { model_.AlignToggled(checked); });
    connect(alignFullBox, &QCheckBox::toggled, this, [this](bool checked) { model_.AlignFullToggled(checked); });
    connect(swapBox, &QCheckBox::toggled, this, [this](bool checked) { model_.SwapToggled(checked); });
    connect(parallaxSlider, &QSlider::valueChanged, this, &StereoWindow::ParallaxMoved);
    connect(openButton, &QPushButton::clicked, this, [this] { model_.OpenRequested(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { model_.SaveRequested(); });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(animationTimer, &QTimer::timeout, this, [this] { model_.AnimationTimerFired(); });
}

void StereoWindow::ParallaxMoved(int value) {
    pendingParallax_ = value;
    if (parallaxQueued_) return;
    parallaxQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        parallaxQueued_ = false;
        model_.ParallaxChanged(pendingParallax_);
    });
}

void StereoWindow::closeEvent(QCloseEvent* event) {
    model_.WindowClosing();
    event->accept();
}

// ---- what the model shows ----

void StereoWindow::ShowWindow(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
    show();
    raise();
    activateWindow();
}

void StereoWindow::HideWindow() { hide(); }

void StereoWindow::ShowPicture(const window::RgbPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() < static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3) {
        pictureView->SetPicture(QImage());
        return;
    }
    // QImage only borrows the pixels; the copy owns them.
    const QImage borrowed(picture.pixels.data(), picture.width, picture.height, picture.width * 3,
                          QImage::Format_RGB888);
    pictureView->SetPicture(borrowed.copy());
}

void StereoWindow::SetControls(const window::StereoControls& controls) {
    const QSignalBlocker quietLayout(layoutBox), quietKind(anaglyphBox), quietAlign(alignBox), quietFull(alignFullBox),
        quietSwap(swapBox),
        quietSlider(parallaxSlider);
    for (std::size_t i = 0; i < window::kStereoViews.size(); ++i)
        if (window::kStereoViews[i].view == controls.view) layoutBox->setCurrentIndex(static_cast<int>(i));
    for (std::size_t i = 0; i < window::kAnaglyphKinds.size(); ++i)
        if (window::kAnaglyphKinds[i].kind == controls.anaglyph) anaglyphBox->setCurrentIndex(static_cast<int>(i));
    alignBox->setChecked(controls.align);
    alignFullBox->setChecked(controls.alignFull);
    swapBox->setChecked(controls.swap);
    parallaxSlider->setRange(controls.parallaxMin, controls.parallaxMax);
    parallaxSlider->setPageStep(std::max(1, controls.parallaxMax / 10));
    parallaxSlider->setTickInterval(std::max(1, controls.parallaxMax / 5));
    // A value still on its way to the model stays where the user put it.
    if (!parallaxQueued_) parallaxSlider->setValue(controls.parallax);
    parallaxValue->setText(QString::fromStdString(controls.parallaxText));
    statusLabel->setText(QString::fromStdString(controls.statusText));

    layoutBox->setEnabled(controls.viewChoice);
    anaglyphBox->setEnabled(controls.anaglyphChoice);
    alignBox->setEnabled(controls.alignBox);
    alignFullBox->setEnabled(controls.alignFullBox);
    swapBox->setEnabled(controls.swapBox);
    parallaxSlider->setEnabled(controls.parallaxSlider);
    saveButton->setEnabled(controls.saveButton);
    openButton->setVisible(controls.openButton);
}

void StereoWindow::SetAnimationTimer(int intervalMs) {
    if (intervalMs > 0) {
        animationTimer->start(intervalMs);
    } else {
        animationTimer->stop();
    }
}

void StereoWindow::CallOnInterfaceThread(std::function<void()> call) {
    // Queued to this window's thread; dropped with the window.
    QMetaObject::invokeMethod(this, [call = std::move(call)] { call(); }, Qt::QueuedConnection);
}

}  // namespace veltrane::gui
