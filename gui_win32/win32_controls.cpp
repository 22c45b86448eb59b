// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_win32/win32_controls.h"

#include "gui_win32/win32_text.h"

namespace veltrane::win32 {
namespace {

constexpr const wchar_t* kNavigationProperty = L"VeltraneDialogNavigation";

// The system's text for error, without its closing full stop and line break.
std::string SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.' ||
                                message.back() == L' '))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(error) : Narrow(message);
}

}  // namespace

HWND CreateWindowChecked(DWORD exStyle, const wchar_t* className, const std::wstring& text, DWORD style, RECT bounds,
                         HWND parent, HMENU menu, HINSTANCE instance) {
    HWND window = ::CreateWindowExW(exStyle, className, text.c_str(), style, bounds.left, bounds.top,
                                    bounds.right - bounds.left, bounds.bottom - bounds.top, parent, menu, instance,
                                    nullptr);
    if (window != nullptr) return window;
    const DWORD error = ::GetLastError();
    std::string what = Narrow(className);
    if (!text.empty()) what += " \"" + Narrow(text) + "\"";
    throw WindowCreationError("cannot create the window " + what + ": " + SystemErrorText(error));
}

HWND CreateControl(HWND parent, const ControlDesign& design, UINT dpi, HFONT font) {
    HWND control = CreateWindowChecked(
        design.exStyle, design.className, design.caption, WS_CHILD | WS_VISIBLE | design.style, Scaled(design.bounds, dpi),
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)));
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void PlaceControl(HWND parent, const ControlDesign& design, UINT dpi) {
    const RECT place = Scaled(design.bounds, dpi);
    ::MoveWindow(::GetDlgItem(parent, design.id), place.left, place.top, place.right - place.left,
                 place.bottom - place.top, TRUE);
}

void SetFontOfControls(HWND parent, HFONT font) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void MarkForDialogNavigation(HWND window) { ::SetPropW(window, kNavigationProperty, reinterpret_cast<HANDLE>(1)); }

void UnmarkDialogNavigation(HWND window) { ::RemovePropW(window, kNavigationProperty); }

bool UsesDialogNavigation(HWND window) { return ::GetPropW(window, kNavigationProperty) != nullptr; }

void DetachFromObject(HWND window) {
    UnmarkDialogNavigation(window);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

}  // namespace veltrane::win32
