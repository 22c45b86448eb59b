// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/services/stereo_writer.h"

#include "imaging/services/library_stereo_previewer.h"
#include "imaging/stereo/stereo_files.h"
#include "imaging/stereo/stereo_session.h"

namespace veltrane::stereo_services {
namespace {

using window::StereoFileType;

// What Save Stereo writes: the picture of type, aligned, as the Stereo window's Save writes it
// with its settings untouched.
stereo::StereoOptions OptionsOf(StereoFileType type) {
    window::StereoSaveSettings settings;
    settings.type = type;
    settings.align = true;
    return LibraryOptions(settings);
}

}  // namespace

std::vector<window::StereoLayoutChoice> LibraryStereoWriter::Layouts() {
    return {{StereoFileType::CrossJps, "JPS cross, right eye first (*.jps)"},
            {StereoFileType::Parallel, "Parallel, left eye first (*.jpg)"},
            {StereoFileType::Anaglyph, "Red-cyan anaglyph (*.jpg)"},
            {StereoFileType::Mpo, "MPO, left eye first (*.mpo)"}};
}

std::string LibraryStereoWriter::SuggestedPath(const std::string& source, StereoFileType type) {
    return stereo::DefaultStereoName(source, OptionsOf(type).layout);
}

void LibraryStereoWriter::Write(const std::string& source, StereoFileType type, const std::string& path) {
    // The window already shows why an MPF index was not used, in its status panel.
    const auto [left, right] = stereo::ReadPair(source, 1, 2);
    stereo::SaveStereo(left, right, OptionsOf(type), path);
}

}  // namespace veltrane::stereo_services
