// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Stereo window: the pair as an anaglyph, side by side (parallel or cross-eyed) or as a
// wiggle animated in place, with the anaglyph kind, the Align and Swap boxes, a parallax slider
// that re-renders the picture as it moves, Open (a spatial photo, an MPO or a JPS file) and Save.
// A thin view over the toolkit-free
// StereoWindowModel: it builds the controls, hands what the user does to the model's handlers
// and shows what the model decides.
#include <functional>
#include <string>

#include <QImage>
#include <QWidget>

#include "core/window/stereo_window_model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace veltrane::gui {

// Paints a picture scaled to fit its area, keeping its proportions, centred on a dark ground.
class StereoPictureView : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    void SetPicture(QImage picture);
    const QImage& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

class StereoWindow : public QWidget, private window::StereoWindowView {
    Q_OBJECT

public:
    static constexpr int kDefaultWidth = 820;
    static constexpr int kDefaultHeight = 640;

    explicit StereoWindow(window::StereoWindowServices services, QWidget* parent = nullptr);
    ~StereoWindow() override;

    window::StereoWindowModel& Model() { return model_; }

    StereoPictureView* pictureView;  // the picture, scaled to fit
    QComboBox* layoutBox;            // "&Layout:" anaglyph, parallel, cross-eyed, wiggle
    QComboBox* anaglyphBox;          // "&Glasses:" the seven anaglyph kinds
    QCheckBox* alignBox;             // "&Align"
    QCheckBox* alignFullBox;         // "&Full": rotation, scale and vertical offset too
    QCheckBox* swapBox;              // "S&wap eyes"
    QSlider* parallaxSlider;         // "&Parallax:", full-size pixels
    QLabel* parallaxValue;           // the slider's value, "+12 px"
    QLabel* statusLabel;             // the pair, its size and its alignment
    QPushButton* openButton;         // "&Open..."
    QPushButton* saveButton;         // "&Save..."
    QPushButton* closeButton;        // "&Close"
    QTimer* animationTimer;          // the wiggle's frames

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // What the model shows.
    void ShowWindow(const std::string& title) override;
    void HideWindow() override;
    void ShowPicture(const window::RgbPicture& picture) override;
    void SetControls(const window::StereoControls& controls) override;
    void SetAnimationTimer(int intervalMs) override;
    void CallOnInterfaceThread(std::function<void()> call) override;

    void BuildControls();
    void ConnectControls();
    // The slider's changes reach the model once per turn of the event loop, with the latest
    // value: a drag faster than the renders skips the values in between.
    void ParallaxMoved(int value);

    window::StereoWindowModel model_;
    int pendingParallax_ = 0;
    bool parallaxQueued_ = false;
};

}  // namespace veltrane::gui
