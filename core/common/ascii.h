// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Letter case of the ASCII letters only. File names, mode words, tag and dataset names and
// maker names are compared this way: bytes above 127 (Windows-1252 or UTF-8 text) are never
// changed, whatever the process locale, so that no comparison depends on where it runs.
#include <string>
#include <string_view>

namespace veltrane {

constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);

// Whether a and b are the same text when the ASCII letters are compared without their case.
constexpr bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

}  // namespace veltrane
