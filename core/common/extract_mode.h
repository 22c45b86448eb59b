// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which images of a file a split writes: all of them, the odd ones (the left eye of a stereo
// camera's pairs) or the even ones (the right eye). The window's mode buttons choose it; on the
// command line and in the registered context-menu entries it is a mode word, "odd" or "even" in
// any letter case, and All has no word of its own.
#include <optional>
#include <string_view>

namespace veltrane {

enum class ExtractMode { All, Odd, Even };

// The mode of a mode word: "odd" or "even" in any letter case. Any other word, "all" and ""
// included, is none.
std::optional<ExtractMode> ParseModeWord(std::string_view word);

// The word of a mode as the command line and the registered entries write it: "odd", "even",
// and "" for All.
std::string_view ModeWord(ExtractMode mode);

}  // namespace veltrane
