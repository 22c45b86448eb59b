#pragma once
// Windows-1252 texts and their conversion to UTF-8 and back.
//
// Texts inside the program are UTF-8. The EXIF reader's renderers write Windows-1252 (the
// texts of files of that era, and of the reader's tables, are in it); the reader turns them
// into UTF-8 where it hands them out.
#include <string>
#include <string_view>

namespace veltrane {

// Every byte becomes its Unicode character in UTF-8. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value.
std::string Cp1252ToUtf8(std::string_view text);
// The same, appended to out.
void AppendCp1252AsUtf8(std::string& out, std::string_view text);

// Characters without a Windows-1252 byte become '?'; malformed UTF-8 bytes become '?' too.
std::string Utf8ToCp1252(std::string_view text);

// True when every character of text is ASCII: such a text reads the same in Windows-1252 and
// UTF-8.
constexpr bool IsAsciiText(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace veltrane
