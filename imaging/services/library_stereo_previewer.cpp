// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/services/library_stereo_previewer.h"

#include <utility>

#include "imaging/stereo/stereo_files.h"

namespace veltrane::stereo_services {
namespace {

using window::StereoFileType;

window::RgbPicture Picture(stereo::RgbImage&& image) {
    window::RgbPicture picture;
    picture.width = image.width;
    picture.height = image.height;
    picture.pixels = std::move(image.pixels);
    return picture;
}

// The layout a file of type holds.
stereo::Layout LayoutOf(StereoFileType type) {
    switch (type) {
        case StereoFileType::CrossJps: return stereo::Layout::Cross;
        case StereoFileType::Parallel: return stereo::Layout::Parallel;
        case StereoFileType::Anaglyph: return stereo::Layout::Anaglyph;
        case StereoFileType::OverUnder: return stereo::Layout::OverUnder;
        case StereoFileType::HalfSideBySide: return stereo::Layout::HalfSideBySide;
        case StereoFileType::HalfOverUnder: return stereo::Layout::HalfOverUnder;
        case StereoFileType::InterlacedPng: return stereo::Layout::Interlaced;
        case StereoFileType::WiggleGif:
        case StereoFileType::WiggleWebp: return stereo::Layout::Wiggle;
        case StereoFileType::Mpo: return stereo::Layout::Mpo;
    }
    return stereo::Layout::Anaglyph;
}

}  // namespace

stereo::AnaglyphKind LibraryKind(window::AnaglyphKind kind) {
    switch (kind) {
        case window::AnaglyphKind::Dubois: return stereo::AnaglyphKind::Dubois;
        case window::AnaglyphKind::AmberBlue: return stereo::AnaglyphKind::AmberBlue;
        case window::AnaglyphKind::GreenMagenta: return stereo::AnaglyphKind::GreenMagenta;
        case window::AnaglyphKind::Gray: return stereo::AnaglyphKind::Gray;
        case window::AnaglyphKind::Color: return stereo::AnaglyphKind::Color;
        case window::AnaglyphKind::HalfColor: return stereo::AnaglyphKind::HalfColor;
        case window::AnaglyphKind::Optimized: return stereo::AnaglyphKind::Optimized;
    }
    return stereo::AnaglyphKind::Dubois;
}

stereo::Layout LibraryLayout(window::StereoView view) {
    switch (view) {
        case window::StereoView::Anaglyph: return stereo::Layout::Anaglyph;
        case window::StereoView::Parallel: return stereo::Layout::Parallel;
        case window::StereoView::Cross: return stereo::Layout::Cross;
        case window::StereoView::Wiggle: return stereo::Layout::Wiggle;
    }
    return stereo::Layout::Anaglyph;
}

stereo::StereoOptions LibraryOptions(const window::StereoSaveSettings& settings) {
    stereo::StereoOptions options;
    options.layout = LayoutOf(settings.type);
    options.align = settings.align;
    options.anaglyph = LibraryKind(settings.anaglyph);
    options.parallax = settings.parallax;
    options.swap = settings.swap;
    options.animation =
        settings.type == StereoFileType::WiggleWebp ? stereo::AnimationFormat::Webp : stereo::AnimationFormat::Gif;
    options.frameDelayMs = settings.frameDelayMs;
    return options;
}

const stereo::StereoSession& LibraryStereoPreviewer::Session() const {
    if (!session_) throw stereo::StereoError("no stereo pair is open");
    return *session_;
}

window::StereoPairSize LibraryStereoPreviewer::OpenPair(const std::string& source, int first, int second,
                                                        int previewSide) {
    session_.reset();  // the pair before goes first: only one is held at a time
    // The main window already shows why an MPF index was not used, in its status panel.
    session_ = std::make_unique<stereo::StereoSession>(source, first, second, previewSide);
    source_ = source;
    return {session_->Width(), session_->Height()};
}

window::StereoPairSize LibraryStereoPreviewer::OpenSpatialPhoto(const std::string& path, int previewSide) {
    session_.reset();
    session_ = std::make_unique<stereo::StereoSession>(stereo::StereoSession::FromSpatialPhoto(path, previewSide));
    source_ = path;
    return {session_->Width(), session_->Height()};
}

void LibraryStereoPreviewer::ClosePair() { session_.reset(); }

window::StereoShift LibraryStereoPreviewer::MeasureAlignment() {
    const stereo::Alignment alignment = Session().MeasureAlignment();
    return {alignment.across, alignment.down};
}

std::vector<window::RgbPicture> LibraryStereoPreviewer::Render(const window::StereoRenderSettings& settings) {
    stereo::ViewSettings view;
    view.layout = LibraryLayout(settings.view);
    view.anaglyph = LibraryKind(settings.anaglyph);
    view.alignment = {settings.shift.across, settings.shift.down};
    view.parallax = settings.parallax;
    view.swap = settings.swap;
    std::vector<window::RgbPicture> frames;
    if (settings.view == window::StereoView::Wiggle) {
        for (stereo::RgbImage& frame : Session().Wiggle(view)) frames.push_back(Picture(std::move(frame)));
    } else {
        frames.push_back(Picture(Session().Render(view)));
    }
    return frames;
}

bool LibraryStereoPreviewer::CanSave(StereoFileType) { return true; }

std::string LibraryStereoPreviewer::SuggestedPath(StereoFileType type) {
    std::string path = stereo::DefaultStereoName(source_, LayoutOf(type));
    if (type == StereoFileType::WiggleWebp) path.replace(path.size() - 4, 4, ".webp");  // "_wiggle.gif"
    return path;
}

void LibraryStereoPreviewer::Save(const window::StereoSaveSettings& settings, const std::string& path) {
    Session().Save(LibraryOptions(settings), path);
}

}  // namespace veltrane::stereo_services
