// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/unicode_text.h"

namespace veltrane {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const std::size_t size = text.size();
    if (pos >= size) return kNotACodePoint;
    const auto lead = static_cast<unsigned char>(text[pos]);
    // Lead byte: 0xxxxxxx, 110xxxxx, 1110xxxx or 11110xxx; the smallest value each length may
    // carry rules out overlong forms.
    std::size_t extra = 0;
    char32_t value = 0, least = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, value = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, value = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, value = lead & 0x07u, least = 0x10000;
    } else {
        ++pos;
        return kNotACodePoint;
    }
    if (extra > size - pos - 1) {
        ++pos;
        return kNotACodePoint;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(text[pos + k]);
        if (!IsContinuation(b)) {
            ++pos;
            return kNotACodePoint;
        }
        value = (value << 6) | (b & 0x3Fu);
    }
    if (value < least || value > 0x10FFFF) {
        ++pos;
        return kNotACodePoint;
    }
    pos += extra + 1;
    return value;
}

bool IsValidUtf8(std::string_view text, bool allowSurrogates) {
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = NextCodePoint(text, pos);
        if (c == kNotACodePoint || (!allowSurrogates && c >= 0xD800 && c <= 0xDFFF)) return false;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = NextCodePoint(text, pos);
        if (cp == kNotACodePoint) cp = kReplacement;
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            // A surrogate pair: 0xD800 + the upper ten bits, 0xDC00 + the lower ten.
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        const bool high = cp >= 0xD800 && cp < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

#ifdef _WIN32
std::wstring WideFromUtf8(std::string_view text) {
    const std::u16string units = Utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

std::string Utf8FromWide(std::wstring_view text) {
    const std::u16string units(text.begin(), text.end());
    return Utf16ToUtf8(units);
}
#endif

}  // namespace veltrane
