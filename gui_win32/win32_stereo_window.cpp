// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_win32/win32_stereo_window.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <memory>

#include "gui_win32/win32_text.h"

namespace veltrane::win32 {
namespace {

constexpr DWORD kStereoStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kStereoExStyle = WS_EX_CONTROLPARENT;
constexpr UINT_PTR kAnimationTimerId = 1;
// Posted to the window when the trackbar moves; handled once what waits before it is done.
constexpr UINT kParallaxMessage = WM_APP + 1;
// A call from another thread (CallOnInterfaceThread): lParam is a std::function<void()> of ours.
constexpr UINT kCallMessage = WM_APP + 2;
// The picture area's ground.
constexpr COLORREF kGround = RGB(0x30, 0x30, 0x30);

// The edges of the client area that a control keeps its distance to as the window is resized:
// with both edges of a direction it stretches, with the far one alone it moves.
enum Anchor : unsigned { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8 };

struct StereoControlDesign {
    ControlDesign design;
    unsigned anchors;
};

// The controls as designed at 96 dpi in a client area of kStereoClientWidth x
// kStereoClientHeight, in the tab order: the picture over three rows of controls, the choices,
// the parallax and the status line with the buttons. A label takes the height of its row and
// centres its text in it, and comes just before the control its mnemonic reaches. A drop-down
// list's height is that of its open list; closed, it is as high as its font makes it.
constexpr unsigned kBelow = kLeft | kBottom;  // rows under the picture move down with the edge
constexpr DWORD kLabelStyle = SS_LEFT | SS_CENTERIMAGE;
constexpr StereoControlDesign kStereoControls[] = {
    {{kStereoPictureId, L"STATIC", L"", SS_OWNERDRAW, 0, {8, 8, 584, 337}}, kLeft | kTop | kRight | kBottom},
    {{kStereoLayoutLabelId, L"STATIC", L"&Layout:", kLabelStyle, 0, {8, 353, 42, 22}}, kBelow},
    {{kStereoLayoutBoxId, WC_COMBOBOXW, L"", WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST, 0,
      {52, 353, 165, 200}},
     kBelow},
    {{kStereoGlassesLabelId, L"STATIC", L"&Glasses:", kLabelStyle, 0, {229, 353, 46, 22}}, kBelow},
    {{kStereoGlassesBoxId, WC_COMBOBOXW, L"", WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST, 0,
      {277, 353, 145, 200}},
     kBelow},
    {{kStereoAlignBoxId, L"BUTTON", L"&Align", WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0, {434, 353, 48, 22}},
     kBelow},
    {{kStereoAlignFullBoxId, L"BUTTON", L"&Full", WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0, {484, 353, 40, 22}},
     kBelow},
    {{kStereoSwapBoxId, L"BUTTON", L"S&wap eyes", WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0, {526, 353, 66, 22}},
     kBelow},
    {{kStereoParallaxLabelId, L"STATIC", L"&Parallax:", kLabelStyle, 0, {8, 381, 52, 30}}, kBelow},
    {{kStereoParallaxSliderId, TRACKBAR_CLASSW, L"", WS_TABSTOP | WS_GROUP | TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM, 0,
      {62, 381, 466, 30}},
     kBelow | kRight},
    {{kStereoParallaxValueId, L"STATIC", L"0 px", SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX, 0, {532, 381, 60, 30}},
     kRight | kBottom},
    {{kStereoStatusId, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, 0, {8, 417, 420, 25}},
     kBelow | kRight},
    {{kStereoSaveButtonId, L"BUTTON", L"&Save\u2026", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, {436, 417, 75, 25}},
     kRight | kBottom},
    {{kStereoCloseButtonId, L"BUTTON", L"&Close", WS_TABSTOP | BS_PUSHBUTTON, 0, {517, 417, 75, 25}},
     kRight | kBottom},
};

// The widest caption of a drop-down list and the room for it beside the list's arrow: the
// form's font is the designed "MS Sans Serif" where that caption fits (FormFont).
constexpr const wchar_t* kWidestChoice = L"Cross-eyed, right eye first";
constexpr int kWidestChoiceRoom = 165 - 22;

// The place of control in a client area of clientWidth x clientHeight at dpi. The distance to an
// anchored far edge is scaled as designed, so it is the same at every size of the window.
RECT PlaceIn(const StereoControlDesign& control, int clientWidth, int clientHeight, UINT dpi) {
    const DesignRect& bounds = control.design.bounds;
    RECT place = Scaled(bounds, dpi);
    if (control.anchors & kRight) {
        place.right = clientWidth - Scaled(kStereoClientWidth - bounds.x - bounds.width, dpi);
        if (!(control.anchors & kLeft)) place.left = place.right - Scaled(bounds.width, dpi);
    }
    if (control.anchors & kBottom) {
        place.bottom = clientHeight - Scaled(kStereoClientHeight - bounds.y - bounds.height, dpi);
        if (!(control.anchors & kTop)) place.top = place.bottom - Scaled(bounds.height, dpi);
    }
    return place;
}

template <typename Entry, std::size_t N, typename Value>
int IndexOf(const std::array<Entry, N>& entries, Value Entry::*member, Value value) {
    for (std::size_t i = 0; i < N; ++i)
        if (entries[i].*member == value) return static_cast<int>(i);
    return -1;
}

}  // namespace

RECT FittedPicture(SIZE picture, SIZE area) {
    if (picture.cx <= 0 || picture.cy <= 0 || area.cx <= 0 || area.cy <= 0) return {0, 0, 0, 0};
    LONG width = picture.cx, height = picture.cy;
    if (width > area.cx || height > area.cy) {
        // The side that meets its edge first decides: width/height against area's proportions.
        if (static_cast<long long>(width) * area.cy > static_cast<long long>(height) * area.cx) {
            height = static_cast<LONG>(std::max<long long>(1, static_cast<long long>(height) * area.cx / width));
            width = area.cx;
        } else {
            width = static_cast<LONG>(std::max<long long>(1, static_cast<long long>(width) * area.cy / height));
            height = area.cy;
        }
    }
    const LONG left = (area.cx - width) / 2, top = (area.cy - height) / 2;
    return {left, top, left + width, top + height};
}

StereoWindow::StereoWindow(HINSTANCE instance, window::StereoWindowServices services) : model_(services, *this) {
    window_ = CreateWindowChecked(kStereoExStyle, kStereoWindowClass, L"Stereo", kStereoStyle,
                                  DesignFrame(CW_USEDEFAULT, CW_USEDEFAULT, kStereoClientWidth, kStereoClientHeight,
                                              kStereoStyle, kStereoExStyle),
                                  nullptr, nullptr, instance);
    try {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StereoWindow::WindowProc));
        MarkForDialogNavigation(window_);
        dpi_ = WindowDpi(window_);
        SizeClientForDpi(window_, kStereoClientWidth, kStereoClientHeight, kStereoStyle, kStereoExStyle, dpi_);
        BuildControls();
        SetControls(model_.Controls());
    } catch (...) {
        ::DestroyWindow(window_);
        throw;
    }
}

StereoWindow::~StereoWindow() {
    if (window_ != nullptr) ::DestroyWindow(window_);
}

void StereoWindow::BuildControls() {
    font_ = FormFont(dpi_, false, L"MS Sans Serif", kWidestChoice, kWidestChoiceRoom);
    for (const StereoControlDesign& control : kStereoControls) CreateControl(window_, control.design, dpi_, font_.get());
    HWND layouts = Control(kStereoLayoutBoxId);
    for (const window::StereoViewEntry& entry : window::kStereoViews)
        ::SendMessageW(layouts, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(entry.caption).c_str()));
    HWND kinds = Control(kStereoGlassesBoxId);
    for (const window::AnaglyphKindEntry& entry : window::kAnaglyphKinds)
        ::SendMessageW(kinds, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(entry.caption).c_str()));
    LayOutControls();
}

void StereoWindow::ApplyDpi(UINT dpi) {
    if (dpi == dpi_) return;
    dpi_ = dpi;
    FontHandle font = FormFont(dpi_, false, L"MS Sans Serif", kWidestChoice, kWidestChoiceRoom);
    SetFontOfControls(window_, font.get());
    font_ = std::move(font);  // the old font goes once no control uses it
    LayOutControls();
}

void StereoWindow::LayOutControls() {
    RECT client{};
    ::GetClientRect(window_, &client);
    // Never narrower or lower than the least size, even while Windows is still sizing the frame.
    const int width = std::max<int>(client.right, Scaled(kStereoClientWidth, dpi_));
    const int height = std::max<int>(client.bottom, Scaled(kStereoMinClientHeight, dpi_));
    for (const StereoControlDesign& control : kStereoControls) {
        const RECT place = PlaceIn(control, width, height, dpi_);
        if (HWND item = Control(control.design.id); item != nullptr)
            ::MoveWindow(item, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
    }
}

RECT StereoWindow::PictureRect() const {
    RECT area{};
    ::GetClientRect(Control(kStereoPictureId), &area);
    return FittedPicture({pictureWidth_, pictureHeight_}, {area.right, area.bottom});
}

std::uint32_t StereoWindow::PicturePixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= pictureWidth_ || y >= pictureHeight_) return 0;
    const std::size_t stride = pictureBits_.size() / static_cast<std::size_t>(pictureHeight_);
    const std::uint8_t* bgr = pictureBits_.data() + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
    return static_cast<std::uint32_t>(bgr[2]) << 16 | static_cast<std::uint32_t>(bgr[1]) << 8 | bgr[0];
}

// ---- what the model shows ----

void StereoWindow::ShowWindow(const std::string& title) {
    ::SetWindowTextW(window_, Widen(title).c_str());
    if (!::IsWindowVisible(window_)) ::ShowWindow(window_, SW_SHOWNORMAL);
    if (::IsIconic(window_)) ::ShowWindow(window_, SW_RESTORE);
    ::SetForegroundWindow(window_);
    // The keys work at once: Tab, the arrows on the slider, Escape to close.
    if (!::IsChild(window_, ::GetFocus())) ::SetFocus(Control(kStereoLayoutBoxId));
}

void StereoWindow::HideWindow() { ::ShowWindow(window_, SW_HIDE); }

void StereoWindow::ShowPicture(const window::RgbPicture& picture) {
    const bool usable = picture.width > 0 && picture.height > 0 &&
                        picture.pixels.size() >= static_cast<std::size_t>(picture.width) *
                                                     static_cast<std::size_t>(picture.height) * 3;
    if (!usable) {
        pictureBits_.clear();
        pictureWidth_ = pictureHeight_ = 0;
    } else {
        // RGB rows without padding become the DIB's BGR rows, each padded to four bytes.
        const auto width = static_cast<std::size_t>(picture.width), height = static_cast<std::size_t>(picture.height);
        const std::size_t stride = (width * 3 + 3) & ~std::size_t{3};
        pictureBits_.assign(stride * height, 0);
        for (std::size_t y = 0; y < height; ++y) {
            const std::uint8_t* from = picture.pixels.data() + y * width * 3;
            std::uint8_t* to = pictureBits_.data() + y * stride;
            for (std::size_t x = 0; x < width; ++x, from += 3, to += 3) {
                to[0] = from[2];
                to[1] = from[1];
                to[2] = from[0];
            }
        }
        pictureWidth_ = picture.width;
        pictureHeight_ = picture.height;
        BITMAPINFOHEADER& header = pictureInfo_.bmiHeader;
        header = {};
        header.biSize = sizeof header;
        header.biWidth = picture.width;
        header.biHeight = -picture.height;  // top-down, as the picture's rows come
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
    }
    // Drawn when the window next paints: renders that come faster than paints show the latest.
    ::InvalidateRect(Control(kStereoPictureId), nullptr, FALSE);
}

void StereoWindow::SetControls(const window::StereoControls& controls) {
    // Only what changed is set: a slider step changes the value and its text, and every control
    // set again would be drawn again. None of these messages notifies the window, so the model
    // does not hear its own settings back as the user's.
    const bool all = !applied_.has_value();
    auto changed = [&](auto member) { return all || controls.*member != applied_.value().*member; };
    using Controls = window::StereoControls;
    if (changed(&Controls::view))
        ::SendMessageW(
            Control(kStereoLayoutBoxId), CB_SETCURSEL,
            static_cast<WPARAM>(IndexOf(window::kStereoViews, &window::StereoViewEntry::view, controls.view)), 0);
    if (changed(&Controls::anaglyph))
        ::SendMessageW(
            Control(kStereoGlassesBoxId), CB_SETCURSEL,
            static_cast<WPARAM>(IndexOf(window::kAnaglyphKinds, &window::AnaglyphKindEntry::kind, controls.anaglyph)),
            0);
    if (changed(&Controls::align))
        ::SendMessageW(Control(kStereoAlignBoxId), BM_SETCHECK, controls.align ? BST_CHECKED : BST_UNCHECKED, 0);
    if (changed(&Controls::alignFull))
        ::SendMessageW(Control(kStereoAlignFullBoxId), BM_SETCHECK, controls.alignFull ? BST_CHECKED : BST_UNCHECKED, 0);
    if (changed(&Controls::swap))
        ::SendMessageW(Control(kStereoSwapBoxId), BM_SETCHECK, controls.swap ? BST_CHECKED : BST_UNCHECKED, 0);
    HWND slider = Control(kStereoParallaxSliderId);
    if (changed(&Controls::parallaxMin) || changed(&Controls::parallaxMax)) {
        ::SendMessageW(slider, TBM_SETRANGEMIN, FALSE, controls.parallaxMin);
        ::SendMessageW(slider, TBM_SETRANGEMAX, TRUE, controls.parallaxMax);
        ::SendMessageW(slider, TBM_SETPAGESIZE, 0, std::max(1, controls.parallaxMax / 10));
        ::SendMessageW(slider, TBM_SETTICFREQ, static_cast<WPARAM>(std::max(1, controls.parallaxMax / 5)), 0);
    }
    // A value still on its way to the model stays where the user put it.
    if (!parallaxQueued_ && ::SendMessageW(slider, TBM_GETPOS, 0, 0) != controls.parallax)
        ::SendMessageW(slider, TBM_SETPOS, TRUE, controls.parallax);
    if (changed(&Controls::parallaxText))
        ::SetWindowTextW(Control(kStereoParallaxValueId), Widen(controls.parallaxText).c_str());
    if (changed(&Controls::statusText)) ::SetWindowTextW(Control(kStereoStatusId), Widen(controls.statusText).c_str());

    ::EnableWindow(Control(kStereoLayoutBoxId), controls.viewChoice);
    ::EnableWindow(Control(kStereoGlassesBoxId), controls.anaglyphChoice);
    ::EnableWindow(Control(kStereoAlignBoxId), controls.alignBox);
    ::EnableWindow(Control(kStereoAlignFullBoxId), controls.alignFullBox);
    ::EnableWindow(Control(kStereoSwapBoxId), controls.swapBox);
    ::EnableWindow(slider, controls.parallaxSlider);
    ::EnableWindow(Control(kStereoSaveButtonId), controls.saveButton);
    applied_ = controls;
}

void StereoWindow::SetAnimationTimer(int intervalMs) {
    if (intervalMs > 0) {
        ::SetTimer(window_, kAnimationTimerId, static_cast<UINT>(intervalMs), nullptr);
    } else {
        ::KillTimer(window_, kAnimationTimerId);
    }
    animating_ = intervalMs > 0;
}

void StereoWindow::CallOnInterfaceThread(std::function<void()> call) {
    auto* posted = new std::function<void()>(std::move(call));
    if (window_ == nullptr || !::PostMessageW(window_, kCallMessage, 0, reinterpret_cast<LPARAM>(posted))) delete posted;
}

// ---- messages ----

LRESULT CALLBACK StereoWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<StereoWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        ::KillTimer(window, kAnimationTimerId);
        DetachFromObject(window);
        if (self != nullptr && self->window_ == window) self->window_ = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (self == nullptr || self->window_ != window) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT StereoWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        LayOutControls();
        return 0;
    case WM_GETMINMAXINFO: {
        // The least client area inside the frame as it is drawn now.
        RECT frame{}, client{};
        ::GetWindowRect(window_, &frame);
        ::GetClientRect(window_, &client);
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {
            Scaled(kStereoClientWidth, dpi_) + (frame.right - frame.left) - client.right,
            Scaled(kStereoMinClientHeight, dpi_) + (frame.bottom - frame.top) - client.bottom};
        return 0;
    }
    case WM_DPICHANGED:
        // Moved to a monitor of another DPI: Windows suggests the frame scaled alike.
        ApplyDpi(HIWORD(wParam));
        MoveToSuggestedRect(window_, lParam);
        LayOutControls();
        return 0;
    case WM_DRAWITEM:
        if (wParam == kStereoPictureId) {
            DrawPicture(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        break;
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == Control(kStereoParallaxSliderId)) {
            ParallaxMoved();
            return 0;
        }
        break;
    case kCallMessage: {
        const std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
        (*call)();
        return 0;
    }
    case kParallaxMessage:
        parallaxQueued_ = false;
        model_.ParallaxChanged(pendingParallax_);
        return 0;
    case WM_TIMER:
        if (wParam == kAnimationTimerId) {
            model_.AnimationTimerFired();
            return 0;
        }
        break;
    case WM_CLOSE:
        CloseRequested();  // only hidden: the main window's close ends the program
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void StereoWindow::Command(int id, int code) {
    auto chosen = [&] { return static_cast<int>(::SendMessageW(Control(id), CB_GETCURSEL, 0, 0)); };
    auto checked = [&] { return ::SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; };
    switch (id) {
    case kStereoLayoutBoxId:
        if (code == CBN_SELCHANGE) {
            const int index = chosen();
            if (index >= 0 && index < static_cast<int>(window::kStereoViews.size()))
                model_.ViewChosen(window::kStereoViews[static_cast<std::size_t>(index)].view);
        }
        break;
    case kStereoGlassesBoxId:
        if (code == CBN_SELCHANGE) {
            const int index = chosen();
            if (index >= 0 && index < static_cast<int>(window::kAnaglyphKinds.size()))
                model_.AnaglyphKindChosen(window::kAnaglyphKinds[static_cast<std::size_t>(index)].kind);
        }
        break;
    case kStereoAlignBoxId:
        if (code == BN_CLICKED) model_.AlignToggled(checked());
        break;
    case kStereoAlignFullBoxId:
        if (code == BN_CLICKED) model_.AlignFullToggled(checked());
        break;
    case kStereoSwapBoxId:
        if (code == BN_CLICKED) model_.SwapToggled(checked());
        break;
    case kStereoSaveButtonId:
        if (code == BN_CLICKED) model_.SaveRequested();
        break;
    case kStereoCloseButtonId:
    case IDCANCEL:  // Escape
        if (code == BN_CLICKED) CloseRequested();
        break;
    default:
        break;
    }
}

void StereoWindow::ParallaxMoved() {
    pendingParallax_ = static_cast<int>(::SendMessageW(Control(kStereoParallaxSliderId), TBM_GETPOS, 0, 0));
    if (parallaxQueued_) return;
    parallaxQueued_ = ::PostMessageW(window_, kParallaxMessage, 0, 0) != FALSE;
    if (!parallaxQueued_) model_.ParallaxChanged(pendingParallax_);  // a full queue: at once
}

void StereoWindow::CloseRequested() {
    model_.WindowClosing();
    ::ShowWindow(window_, SW_HIDE);
}

void StereoWindow::DrawPicture(const DRAWITEMSTRUCT& item) const {
    // Drawn off screen first, so that a drag of the slider does not flicker.
    const int width = item.rcItem.right - item.rcItem.left, height = item.rcItem.bottom - item.rcItem.top;
    if (width <= 0 || height <= 0) return;
    HDC canvas = ::CreateCompatibleDC(item.hDC);
    HBITMAP bitmap = ::CreateCompatibleBitmap(item.hDC, width, height);
    HGDIOBJ old = ::SelectObject(canvas, bitmap);
    const RECT all{0, 0, width, height};
    HBRUSH ground = ::CreateSolidBrush(kGround);
    ::FillRect(canvas, &all, ground);
    ::DeleteObject(ground);
    if (!pictureBits_.empty()) {
        const RECT target = FittedPicture({pictureWidth_, pictureHeight_}, {width, height});
        // HALFTONE averages the pixels a reduction drops; it needs the brush origin set.
        ::SetStretchBltMode(canvas, HALFTONE);
        ::SetBrushOrgEx(canvas, 0, 0, nullptr);
        ::StretchDIBits(canvas, target.left, target.top, target.right - target.left, target.bottom - target.top, 0, 0,
                        pictureWidth_, pictureHeight_, pictureBits_.data(), &pictureInfo_, DIB_RGB_COLORS, SRCCOPY);
    }
    ::BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, canvas, 0, 0, SRCCOPY);
    ::SelectObject(canvas, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(canvas);
}

}  // namespace veltrane::win32
