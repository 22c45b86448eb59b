// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows-1252 texts and their conversion to UTF-8 and back.
//
// Texts inside the program are UTF-8. The EXIF reader's renderers write Windows-1252 (the
// texts of files of that era, and of the reader's tables, are in it); the reader turns them
// into UTF-8 where it hands them out.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace veltrane {

// Every byte becomes its Unicode character in UTF-8. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value.
std::string Cp1252ToUtf8(std::string_view text);
// The same, appended to out.
void AppendCp1252AsUtf8(std::string& out, std::string_view text);

// Characters without a Windows-1252 byte become '?'; malformed UTF-8 bytes become '?' too.
std::string Utf8ToCp1252(std::string_view text);

// True when every character of text is ASCII: such a text reads the same in Windows-1252 and
// UTF-8. At run time eight bytes are tested at once.
constexpr bool IsAsciiText(std::string_view text) {
    std::size_t i = 0;
    if (!std::is_constant_evaluated()) {
        for (; i + 8 <= text.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            if ((word & 0x8080808080808080u) != 0) return false;
        }
    }
    for (; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

}  // namespace veltrane
