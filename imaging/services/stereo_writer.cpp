// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/services/stereo_writer.h"

#include "core/parts/file_parts.h"
#include "imaging/align/pair_alignment.h"
#include "imaging/services/library_stereo_previewer.h"
#include "imaging/stereo/stereo_files.h"
#include "imaging/stereo/stereo_session.h"

namespace veltrane::stereo_services {
namespace {

using window::StereoFileType;

// What Save Stereo writes: the picture of type, aligned, as the Stereo window's Save writes it
// with its settings untouched.
stereo::StereoOptions OptionsOf(StereoFileType type, bool alignFull = false) {
    window::StereoSaveSettings settings;
    settings.type = type;
    settings.align = !alignFull;
    settings.alignFull = alignFull;
    return LibraryOptions(settings);
}

}  // namespace

std::vector<window::StereoLayoutChoice> LibraryStereoWriter::Layouts() {
    std::vector<window::StereoLayoutChoice> layouts = {{StereoFileType::CrossJps, "JPS cross, right eye first (*.jps)"},
                                                       {StereoFileType::Parallel, "Parallel, left eye first (*.jpg)"},
                                                       {StereoFileType::Anaglyph, "Red-cyan anaglyph (*.jpg)"},
                                                       {StereoFileType::Mpo, "MPO, left eye first (*.mpo)"}};
    if (align::FullAlignmentAvailable()) {
        // The same four, fully aligned.
        layouts.push_back({StereoFileType::CrossJps, "JPS cross, fully aligned (*.jps)", true});
        layouts.push_back({StereoFileType::Parallel, "Parallel, fully aligned (*.jpg)", true});
        layouts.push_back({StereoFileType::Anaglyph, "Red-cyan anaglyph, fully aligned (*.jpg)", true});
        layouts.push_back({StereoFileType::Mpo, "MPO, fully aligned (*.mpo)", true});
    }
    return layouts;
}

std::string LibraryStereoWriter::SuggestedPath(const std::string& source, StereoFileType type) {
    return stereo::DefaultStereoName(source, OptionsOf(type).layout);
}

void LibraryStereoWriter::Write(const std::string& source, StereoFileType type, const std::string& path) {
    // The window already shows why an MPF index was not used, in its status panel.
    const auto [left, right] = stereo::ReadPair(source, 1, 2, parts::WithOtherParts({}));
    stereo::SaveStereo(left, right, OptionsOf(type), path);
}

void LibraryStereoWriter::WriteChoice(const std::string& source, const window::StereoLayoutChoice& choice,
                                      const std::string& path) {
    const auto [left, right] = stereo::ReadPair(source, 1, 2, parts::WithOtherParts({}));
    stereo::SaveStereo(left, right, OptionsOf(choice.type, choice.alignFull), path);
}

}  // namespace veltrane::stereo_services
