#pragma once
// The window's stereo pictures through the stereo library (libjpeg-turbo): the three layouts of
// Save Stereo and the aligned anaglyph that Show Stereo opens.
#include "core/window/window_services.h"

namespace veltrane::gui {

class LibraryStereoWriter : public window::StereoWriter {
public:
    std::vector<std::string> LayoutTypes() override;
    std::string SuggestedPath(const std::string& source, int type) override;
    void Write(const std::string& source, int type, const std::string& path) override;
};

}  // namespace veltrane::gui
