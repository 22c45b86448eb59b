// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Stereo window in plain Win32: the pair as the model renders it (an anaglyph, side by side
// or the wiggle animated in place), drawn scaled to fit its area, with the layout and glasses
// lists, the Align and Swap boxes, the parallax trackbar, a status line, Save and Close. A thin
// view over the toolkit-free StereoWindowModel, as the Qt window's is: it builds the controls,
// hands what the user does to the model's handlers and shows what the model decides. Laid out
// at 96 dpi and drawn at the DPI of its monitor (dpi_scaling.h).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/window/stereo_window_model.h"
#include "gui_win32/dpi_scaling.h"
#include "gui_win32/win32_controls.h"

namespace veltrane::win32 {

// The Stereo window's controls.
enum : int {
    kStereoPictureId = 401,   // the picture, owner-drawn
    kStereoLayoutLabelId,     // "&Layout:"
    kStereoLayoutBoxId,       // anaglyph, parallel, cross-eyed, wiggle
    kStereoGlassesLabelId,    // "&Glasses:"
    kStereoGlassesBoxId,      // the seven anaglyph kinds
    kStereoAlignBoxId,        // "&Align"
    kStereoSwapBoxId,         // "S&wap eyes"
    kStereoParallaxLabelId,   // "&Parallax:"
    kStereoParallaxSliderId,  // full-size pixels
    kStereoParallaxValueId,   // the slider's value, "+12 px"
    kStereoStatusId,          // the pair, its size and its alignment
    kStereoSaveButtonId,      // "&Save..."
    kStereoCloseButtonId,     // "&Close"
    kStereoAlignFullBoxId,    // "&Full": rotation, scale and vertical offset too
};

inline constexpr const wchar_t* kStereoWindowClass = L"VeltraneStereoWindow";

// The designed client area at 96 dpi, and the least the window can be made.
inline constexpr int kStereoClientWidth = 600;
inline constexpr int kStereoClientHeight = 450;
inline constexpr int kStereoMinClientHeight = 300;

// Where a picture of size picture is drawn in an area of size area: as large as fits with its
// proportions kept, never enlarged, centred.
RECT FittedPicture(SIZE picture, SIZE area);

class StereoWindow : private window::StereoWindowView {
public:
    // Creates the window hidden; the model shows it when a pair opens. Raises
    // WindowCreationError.
    StereoWindow(HINSTANCE instance, window::StereoWindowServices services);
    ~StereoWindow() override;
    StereoWindow(const StereoWindow&) = delete;
    StereoWindow& operator=(const StereoWindow&) = delete;

    window::StereoWindowModel& Model() { return model_; }
    HWND Handle() const { return window_; }
    HWND Control(int id) const { return ::GetDlgItem(window_, id); }
    // The dots per inch the window is laid out for.
    UINT Dpi() const { return dpi_; }
    // The picture held for drawing (0 x 0: none), and where it is drawn in the picture area.
    SIZE PictureSize() const { return {pictureWidth_, pictureHeight_}; }
    RECT PictureRect() const;
    // The colour (0xRRGGBB) of the held picture at (x, y) of the picture.
    std::uint32_t PicturePixel(int x, int y) const;
    bool Animating() const { return animating_; }

private:
    // What the model shows.
    void ShowWindow(const std::string& title) override;
    void HideWindow() override;
    void ShowPicture(const window::RgbPicture& picture) override;
    void SetControls(const window::StereoControls& controls) override;
    void SetAnimationTimer(int intervalMs) override;
    // Posts the call to the window as a message; one still queued when the window goes is lost.
    void CallOnInterfaceThread(std::function<void()> call) override;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void BuildControls();
    // Fonts and places for dpi.
    void ApplyDpi(UINT dpi);
    // Places every control for dpi_ and the client area's size: the picture takes what the rows
    // of controls below it leave.
    void LayOutControls();
    void Command(int id, int code);
    void DrawPicture(const DRAWITEMSTRUCT& item) const;
    // The trackbar moved: the model hears of it once the messages waiting now are handled, with
    // the latest value, so that a drag faster than the renders skips the values in between.
    void ParallaxMoved();
    void CloseRequested();

    window::StereoWindowModel model_;
    HWND window_ = nullptr;
    UINT dpi_ = kDesignDpi;
    FontHandle font_;
    // The picture as a top-down 24-bit DIB: BGR rows padded to four bytes.
    BITMAPINFO pictureInfo_{};
    std::vector<std::uint8_t> pictureBits_;
    int pictureWidth_ = 0, pictureHeight_ = 0;
    std::optional<window::StereoControls> applied_;  // what the controls show
    int pendingParallax_ = 0;
    bool parallaxQueued_ = false;
    bool animating_ = false;
};

}  // namespace veltrane::win32
