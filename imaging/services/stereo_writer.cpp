// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/services/stereo_writer.h"

#include <array>

#include "imaging/align/pair_alignment.h"

#include "imaging/stereo/stereo_files.h"
#include "imaging/stereo/stereo_session.h"

namespace veltrane::stereo_services {
namespace {

// The file types of Save Stereo, in the order of the dialog's list.
constexpr std::array<stereo::Layout, 4> kLayouts = {stereo::Layout::Cross, stereo::Layout::Parallel,
                                                    stereo::Layout::Anaglyph, stereo::Layout::Mpo};

// Types from kLayouts.size() on are the same layouts again, fully aligned (rotation, scale and
// vertical offset corrected), where the build can align so.
constexpr int kFullyAligned = static_cast<int>(kLayouts.size());

stereo::Layout LayoutOf(int type) {
    if (type >= kFullyAligned && type < 2 * kFullyAligned) type -= kFullyAligned;
    return type >= 0 && type < kFullyAligned ? kLayouts[static_cast<std::size_t>(type)] : stereo::Layout::Anaglyph;
}

}  // namespace

std::vector<std::string> LibraryStereoWriter::LayoutTypes() {
    std::vector<std::string> types = {"JPS cross, right eye first (*.jps)", "Parallel, left eye first (*.jpg)",
                                      "Red-cyan anaglyph (*.jpg)", "MPO, left eye first (*.mpo)"};
    if (align::FullAlignmentAvailable()) {
        for (const char* type : {"JPS cross, fully aligned (*.jps)", "Parallel, fully aligned (*.jpg)",
                                 "Red-cyan anaglyph, fully aligned (*.jpg)", "MPO, fully aligned (*.mpo)"})
            types.emplace_back(type);
    }
    return types;
}

std::string LibraryStereoWriter::SuggestedPath(const std::string& source, int type) {
    return stereo::DefaultStereoName(source, LayoutOf(type));
}

void LibraryStereoWriter::Write(const std::string& source, int type, const std::string& path) {
    // The window already shows why an MPF index was not used, in its status panel.
    const auto [left, right] = stereo::ReadPair(source, 1, 2);
    stereo::StereoOptions options;
    options.layout = LayoutOf(type);
    options.alignFull = type >= kFullyAligned;
    options.align = !options.alignFull;
    stereo::SaveStereo(left, right, options, path);
}

}  // namespace veltrane::stereo_services
