// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>
#include <utility>

#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {
namespace {

constexpr std::array<std::pair<Layout, std::string_view>, 10> kLayouts = {{
    {Layout::Cross, "cross"},
    {Layout::Parallel, "parallel"},
    {Layout::Anaglyph, "anaglyph"},
    {Layout::OverUnder, "over-under"},
    {Layout::HalfSideBySide, "half-sbs"},
    {Layout::HalfOverUnder, "half-ou"},
    {Layout::Interlaced, "interlaced"},
    {Layout::Wiggle, "wiggle"},
    {Layout::Mpo, "mpo"},
    {Layout::Heic, "heic"},
}};

constexpr std::array<std::pair<AnaglyphKind, std::string_view>, 7> kKinds = {{
    {AnaglyphKind::Dubois, "dubois"},
    {AnaglyphKind::AmberBlue, "amber-blue"},
    {AnaglyphKind::GreenMagenta, "green-magenta"},
    {AnaglyphKind::Gray, "gray"},
    {AnaglyphKind::Color, "color"},
    {AnaglyphKind::HalfColor, "half-color"},
    {AnaglyphKind::Optimized, "optimized"},
}};

template <typename Table, typename Value>
std::string_view WordOf(const Table& table, Value value) {
    for (const auto& [v, word] : table)
        if (v == value) return word;
    return {};
}

template <typename Value, typename Table>
std::optional<Value> ValueOf(const Table& table, std::string_view word) {
    for (const auto& [v, w] : table)
        if (w == word) return v;
    return std::nullopt;
}

}  // namespace

std::string_view LayoutWord(Layout layout) { return WordOf(kLayouts, layout); }
std::optional<Layout> LayoutFromWord(std::string_view word) { return ValueOf<Layout>(kLayouts, word); }
std::string_view AnaglyphKindWord(AnaglyphKind kind) { return WordOf(kKinds, kind); }
std::optional<AnaglyphKind> AnaglyphKindFromWord(std::string_view word) { return ValueOf<AnaglyphKind>(kKinds, word); }

}  // namespace veltrane::stereo
