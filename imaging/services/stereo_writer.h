// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's Save Stereo through the stereo library (libjpeg-turbo): four layouts of
// images 1 and 2 (JPS cross, parallel, anaglyph, MPO), aligned, written as the Stereo window's
// Save writes (stereo::SaveStereo). No toolkit in it: both windows use it.
#include "core/window/window_services.h"

namespace veltrane::stereo_services {

class LibraryStereoWriter : public window::StereoWriter {
public:
    std::vector<std::string> LayoutTypes() override;
    std::string SuggestedPath(const std::string& source, int type) override;
    void Write(const std::string& source, int type, const std::string& path) override;
};

}  // namespace veltrane::stereo_services
