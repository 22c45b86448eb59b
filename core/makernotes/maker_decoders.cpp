// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/makernotes/maker_decoders.h"

#include <span>
#include <vector>

#include "core/common/number_format.h"
#include "core/exif/exif_error.h"
#include "core/exif/tag_rendering.h"
#include "core/exif/tiff_directory.h"
#include "core/makernotes/maker_notes.h"

namespace veltrane::exif {
namespace {

bool IsBlank(std::string_view value) {
    for (char c : value)
        if (static_cast<unsigned char>(c) > ' ') return false;
    return true;
}

// The line of a sub-field with a non-blank value, whose tag goes to the parser being decoded.
std::string SubFieldLine(std::string_view name, const std::string& value,
                         FormatterContext& context) {
    if (IsBlank(value)) return {};
    if (context.Directory != nullptr) {
        try {
            AddSubFieldTag(*context.Directory, std::string(name), value, 2);
        } catch (...) {
            // A tag that cannot be stored leaves the text line as it is.
        }
    }
    std::string line;
    line.reserve(2 + name.size() + 3 + value.size());
    line += "\r\n";
    line += name;
    line += " = ";
    line += value;
    return line;
}

std::string DecodeSubFields(std::string_view text, std::span<const SubFieldRow> fields,
                            FormatterContext& context) {
    context.SubFieldsWritten = true;
    const std::vector<std::string_view> items = SplitItems(text, ",");
    std::string lines;
    for (const SubFieldRow& field : fields) {
        const std::size_t index = static_cast<std::size_t>(field.Item);
        const std::string_view item = index < items.size() ? items[index] : std::string_view{};
        const std::string value =
            field.Kind == SubFieldKind::Coded ? LookupValueName(field.ValueMap, item) : std::string(item);
        lines += SubFieldLine(field.Name, value, context);
    }
    return lines;
}

}  // namespace

std::vector<std::string_view> SplitItems(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> items;
    for (;;) {
        const std::size_t at = separator.empty() ? std::string_view::npos : text.find(separator);
        items.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return items;
        text.remove_prefix(at + separator.size());
    }
}

std::string AddCustomFunction(std::string_view name, int setting, std::string_view map,
                              FormatterContext& context) {
    return SubFieldLine(name, LookupValueName(map, std::to_string(setting)), context);
}

std::string DecodeCanonCameraSettings(const std::string& text, FormatterContext& context) {
    return DecodeSubFields(text, CanonCameraSettingsFields, context);
}

std::string DecodeCanonShotInfo(const std::string& text, FormatterContext& context) {
    return DecodeSubFields(text, CanonShotInfoFields, context);
}

std::string DecodeCanonCustomFunctions(const std::string& text, FormatterContext& context) {
    context.SubFieldsWritten = true;
    std::string lines;
    for (const std::string_view item : SplitItems(text, ",")) {
        std::int32_t code = 0;
        try {
            code = StrToInt(item);
        } catch (const ExifError&) {
            continue;  // not an integer: nothing for this item
        }
        const std::int32_t function = code / 256;
        const std::int32_t setting = code % 256;
        if (function < 1 || function > static_cast<std::int32_t>(CanonCustomFunctions.size()))
            continue;
        const CustomFunctionRow& row = CanonCustomFunctions[static_cast<std::size_t>(function - 1)];
        lines += AddCustomFunction(row.Name, setting, row.ValueMap, context);
    }
    return lines;
}

std::string DecodeNikonLens(const std::string& text, FormatterContext& context) {
    // Four rationals: shortest and longest focal length, aperture at each. Three cuts at ", "
    // give the first three; what remains is the fourth.
    std::string rest = text;
    double values[4] = {0, 0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        const std::size_t comma = rest.find(", ");
        const std::string piece = comma == std::string::npos ? std::string{} : rest.substr(0, comma);
        rest = rest.substr(comma == std::string::npos ? 0 : comma + 1, 64);
        values[k] = FractionToNumber(piece);
    }
    values[3] = FractionToNumber(rest);
    return FormatFloats(context.Numbers, "%0.1f-%0.1f(mm)  F%0.1f-F%0.1f", values[0], values[1], values[2],
                        values[3]);
}

std::string DecodeNikonColorMode(const std::string& text, FormatterContext&) {
    // text is the quoted ASCII value; the mode is the five characters after the opening quote.
    const std::string mode = text.size() > 1 ? text.substr(1, 5) : std::string{};
    if (mode == "MODE1") return "Mode1 (sRGB)";
    if (mode == "MODE2") return "Mode 2 (Adobe RGB)";
    if (mode == "MODE3") return "Mode 3 (sRGB): higher saturation";
    return mode;
}

}  // namespace veltrane::exif
