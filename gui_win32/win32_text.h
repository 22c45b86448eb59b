// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Win32 window speaks UTF-16 (the wide API, so that names in any script work); the window
// model and the core speak UTF-8. These two convert at that edge.
#include <string>

#include <windows.h>

#include "core/common/unicode_text.h"

namespace veltrane::win32 {

inline std::wstring Widen(const std::string& text) { return WideFromUtf8(text); }

inline std::string Narrow(const std::wstring& text) { return Utf8FromWide(text); }

// The text of a window or control.
inline std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace veltrane::win32
