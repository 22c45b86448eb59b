// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an ExifReader is asked to keep of what it reads, fixed when it is made.
#include <span>
#include <string_view>

#include "core/common/number_format.h"

namespace veltrane::exif {

// What the directory walk builds: the tag list and the info text (one "caption = value" line per
// entry), or only one of them. The maker-note walk runs only when the tag list is built.
enum class CollectMode { Everything, InfoTextOnly, TagListOnly };

constexpr bool CollectsTagList(CollectMode mode) { return mode != CollectMode::InfoTextOnly; }
constexpr bool CollectsInfoText(CollectMode mode) { return mode != CollectMode::TagListOnly; }

struct ReaderOptions {
    // How the texts of numbers with decimals are written (their decimal separator).
    NumberFormat Numbers{};
    CollectMode Collect = CollectMode::Everything;
    // Empty: every tag is rendered and stored (the normal reader). Otherwise the reader serves
    // only name lookups of these tags (TagValueByName and the like, letter case ignored): of the
    // JPEG sections it keeps the bytes of the EXIF section alone (the others keep marker and
    // length, and the IPTC section is not parsed), and the walk renders and stores just the
    // tags so named, builds no info text and no maker-note lines, and adds no derived tags. It
    // still renders every tag whose formatter may raise (FormatterMayRaise), since that ends a
    // directory early: the tags stored are exactly those, in the same order and with the same
    // texts, that the normal reader stores under these names. The names must outlive the
    // reader (constant data).
    std::span<const std::string_view> OnlyTagNames{};
};

}  // namespace veltrane::exif
