// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The windows are designed at 96 dots per inch (Windows' 100 %) and drawn at the dots per inch
// of the monitor they are on: the program declares itself per-monitor aware in its manifest
// (veltrane.exe.manifest), so Windows does not stretch its bitmaps but tells each window its
// DPI and, when it moves to a monitor of another DPI, sends WM_DPICHANGED. Every position, size
// and font of a window comes from its 96-dpi design through these helpers.
#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace veltrane::win32 {

inline constexpr UINT kDesignDpi = 96;

// The dots per inch of window: of its monitor where Windows says so per window (Windows 10
// 1607 on), else of the screen (LOGPIXELSY of the window's device context).
UINT WindowDpi(HWND window);

// A length of the 96-dpi design at dpi, rounded half up as MulDiv rounds: 265 becomes 398 at
// 144 dpi, 255 becomes 383.
int Scaled(int length, UINT dpi);

// A rectangle of the design (left, top, width, height at 96 dpi).
struct DesignRect {
    int x, y, width, height;
};
RECT Scaled(const DesignRect& rect, UINT dpi);

// The window size that gives a client area of width x height (in pixels at dpi) to a window of
// style and exStyle: the frame and the caption are measured at dpi too.
SIZE FrameSizeFor(int width, int height, DWORD style, DWORD exStyle, UINT dpi);

// The frame at (left, top) around a client area of width x height at 96 dpi: what a top-level
// window is created with before it knows its DPI.
RECT DesignFrame(int left, int top, int width, int height, DWORD style, DWORD exStyle);

// Gives window the frame around the designed client area (width x height at 96 dpi) scaled to
// dpi. It keeps its place, or with designedPlace moves to that screen position scaled too.
void SizeClientForDpi(HWND window, int width, int height, DWORD style, DWORD exStyle, UINT dpi,
                      const POINT* designedPlace = nullptr);

// A system metric (GetSystemMetrics' index, such as SM_CXVSCROLL) at dpi.
int SystemMetric(int index, UINT dpi);

// The rectangle that Windows suggests with WM_DPICHANGED (its lParam) given to window.
void MoveToSuggestedRect(HWND window, LPARAM suggested);

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

// The form's font at dpi: 8 point (11 pixels at 96 dpi) of face, optionally underlined.
FontHandle DialogFont(UINT dpi, bool underline, const wchar_t* face);

// The designed face where the system has it. Elsewhere (wine without Microsoft's fonts falls
// back to a wider sans) the first face in which widest fits room (pixels at 96 dpi), the last
// one tried if none does.
FontHandle FormFont(UINT dpi, bool underline, const wchar_t* designed, const std::wstring& widest, int room);

// The width of text in pixels drawn in font.
int TextWidth(HFONT font, const std::wstring& text);

}  // namespace veltrane::win32
