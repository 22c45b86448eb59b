// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_win32/dpi_scaling.h"

namespace veltrane::win32 {
namespace {

// A function of user32 that older Windows lack, looked up when first needed: the program still
// starts there, at the screen's DPI.
template <typename Function>
Function UserFunction(const char* name) {
    const FARPROC function = ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name);
    // Through a function type without parameters, as the compiler documents for such casts.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(function));
}

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);

}  // namespace

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = UserFunction<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    HDC dc = ::GetDC(window);
    const int dpi = dc != nullptr ? ::GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc != nullptr) ::ReleaseDC(window, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

int Scaled(int length, UINT dpi) { return ::MulDiv(length, static_cast<int>(dpi), static_cast<int>(kDesignDpi)); }

RECT Scaled(const DesignRect& rect, UINT dpi) {
    const int left = Scaled(rect.x, dpi), top = Scaled(rect.y, dpi);
    return {left, top, left + Scaled(rect.width, dpi), top + Scaled(rect.height, dpi)};
}

SIZE FrameSizeFor(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjustForDpi = UserFunction<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, width, height};
    if (adjustForDpi == nullptr || !adjustForDpi(&rect, style, FALSE, exStyle, dpi))
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

RECT DesignFrame(int left, int top, int width, int height, DWORD style, DWORD exStyle) {
    const SIZE size = FrameSizeFor(width, height, style, exStyle, kDesignDpi);
    return {left, top, left + size.cx, top + size.cy};
}

void SizeClientForDpi(HWND window, int width, int height, DWORD style, DWORD exStyle, UINT dpi,
                      const POINT* designedPlace) {
    const SIZE size = FrameSizeFor(Scaled(width, dpi), Scaled(height, dpi), style, exStyle, dpi);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    POINT place{};
    if (designedPlace != nullptr)
        place = {Scaled(designedPlace->x, dpi), Scaled(designedPlace->y, dpi)};
    else
        flags |= SWP_NOMOVE;
    ::SetWindowPos(window, nullptr, place.x, place.y, size.cx, size.cy, flags);
}

int SystemMetric(int index, UINT dpi) {
    static const auto metricForDpi = UserFunction<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
    return metricForDpi != nullptr ? metricForDpi(index, dpi) : ::GetSystemMetrics(index);
}

void MoveToSuggestedRect(HWND window, LPARAM suggested) {
    const RECT& rect = *reinterpret_cast<const RECT*>(suggested);
    ::SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

FontHandle DialogFont(UINT dpi, bool underline, const wchar_t* face) {
    LOGFONTW font{};
    font.lfHeight = -Scaled(11, dpi);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfUnderline = underline ? TRUE : FALSE;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    ::lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return FontHandle(::CreateFontIndirectW(&font));
}

FontHandle FormFont(UINT dpi, bool underline, const wchar_t* designed, const std::wstring& widest, int room) {
    FontHandle font;
    for (const wchar_t* face : {designed, L"Tahoma", L"DejaVu Sans Condensed"}) {
        font = DialogFont(dpi, underline, face);
        if (TextWidth(font.get(), widest) <= Scaled(room, dpi)) break;
    }
    return font;
}

int TextWidth(HFONT font, const std::wstring& text) {
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return extent.cx;
}

}  // namespace veltrane::win32
