// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/services/library_stereo_previewer.h"

#include <utility>

#include "core/parts/file_parts.h"
#include "imaging/stereo/full_alignment.h"
#include "imaging/stereo/stereo_files.h"

namespace veltrane::stereo_services {
namespace {

using window::StereoFileType;

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
    options.align = settings.align && !settings.alignFull;
    options.alignFull = settings.alignFull;
    options.anaglyph = settings.anaglyph;
    options.parallax = settings.parallax;
    options.swap = settings.swap;
    options.animation =
        settings.type == StereoFileType::WiggleWebp ? stereo::AnimationFormat::Webp : stereo::AnimationFormat::Gif;
    options.frameDelayMs = settings.frameDelayMs;
    return options;
}

LibraryStereoPreviewer::~LibraryStereoPreviewer() { WaitForFullAlignment(); }

void LibraryStereoPreviewer::WaitForFullAlignment() {
    if (aligning_.valid()) aligning_.wait();
    aligning_ = {};
    aligned_.reset();
}

void LibraryStereoPreviewer::StartFullAlignment(std::function<void()> done) {
    const stereo::StereoSession& session = Session();
    WaitForFullAlignment();
    // The session stays while the thread reads it: opening or closing a pair waits for it.
    aligning_ = std::async(std::launch::async, [&session, side = previewSide_, done = std::move(done)] {
        auto result = std::make_shared<FullAlignment>();
        try {
            const stereo::StereoPair pair = session.FullPair();
            const stereo::AlignedPair aligned = stereo::AlignFully(pair.left, pair.right, {});
            result->eyes = stereo::DecodeEyes(aligned.pair.left, aligned.pair.right, side, session.Limits());
            result->words = aligned.correction;
        } catch (const std::exception& error) {
            result->error = error.what();
        }
        done();
        return result;
    });
}

std::string LibraryStereoPreviewer::FinishFullAlignment() {
    if (!aligning_.valid()) throw stereo::StereoError("no full alignment is under way");
    std::shared_ptr<FullAlignment> result = aligning_.get();
    if (!result->error.empty()) throw stereo::StereoError(result->error);
    aligned_ = std::move(result);
    return aligned_->words;
}

const stereo::StereoSession& LibraryStereoPreviewer::Session() const {
    if (!session_) throw stereo::StereoError("no stereo pair is open");
    return *session_;
}

window::StereoPairSize LibraryStereoPreviewer::OpenPair(const std::string& source, int first, int second,
                                                        int previewSide) {
    WaitForFullAlignment();
    session_.reset();  // the pair before goes first: only one is held at a time
    previewSide_ = previewSide;
    // The main window already shows why an MPF index was not used, in its status panel.
    session_ = std::make_unique<stereo::StereoSession>(source, first, second, previewSide,
                                                        parts::WithOtherParts({}));
    source_ = source;
    return {session_->Width(), session_->Height()};
}

window::StereoPairSize LibraryStereoPreviewer::OpenSpatialPhoto(const std::string& path, int previewSide) {
    WaitForFullAlignment();
    session_.reset();
    previewSide_ = previewSide;
    session_ = std::make_unique<stereo::StereoSession>(stereo::StereoSession::FromSpatialPhoto(path, previewSide));
    source_ = path;
    return {session_->Width(), session_->Height()};
}

void LibraryStereoPreviewer::ClosePair() {
    WaitForFullAlignment();
    session_.reset();
}

window::StereoShift LibraryStereoPreviewer::MeasureAlignment() {
    return Session().MeasureAlignment();
}

std::vector<window::RgbPicture> LibraryStereoPreviewer::Render(const window::StereoRenderSettings& settings) {
    stereo::ViewSettings view;
    view.layout = LibraryLayout(settings.view);
    view.anaglyph = settings.anaglyph;
    view.alignment = settings.shift;
    view.parallax = settings.parallax;
    view.swap = settings.swap;
    std::vector<window::RgbPicture> frames;
    if (settings.fullAlign && aligned_) {
        // The corrected pair's preview.
        if (settings.view == window::StereoView::Wiggle) {
            for (RgbPicture& frame : stereo::WiggleFrames(aligned_->eyes, view)) frames.push_back(std::move(frame));
        } else {
            frames.push_back(stereo::RenderStereo(aligned_->eyes, view));
        }
    } else if (settings.view == window::StereoView::Wiggle) {
        for (RgbPicture& frame : Session().Wiggle(view)) frames.push_back(std::move(frame));
    } else {
        frames.push_back(Session().Render(view));
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
