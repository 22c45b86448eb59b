// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/ascii.h"

namespace veltrane {

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

}  // namespace veltrane
