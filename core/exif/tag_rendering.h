// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turning the raw bytes of a tag into the text the reader shows, and into numbers.
//
// Every function here is pure: it returns a new value and changes nothing. Texts are
// Windows-1252 byte strings; numbers with decimals go through FormatFloat and so carry the
// decimal separator of the NumberFormat given (a formatter's is in its context).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/exif/byte_reader.h"
#include "core/exif/tag_entry.h"

namespace veltrane::exif {

// Bytes per item of each TIFF field type code 0..12 (BYTE, ASCII, SBYTE, UNDEFINED: 1;
// SHORT, SSHORT: 2; LONG, SLONG, FLOAT: 4; RATIONAL, SRATIONAL, DOUBLE: 8).
inline constexpr std::array<int, 13> FieldSizes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

// FieldSizes[type], and 0 for type 0, negative codes and every code above 12.
constexpr int FieldSize(int type) {
    return (type >= 0 && type < static_cast<int>(FieldSizes.size())) ? FieldSizes[type] : 0;
}

// The text of one directory entry: ASCII loses one trailing NUL, UNDEFINED shows its bytes up
// to the first NUL between double quotes, every other type goes through RenderValue with the
// row's ValueMap and DisplayFormat; then the row's Formatter (when TagNumber is not 0) or
// PrintableText is applied. May raise ExifError when a formatter cannot convert its text.
std::string TagText(ByteOrder order, const NumberFormat& numbers, int fieldType, std::string_view raw,
                    const TagEntry& row);
// The same straight from a constant table row, copying nothing.
std::string TagText(ByteOrder order, const NumberFormat& numbers, int fieldType, std::string_view raw,
                    const TagRow& row);

// Items of raw rendered as a ", "-separated list (at most 128 items; integers in decimal or
// named by map, rationals as "n/d", FLOAT/DOUBLE as "-9999.99"), then shaped by format:
// a format with "%s" receives the text, any other the NumericValue. Type sizes of 0 give "0".
// Raises ExifError when format holds a directive that does not fit its argument.
std::string RenderValue(ByteOrder order, const NumberFormat& numbers, std::string_view raw, int fieldType,
                        std::string_view map, std::string_view format);

// The number of raw: integers fold all bytes (RawToInteger), rationals divide their first two
// 32-bit halves (0 for a zero denominator), FLOAT and DOUBLE decode the IEEE 754 value of the
// first item in that byte order (0 when raw is shorter than one item), every other
// type gives 0. Never raises.
double NumericValue(ByteOrder order, std::string_view raw, int fieldType);

// The name that map ("0:Auto,1:Manual") gives value (trimmed), or "" when it lists none.
std::string LookupValueName(std::string_view map, std::string_view value);

// "n/d" or "w n/d" as a number; 0 on any failure (no "/", a part that is not a decimal 32-bit
// integer, a zero denominator).
double FractionToNumber(std::string_view text);

// numerator and denominator through "%d/%d".
std::string RationalText(std::int32_t numerator, std::int32_t denominator);

// At most the first 50 characters of text, each byte below 32 replaced by ".".
std::string PrintableText(std::string_view text);

// Text with leading and trailing blanks and control characters (bytes <= 32) removed.
std::string TrimText(std::string_view text);
// The same, as a view into text.
std::string_view TrimmedView(std::string_view text);

// Decimal string-to-integer conversion of the formatters: leading blanks and one sign allowed,
// nothing else; anything that is not a 32-bit decimal integer raises ExifError with the
// message "'<text>' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);

// x rounded to the nearest integer, halves to even. Raises ExifError("Invalid floating point
// operation") when x is not finite or outside the 32-bit range.
std::int32_t RoundHalfEven(double x);

// The dictionary formatters. Each takes the rendered text of a tag and returns the text to
// show instead; of the context they use only the number format.
std::string ComponentsFormatter(const std::string& text, FormatterContext& context);
std::string ShutterSpeedFormatter(const std::string& text, FormatterContext& context);
std::string FlashFormatter(const std::string& text, FormatterContext& context);
std::string WideTextFormatter(const std::string& text, FormatterContext& context);
std::string GpsCoordinateFormatter(const std::string& text, FormatterContext& context);
std::string GpsTimeFormatter(const std::string& text, FormatterContext& context);

// True for the formatters above that may raise ExifError (Flash and WideText convert decimal
// text); the others never raise.
bool FormatterMayRaise(TagFormatter formatter);

}  // namespace veltrane::exif
