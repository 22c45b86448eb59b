#pragma once
// Texts inside the core are single-byte Windows-1252 strings; these convert at the edges.
#include <string>
#include <string_view>

namespace veltrane {

// Every byte becomes its Unicode character in UTF-8. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value.
std::string Cp1252ToUtf8(std::string_view text);

// Characters without a Windows-1252 byte become '?'; malformed UTF-8 bytes become '?' too.
std::string Utf8ToCp1252(std::string_view text);

}  // namespace veltrane
