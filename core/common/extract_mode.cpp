// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/extract_mode.h"

#include "core/common/ascii.h"

namespace veltrane {

std::optional<ExtractMode> ParseModeWord(std::string_view word) {
    if (EqualIgnoringAsciiCase(word, "odd")) return ExtractMode::Odd;
    if (EqualIgnoringAsciiCase(word, "even")) return ExtractMode::Even;
    return std::nullopt;
}

std::string_view ModeWord(ExtractMode mode) {
    switch (mode) {
        case ExtractMode::Odd: return "odd";
        case ExtractMode::Even: return "even";
        case ExtractMode::All: break;
    }
    return "";
}

}  // namespace veltrane
