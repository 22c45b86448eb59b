// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every window of the program builds itself with: windows and controls created with a
// check (a failure is an error that names the window, never a null handle used later), the
// controls of a window as a table designed at 96 dpi and placed at the window's DPI, and the
// mark of the top-level windows whose keys go through the dialog navigation.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "gui_win32/dpi_scaling.h"

namespace veltrane::win32 {

// A window or a control could not be created: a class that is not registered, or a system out
// of window handles or memory.
class WindowCreationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// CreateWindowExW; a failure raises WindowCreationError with the class, the text and the
// system's reason.
HWND CreateWindowChecked(DWORD exStyle, const wchar_t* className, const std::wstring& text, DWORD style, RECT bounds,
                         HWND parent, HMENU menu, HINSTANCE instance);

// A control as designed at 96 dpi: WS_CHILD and WS_VISIBLE are added to style.
struct ControlDesign {
    int id;
    const wchar_t* className;
    const wchar_t* caption;
    DWORD style;
    DWORD exStyle;
    DesignRect bounds;
};

// Creates the control of design on parent, placed at dpi and drawn in font.
HWND CreateControl(HWND parent, const ControlDesign& design, UINT dpi, HFONT font);
// Moves the control of design to its place at dpi.
void PlaceControl(HWND parent, const ControlDesign& design, UINT dpi);
// Gives font to every control of parent and redraws them.
void SetFontOfControls(HWND parent, HFONT font);

// Marks a top-level window whose messages go through the dialog navigation (Tab, arrows,
// Alt+letter). The mark is a window property: UnmarkDialogNavigation must remove it while the
// window handles WM_NCDESTROY.
void MarkForDialogNavigation(HWND window);
void UnmarkDialogNavigation(HWND window);
bool UsesDialogNavigation(HWND window);

// What a top-level window of the program undoes while it handles WM_NCDESTROY: its mark, and
// the pointer to its object (GWLP_USERDATA), which no later message may use.
void DetachFromObject(HWND window);

}  // namespace veltrane::win32
