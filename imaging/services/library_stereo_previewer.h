// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Stereo window's pictures through the stereo library (libjpeg-turbo, libpng, giflib,
// libwebp): the window model's StereoPreviewer over a StereoSession. No toolkit in it: the Qt
// window and the Win32 window both show its pictures.
#include <memory>
#include <string>
#include <vector>

#include "core/window/stereo_previewer.h"
#include "imaging/stereo/stereo_session.h"

namespace veltrane::stereo_services {

class LibraryStereoPreviewer : public window::StereoPreviewer {
public:
    window::StereoPairSize OpenPair(const std::string& source, int first, int second, int previewSide) override;
    // Says kNoSpatialPhotos in a build without libheif.
    window::StereoPairSize OpenSpatialPhoto(const std::string& path, int previewSide) override;
    void ClosePair() override;
    window::StereoShift MeasureAlignment() override;
    std::vector<window::RgbPicture> Render(const window::StereoRenderSettings& settings) override;
    // Every type: the library writes them all.
    bool CanSave(window::StereoFileType type) override;
    std::string SuggestedPath(window::StereoFileType type) override;
    void Save(const window::StereoSaveSettings& settings, const std::string& path) override;

private:
    const stereo::StereoSession& Session() const;

    std::unique_ptr<stereo::StereoSession> session_;
    std::string source_;
};

// The stereo library's names for the window model's.
stereo::AnaglyphKind LibraryKind(window::AnaglyphKind kind);
stereo::Layout LibraryLayout(window::StereoView view);
// The options of a saved picture of settings.type.
stereo::StereoOptions LibraryOptions(const window::StereoSaveSettings& settings);

}  // namespace veltrane::stereo_services
