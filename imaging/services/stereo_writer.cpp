// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/services/stereo_writer.h"

#include <array>

#include "imaging/stereo/stereo_files.h"
#include "imaging/stereo/stereo_session.h"

namespace veltrane::stereo_services {
namespace {

// The file types of Save Stereo, in the order of the dialog's list.
constexpr std::array<stereo::Layout, 4> kLayouts = {stereo::Layout::Cross, stereo::Layout::Parallel,
                                                    stereo::Layout::Anaglyph, stereo::Layout::Mpo};

stereo::Layout LayoutOf(int type) {
    return type >= 0 && type < static_cast<int>(kLayouts.size()) ? kLayouts[static_cast<std::size_t>(type)]
                                                                 : stereo::Layout::Anaglyph;
}

}  // namespace

std::vector<std::string> LibraryStereoWriter::LayoutTypes() {
    return {"JPS cross, right eye first (*.jps)", "Parallel, left eye first (*.jpg)", "Red-cyan anaglyph (*.jpg)",
            "MPO, left eye first (*.mpo)"};
}

std::string LibraryStereoWriter::SuggestedPath(const std::string& source, int type) {
    return stereo::DefaultStereoName(source, LayoutOf(type));
}

void LibraryStereoWriter::Write(const std::string& source, int type, const std::string& path) {
    // The window already shows why an MPF index was not used, in its status panel.
    const auto [left, right] = stereo::ReadPair(source, 1, 2);
    stereo::SaveStereo(left, right, {LayoutOf(type), true, {}}, path);
}

}  // namespace veltrane::stereo_services
