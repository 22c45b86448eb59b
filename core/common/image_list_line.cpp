// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/image_list_line.h"

#include <algorithm>
#include <charconv>
#include <cstddef>

namespace veltrane {

std::string ImageListLine(int imageNumber, std::int64_t sizeInBytes) {
    // Written into one buffer: the line is made for every image listed and every EXIF read.
    char line[64] = " Image ";
    char* at = line + 7;
    char number[16];
    const auto [numberEnd, numberError] = std::to_chars(number, number + sizeof number, imageNumber);
    (void)numberError;  // an int always fits
    // The last three characters of "00" and the number.
    for (std::ptrdiff_t digits = numberEnd - number; digits < 3; ++digits) *at++ = '0';
    for (const char* c = numberEnd - std::min<std::ptrdiff_t>(numberEnd - number, 3); c != numberEnd; ++c) *at++ = *c;
    *at++ = ':';
    *at++ = ' ';
    *at++ = ' ';
    at = std::to_chars(at, line + sizeof line - 2, sizeInBytes / 1024).ptr;
    *at++ = ' ';
    *at++ = 'K';
    return std::string(line, static_cast<std::size_t>(at - line));
}

}  // namespace veltrane

namespace veltrane {

std::string PartListLine(std::string_view word, int partNumber, std::int64_t sizeInBytes) {
    // The image line with the word in the place of "Image".
    const std::string line = ImageListLine(partNumber, sizeInBytes);
    std::string out;
    out.reserve(1 + word.size() + line.size());
    out += ' ';
    out.append(word);
    out.append(line, 6, std::string::npos);
    return out;
}

}  // namespace veltrane
