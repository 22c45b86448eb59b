// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// UTF-8 is the encoding of every path and message inside the program, on every platform. Windows
// speaks UTF-16 at its API; these convert between the two at that edge. (The EXIF texts are the
// one exception: they stay Windows-1252, see cp1252.h.)
//
// Windows file names are sequences of 16-bit units that need not be valid UTF-16: a lone
// surrogate is allowed. Such a unit is carried through UTF-8 as the three-byte sequence of its
// value (the "WTF-8" convention), so every name survives the round trip unchanged.
#include <cstddef>
#include <string>
#include <string_view>

namespace veltrane {

// Returned by NextCodePoint for a byte that starts no well-formed sequence.
inline constexpr char32_t kNotACodePoint = 0xFFFFFFFF;

// Decodes the sequence that starts at text[pos] and moves pos past it. A malformed or cut
// sequence yields kNotACodePoint and moves pos by one byte. Overlong forms and values above
// U+10FFFF are malformed; surrogate values (ED A0..BF xx) are accepted, see above.
char32_t NextCodePoint(std::string_view text, std::size_t& pos);

// Whether text is well-formed UTF-8. Lone surrogate values count as well-formed only with
// allowSurrogates (paths carry them, see above; desktop entry files must not).
bool IsValidUtf8(std::string_view text, bool allowSurrogates = false);

// Appends the UTF-8 form of a code point (or of a lone surrogate value) to out.
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; lone surrogates are kept, see above.
std::string Utf16ToUtf8(std::u16string_view text);

#ifdef _WIN32
// The same for the wide strings of the Win32 API (wchar_t holds UTF-16 units there).
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
#endif

}  // namespace veltrane
