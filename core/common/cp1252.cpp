// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/cp1252.h"

#include <array>
#include <cstdint>

#include "core/common/unicode_text.h"

namespace veltrane {
namespace {

// Unicode code points of the bytes 0x80..0x9F; the other bytes equal their code point.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePointOf(unsigned char b) {
    return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : b;
}

char ByteOf(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    AppendCp1252AsUtf8(out, text);
    return out;
}

void AppendCp1252AsUtf8(std::string& out, std::string_view text) {
    // Most texts are ASCII, which needs no conversion.
    if (IsAsciiText(text)) {
        out += text;
        return;
    }
    out.reserve(out.size() + text.size() + text.size() / 8);
    for (char c : text) AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
}

std::string Utf8ToCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = NextCodePoint(text, pos);
        out += cp == kNotACodePoint ? '?' : ByteOf(cp);
    }
    return out;
}

}  // namespace veltrane
