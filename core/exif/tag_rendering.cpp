// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exif/tag_rendering.h"

#include <algorithm>
#include <charconv>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "core/common/number_format.h"
#include "core/exif/exif_error.h"

namespace veltrane::exif {
namespace {

constexpr std::size_t kMaxRenderedItems = 128;
constexpr std::size_t kPrintableLength = 50;
constexpr std::size_t kGpsRestLength = 64;
constexpr const char* kInvalidFloatOperation = "Invalid floating point operation";

bool IsIntegerType(int t) { return t == 1 || t == 3 || t == 4 || t == 6 || t == 8 || t == 9; }
bool IsRationalType(int t) { return t == 5 || t == 10; }

// Bytes [from, from + n) of raw, clipped to raw.
std::string_view Slice(std::string_view raw, std::size_t from, std::size_t n) {
    if (from >= raw.size()) return {};
    return raw.substr(from, n);
}

// Decimal integer with optional leading blanks and one sign, in the 32-bit range.
std::optional<std::int32_t> ParseDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{1} << 31) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// Two's-complement 32-bit wrap of a 64-bit value, as 32-bit integer arithmetic does it.
std::int32_t Wrap32(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

// One printf conversion: '%', flags, width, precision, the conversion letter.
struct Directive {
    std::size_t begin = 0, end = 0;  // [begin, end) in the pattern
    char conversion = 0;
};

// Splits pattern into its directives ("%%" is a literal percent sign and no directive).
// Raises ExifError for a malformed directive or an absurd width or precision.
std::vector<Directive> DirectivesOf(std::string_view pattern) {
    std::vector<Directive> result;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        Directive d;
        d.begin = i;
        std::size_t j = i + 1;
        while (j < pattern.size() && std::strchr("-+ #0", pattern[j]) != nullptr) ++j;
        std::size_t digits = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') ++j, ++digits;
        if (j < pattern.size() && pattern[j] == '.') {
            ++j;
            while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') ++j, ++digits;
        }
        if (j >= pattern.size() || digits > 4)
            throw ExifError("Format '" + std::string(pattern) + "' invalid or incompatible with argument");
        d.conversion = pattern[j];
        d.end = j + 1;
        result.push_back(d);
        i = j;
    }
    return result;
}

// The literal text of pattern[from, to) with "%%" turned into "%".
std::string Literal(std::string_view pattern, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) {
        out += pattern[i];
        if (pattern[i] == '%' && i + 1 < to && pattern[i + 1] == '%') ++i;
    }
    return out;
}

[[noreturn]] void IncompatibleFormat(std::string_view pattern) {
    throw ExifError("Format '" + std::string(pattern) + "' invalid or incompatible with argument");
}

// Format(pattern, text) for a pattern whose one directive is "%s".
std::string FormatText(std::string_view pattern, std::string_view text) {
    const std::vector<Directive> ds = DirectivesOf(pattern);
    if (ds.size() != 1 || ds[0].end - ds[0].begin != 2 || ds[0].conversion != 's') IncompatibleFormat(pattern);
    std::string out = Literal(pattern, 0, ds[0].begin);
    out += text;
    out += Literal(pattern, ds[0].end, pattern.size());
    return out;
}

// Format(pattern, number) for a pattern whose one directive is a floating-point conversion.
std::string FormatNumber(const NumberFormat& numbers, std::string_view pattern, double value) {
    const std::vector<Directive> ds = DirectivesOf(pattern);
    if (ds.size() != 1 || std::strchr("feEgG", ds[0].conversion) == nullptr ||
        ds[0].conversion == 0)
        IncompatibleFormat(pattern);
    const Directive& d = ds[0];
    const std::string directive(pattern.substr(d.begin, d.end - d.begin));
    return Literal(pattern, 0, d.begin) + FormatFloat(numbers, directive.c_str(), value) +
           Literal(pattern, d.end, pattern.size());
}

// A whole number for the "%0.0f" patterns of the GPS formatters: halves away from zero, and
// never a negative zero.
double Whole(double x) {
    const double r = std::round(x);
    return r == 0 ? 0.0 : r;
}

// The cut of the GPS formatters: the part before the first ", " and the rest from the blank
// after that comma on; without ", " the part is empty and the rest is all of text.
std::pair<std::string_view, std::string_view> CutAtComma(std::string_view text) {
    const std::size_t p = text.find(", ");
    if (p == std::string_view::npos) return {std::string_view{}, text};
    return {text.substr(0, p), text.substr(p + 1)};
}

// PrintableText reusing the storage of text.
std::string PrintableInPlace(std::string&& text) {
    if (text.size() > kPrintableLength) text.resize(kPrintableLength);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32) c = '.';
    return std::move(text);
}

}  // namespace

std::string_view TrimmedView(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
    return text.substr(b, e - b);
}

std::string TrimText(std::string_view text) { return std::string(TrimmedView(text)); }

std::int32_t StrToInt(std::string_view text) {
    if (const auto v = ParseDecimal(text)) return *v;
    throw ExifError("'" + std::string(text) + "' is not a valid integer value");
}

std::int32_t RoundHalfEven(double x) {
    if (!std::isfinite(x)) throw ExifError(kInvalidFloatOperation);
    const double r = std::nearbyint(x);  // the default rounding mode: to nearest, halves to even
    if (r < -2147483648.0 || r > 2147483647.0) throw ExifError(kInvalidFloatOperation);
    return static_cast<std::int32_t>(r);
}

std::string LookupValueName(std::string_view map, std::string_view value) {
    // The name follows the first occurrence of "," + value + ":" in "," + map + ",".
    const std::string v = TrimText(value);
    if (v.find(',') == std::string::npos) {
        // The key's only comma is its first character, so it can only match at the start of an
        // item: the first item that begins with value + ":" holds the name.
        std::size_t from = 0;
        while (from <= map.size()) {
            std::size_t end = map.find(',', from);
            if (end == std::string_view::npos) end = map.size();
            const std::string_view item = map.substr(from, end - from);
            if (item.size() > v.size() && item[v.size()] == ':' && item.substr(0, v.size()) == v)
                return std::string(item.substr(v.size() + 1));
            from = end + 1;
        }
        return {};
    }
    std::string key(1, ',');
    key += v;
    key += ':';
    std::string list;
    list.reserve(map.size() + 2);
    list += ',';
    list += map;
    list += ',';
    const std::size_t at = list.find(key);
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size();
    return list.substr(start, list.find(',', start) - start);
}

double FractionToNumber(std::string_view text) {
    const std::string x = TrimText(text);
    std::string_view rest = x;
    std::int32_t whole = 0;
    if (const std::size_t blank = rest.find(' '); blank != std::string_view::npos) {
        const auto w = ParseDecimal(rest.substr(0, blank));
        if (!w) return 0;
        whole = *w;
        rest = rest.substr(blank + 1);
    }
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return 0;
    const auto numerator = ParseDecimal(rest.substr(0, slash));
    const auto denominator = ParseDecimal(rest.substr(slash + 1));
    if (!numerator || !denominator || *denominator == 0) return 0;
    const std::int32_t total = Wrap32(Wrap32(std::int64_t{whole} * *denominator) + std::int64_t{*numerator});
    return static_cast<double>(total) / *denominator;
}

std::string RationalText(std::int32_t numerator, std::int32_t denominator) {
    return std::to_string(numerator) + "/" + std::to_string(denominator);
}

std::string PrintableText(std::string_view text) {
    return PrintableInPlace(std::string(text.substr(0, kPrintableLength)));
}

double NumericValue(ByteOrder order, std::string_view raw, int fieldType) {
    if (IsIntegerType(fieldType)) return RawToInteger(order, raw);
    if (IsRationalType(fieldType)) {
        const std::int32_t numerator = RawToInteger(order, Slice(raw, 0, 4));
        const std::int32_t denominator = RawToInteger(order, Slice(raw, 4, 4));
        if (denominator == 0) return 0;
        return static_cast<double>(numerator) / denominator;
    }
    double value = 0;
    if (fieldType == 11 && raw.size() >= 4) {
        const auto bits = static_cast<std::uint32_t>(RawToInteger(order, raw.substr(0, 4)));
        value = std::bit_cast<float>(bits);
    } else if (fieldType == 12 && raw.size() >= 8) {
        const auto a = static_cast<std::uint32_t>(RawToInteger(order, raw.substr(0, 4)));
        const auto b = static_cast<std::uint32_t>(RawToInteger(order, raw.substr(4, 4)));
        // In big-endian order the first four bytes are the high half, in little-endian the low.
        const std::uint64_t bits =
            order == ByteOrder::BigEndian ? (std::uint64_t{a} << 32 | b) : (std::uint64_t{b} << 32 | a);
        value = std::bit_cast<double>(bits);
    }
    return std::isfinite(value) ? value : 0;
}

std::string RenderValue(ByteOrder order, const NumberFormat& numbers, std::string_view raw, int fieldType,
                        std::string_view map, std::string_view format) {
    const int size = FieldSize(fieldType);
    if (size == 0) return "0";
    const std::size_t itemSize = static_cast<std::size_t>(size);
    const std::size_t items = std::min(raw.size() / itemSize, kMaxRenderedItems);
    std::string text;
    text.reserve(items * 4);
    for (std::size_t k = 0; k < items; ++k) {
        const std::string_view item = raw.substr(k * itemSize, itemSize);
        if (!text.empty()) text += ", ";
        if (IsIntegerType(fieldType)) {
            char digits[16];
            std::int32_t number;
            if (itemSize == 2) {  // the common SHORT arrays, without the general fold
                const auto a = static_cast<unsigned char>(item[0]), b = static_cast<unsigned char>(item[1]);
                number = order == ByteOrder::BigEndian ? a * 256 + b : b * 256 + a;
            } else {
                number = RawToInteger(order, item);
            }
            const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
            const std::string_view value(digits, static_cast<std::size_t>(end - digits));
            if (map.empty())
                text += value;
            else
                text += LookupValueName(map, value);
        } else if (IsRationalType(fieldType)) {
            text += RationalText(RawToInteger(order, item.substr(0, 4)), RawToInteger(order, item.substr(4, 4)));
            if (!map.empty()) text += LookupValueName(map, text);
        } else if (fieldType == 11 || fieldType == 12) {
            text += "-9999.99";
        } else {
            text += "?";
        }
    }
    if (format.empty()) return text;
    if (format.find("%s") != std::string_view::npos) return FormatText(format, text);
    return FormatNumber(numbers, format, NumericValue(order, raw, fieldType));
}

namespace {

std::string TagTextOf(ByteOrder order, const NumberFormat& numbers, int fieldType, std::string_view raw,
                      std::uint16_t tagNumber, std::string_view map, std::string_view format,
                      TagFormatter formatter) {
    std::string text;
    if (fieldType == 2) {
        text = std::string(raw);
        if (!text.empty() && text.back() == '\0') text.pop_back();
    } else if (fieldType == 7) {
        text.reserve(raw.size() + 2);
        text += '"';
        text += raw.substr(0, raw.find('\0'));
        text += '"';
    } else {
        text = RenderValue(order, numbers, raw, fieldType, map, format);
    }
    if (tagNumber != 0 && formatter != nullptr) {
        FormatterContext context{numbers, nullptr, false};
        return formatter(text, context);
    }
    return PrintableInPlace(std::move(text));
}

}  // namespace

std::string TagText(ByteOrder order, const NumberFormat& numbers, int fieldType, std::string_view raw,
                    const TagEntry& row) {
    return TagTextOf(order, numbers, fieldType, raw, row.TagNumber, row.ValueMap, row.DisplayFormat,
                     row.Formatter);
}

std::string TagText(ByteOrder order, const NumberFormat& numbers, int fieldType, std::string_view raw,
                    const TagRow& row) {
    return TagTextOf(order, numbers, fieldType, raw, row.TagNumber, row.ValueMap, row.DisplayFormat,
                     row.Formatter);
}

std::string ComponentsFormatter(const std::string& text, FormatterContext&) {
    static constexpr const char* kComponents[] = {"", "Y", "Cb", "Cr", "R", "G", "B"};
    std::string out;
    for (std::size_t pos = 1; pos <= 4 && pos < text.size(); ++pos) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (c >= 1 && c <= 6) out += kComponents[c];
    }
    return out;
}

std::string ShutterSpeedFormatter(const std::string& text, FormatterContext& context) {
    const double apex = FractionToNumber(text);
    const double seconds = std::pow(2.0, -apex);
    std::string out = FormatFloat(context.Numbers, "%4.4f sec", seconds);
    if (seconds <= 0.5) {
        // The reciprocal as a whole number; a value beyond the 32-bit range (an absurd APEX
        // value) shows no reciprocal rather than ending the walk.
        const double reciprocal = 1.0 / seconds;
        if (std::isfinite(reciprocal) && reciprocal < 2147483647.0)
            out += " (1/" + std::to_string(RoundHalfEven(reciprocal)) + ")";
    }
    return out;
}

std::string FlashFormatter(const std::string& text, FormatterContext&) {
    const std::int32_t f = StrToInt(text);
    std::string out = (f & 1) ? "On" : "Off";
    switch (f & 6) {
        case 2: out += ", UNKNOWN"; break;
        case 4: out += ", no strobe return"; break;
        case 6: out += ", strobe return"; break;
        default: break;
    }
    switch (f & 24) {
        case 8: out += ", forced"; break;
        case 16: out += ", surpressed"; break;
        case 24: out += ", auto mode"; break;
        default: break;
    }
    if (f & 32) out += ", no flash function";
    if (f & 64) out += ", red-eye reduction";
    return out;
}

std::string WideTextFormatter(const std::string& text, FormatterContext&) {
    std::vector<std::string_view> items;
    std::string_view rest = text;
    for (std::size_t comma = rest.find(','); comma != std::string_view::npos; comma = rest.find(',')) {
        items.push_back(rest.substr(0, comma));
        rest = rest.substr(comma + 1);
    }
    // items holds the pieces before each comma; the piece after the last one is never read.
    std::string out;
    for (std::size_t k = 0; k < items.size(); k += 2) {
        const auto code = static_cast<std::uint32_t>(StrToInt(items[k]));
        if ((code & 0xFF) != 0) out += static_cast<char>(code & 0xFF);
    }
    return out;
}

std::string GpsCoordinateFormatter(const std::string& text, FormatterContext& context) {
    const auto [degreesText, afterDegrees] = CutAtComma(text);
    const auto [minutesText, secondsText] = CutAtComma(afterDegrees.substr(0, kGpsRestLength));
    const double degrees = FractionToNumber(degreesText);
    double minutes = FractionToNumber(minutesText);
    double seconds = FractionToNumber(secondsText);
    if (seconds == 0) {
        seconds = (minutes - std::trunc(minutes)) * 60;
        minutes = std::trunc(minutes);
    }
    return FormatFloats(context.Numbers, "%0.0f Degrees %0.0f Minutes %0.0f Seconds", Whole(degrees),
                        Whole(minutes), Whole(seconds));
}

std::string GpsTimeFormatter(const std::string& text, FormatterContext& context) {
    const auto [hoursText, afterHours] = CutAtComma(text);
    const auto [minutesText, secondsText] = CutAtComma(afterHours.substr(0, kGpsRestLength));
    return FormatFloats(context.Numbers, "%0.0f:%0.0f:%0.0f", Whole(FractionToNumber(hoursText)),
                        Whole(FractionToNumber(minutesText)), Whole(FractionToNumber(secondsText)));
}

bool FormatterMayRaise(TagFormatter formatter) {
    return formatter == &FlashFormatter || formatter == &WideTextFormatter;
}

}  // namespace veltrane::exif
