// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/stereo_window_model.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "core/common/native_path.h"
#include "core/heif_boxes/heif_image_metadata.h"
#include "core/window/main_window_model.h"

namespace veltrane::window {
namespace {

// "+12 px", "0 px", "-12 px".
std::string PixelsText(int pixels) {
    std::string text = pixels > 0 ? "+" : "";
    text.append(std::to_string(pixels));
    text.append(" px");
    return text;
}

}  // namespace

StereoFileType DefaultFileType(StereoView view) {
    switch (view) {
        case StereoView::Anaglyph: return StereoFileType::Anaglyph;
        case StereoView::Parallel: return StereoFileType::Parallel;
        case StereoView::Cross: return StereoFileType::CrossJps;
        case StereoView::Wiggle: return StereoFileType::WiggleGif;
    }
    return StereoFileType::Anaglyph;
}

StereoWindowModel::StereoWindowModel(StereoWindowServices services, StereoWindowView& view)
    : services_(services), view_(view) {
    controls_.openButton = services_.OpenDialog != nullptr;
}

template <typename Command>
void StereoWindowModel::RunCommand(Command&& command) {
    try {
        command();
    } catch (const std::exception& error) {
        services_.Messages.ShowError(ErrorTextToUtf8(error.what()));
    }
}

int StereoWindowModel::ParallaxLimit(int fullWidth) { return std::max(1, fullWidth / 20); }

StereoRenderSettings StereoWindowModel::RenderSettings() const {
    StereoRenderSettings settings;
    settings.view = shown_;
    settings.anaglyph = anaglyph_;
    // The measurement is of the pair in file order; swapped, the eyes' roles and so the shift's
    // direction turn round.
    settings.fullAlign = alignFull_ && full_ == FullState::Done;
    if (align_ && measured_ && !settings.fullAlign)
        settings.shift = swap_ ? StereoShift{-measured_->across, -measured_->down} : *measured_;
    settings.parallax = parallax_;
    settings.swap = swap_;
    return settings;
}

std::string StereoWindowModel::StatusText() const {
    if (!open_) return {};
    std::string text = (spatialPhoto_ ? std::string("Spatial photo")
                                      : "Images " + std::to_string(first_) + " and " + std::to_string(second_)) +
                       ", " + std::to_string(size_.width) + " x " + std::to_string(size_.height);
    if (alignFull_ && full_ == FullState::Running) return text + "; aligning at full size…";
    if (alignFull_ && full_ == FullState::Done) return text + "; aligned: " + fullWords_;
    if (align_ && measured_)
        text += "; aligned: " + std::to_string(measured_->across) + " px across, " + std::to_string(measured_->down) +
                " px down";
    return text;
}

void StereoWindowModel::UpdateControls() {
    StereoControls controls;
    controls.view = shown_;
    controls.anaglyph = anaglyph_;
    controls.align = align_ && alignable_;
    controls.alignFull = alignFull_ && full_ != FullState::Refused;
    controls.alignFullBox = open_ && full_ != FullState::Refused;
    controls.swap = swap_;
    controls.parallax = parallax_;
    const int limit = open_ ? ParallaxLimit(size_.width) : 0;
    controls.parallaxMin = -limit;
    controls.parallaxMax = limit;
    controls.parallaxText = PixelsText(parallax_);
    controls.statusText = StatusText();
    controls.viewChoice = open_;
    controls.anaglyphChoice = open_ && shown_ == StereoView::Anaglyph;
    controls.alignBox = open_ && alignable_;
    controls.swapBox = open_;
    controls.parallaxSlider = open_;
    controls.saveButton = open_;
    controls.openButton = services_.OpenDialog != nullptr;
    controls_ = controls;
    view_.SetControls(controls_);
}

void StereoWindowModel::StopAnimation() {
    if (animating_) view_.SetAnimationTimer(0);
    animating_ = false;
    frames_.clear();
    shownFrame_ = 0;
}

void StereoWindowModel::EnsureAlignment() {
    if (!open_ || measured_ || !alignable_) return;
    try {
        measured_ = services_.Previewer.MeasureAlignment();
    } catch (const std::exception& error) {
        // The pair cannot be aligned (say, its images differ in height): the box is greyed out
        // for this pair, and ticked again for the next if the user left it ticked.
        alignable_ = false;
        services_.Messages.ShowError(ErrorTextToUtf8(error.what()));
    }
}

void StereoWindowModel::StartFullAlignment() {
    if (!open_ || full_ != FullState::NotStarted) return;
    full_ = FullState::Running;
    const unsigned run = ++fullRun_;
    try {
        // The previewer's thread hands the end over to the interface thread.
        services_.Previewer.StartFullAlignment(
            [this, run] { view_.CallOnInterfaceThread([this, run] { FullAlignmentEnded(run); }); });
    } catch (const std::exception& error) {
        full_ = FullState::Refused;
        services_.Messages.ShowError(ErrorTextToUtf8(error.what()));
    }
}

void StereoWindowModel::FullAlignmentEnded(unsigned run) {
    if (run != fullRun_ || full_ != FullState::Running) return;  // of a pair closed since
    try {
        fullWords_ = services_.Previewer.FinishFullAlignment();
        full_ = FullState::Done;
    } catch (const std::exception& error) {
        // The pair cannot be aligned so: the box is greyed out for this pair.
        full_ = FullState::Refused;
        services_.Messages.ShowError(ErrorTextToUtf8(error.what()));
    }
    UpdateControls();
    if (alignFull_) Rerender();
}

void StereoWindowModel::Rerender() {
    if (!open_) return;
    bool shown = false;
    RunCommand([&] {
        std::vector<RgbPicture> frames = services_.Previewer.Render(RenderSettings());
        if (frames.empty()) return;
        if (shown_ == StereoView::Wiggle && frames.size() >= 2) {
            // The animation goes on with the new frames from the one it shows.
            frames_ = std::move(frames);
            view_.ShowPicture(frames_[static_cast<std::size_t>(shownFrame_)]);
            if (!animating_) view_.SetAnimationTimer(kFrameDelayMs);
            animating_ = true;
        } else {
            StopAnimation();
            view_.ShowPicture(frames.front());
        }
        shown = true;
    });
    if (!shown) {
        StopAnimation();
        view_.ShowPicture({});
    }
}

// ---- the handlers ----

void StereoWindowModel::OpenPair(const std::string& source, int first, int second) {
    OpenWith(source, [&] {
        const StereoPairSize size = services_.Previewer.OpenPair(source, first, second, kPreviewSide);
        first_ = first;
        second_ = second;
        spatialPhoto_ = false;
        return size;
    });
}

void StereoWindowModel::OpenFile(const std::string& path) {
    bool spatial = false;
    try {
        spatial = heif_boxes::IsHeifFile(path);
    } catch (const std::exception&) {
        // Not readable: the previewer's attempt below says why.
    }
    if (!spatial) {
        OpenPair(path, 1, 2);
        return;
    }
    OpenWith(path, [&] {
        const StereoPairSize size = services_.Previewer.OpenSpatialPhoto(path, kPreviewSide);
        first_ = 1;
        second_ = 2;
        spatialPhoto_ = true;
        return size;
    });
}

void StereoWindowModel::OpenRequested() {
    if (services_.OpenDialog == nullptr) return;
    const std::string path = services_.OpenDialog->GetOpenFileName("Open stereo photo", kStereoOpenFilter,
                                                                   kStereoOpenPatterns);
    if (!path.empty()) OpenFile(path);
}

template <typename Open>
void StereoWindowModel::OpenWith(const std::string& source, Open&& open) {
    StopAnimation();
    if (open_) services_.Previewer.ClosePair();
    open_ = false;
    measured_.reset();
    alignable_ = true;
    full_ = FullState::NotStarted;
    fullWords_.clear();
    ++fullRun_;
    shown_ = StereoView::Anaglyph;
    swap_ = false;
    parallax_ = 0;
    RunCommand([&] {
        size_ = open();
        source_ = source;
        open_ = true;
    });
    if (!open_) {
        // A window that showed another pair stays, empty; a hidden one is not shown.
        view_.ShowPicture({});
        UpdateControls();
        return;
    }
    if (align_) EnsureAlignment();
    if (alignFull_) StartFullAlignment();
    UpdateControls();
    view_.ShowWindow("Stereo - " + FileNamePart(source_));
    Rerender();
}

void StereoWindowModel::ViewChosen(StereoView view) {
    if (!open_) return;
    shown_ = view;
    UpdateControls();
    Rerender();
}

void StereoWindowModel::AnaglyphKindChosen(AnaglyphKind kind) {
    if (!open_) return;
    anaglyph_ = kind;
    UpdateControls();
    if (shown_ == StereoView::Anaglyph) Rerender();
}

void StereoWindowModel::AlignToggled(bool align) {
    if (!open_) return;
    align_ = align;
    if (align_) EnsureAlignment();
    UpdateControls();
    Rerender();
}

void StereoWindowModel::AlignFullToggled(bool full) {
    if (!open_) return;
    alignFull_ = full;
    if (alignFull_) StartFullAlignment();
    UpdateControls();
    Rerender();
}

void StereoWindowModel::SwapToggled(bool swap) {
    if (!open_) return;
    swap_ = swap;
    UpdateControls();
    Rerender();
}

void StereoWindowModel::ParallaxChanged(int parallax) {
    if (!open_) return;
    const int limit = ParallaxLimit(size_.width);
    parallax = std::clamp(parallax, -limit, limit);
    const bool changed = parallax != parallax_;
    parallax_ = parallax;
    UpdateControls();
    if (changed) Rerender();
}

void StereoWindowModel::AnimationTimerFired() {
    if (frames_.size() < 2) return;
    shownFrame_ = 1 - shownFrame_;
    view_.ShowPicture(frames_[static_cast<std::size_t>(shownFrame_)]);
}

std::vector<StereoFileType> StereoWindowModel::SaveTypes() {
    std::vector<StereoFileType> types;
    for (const StereoFileTypeEntry& entry : kStereoFileTypes)
        if (!entry.optional || services_.Previewer.CanSave(entry.type)) types.push_back(entry.type);
    return types;
}

void StereoWindowModel::SaveRequested() {
    if (!open_) return;
    RunCommand([&] {
        const std::vector<StereoFileType> types = SaveTypes();
        std::vector<std::string> filters, names;
        int preferred = 0;
        for (const StereoFileType type : types) {
            const auto entry = std::find_if(kStereoFileTypes.begin(), kStereoFileTypes.end(),
                                            [&](const StereoFileTypeEntry& e) { return e.type == type; });
            if (type == DefaultFileType(shown_)) preferred = static_cast<int>(filters.size());
            filters.emplace_back(entry->filter);
            names.push_back(services_.Previewer.SuggestedPath(type));
        }
        int chosen = preferred;
        const std::string path = services_.SaveDialog.GetSaveFileName("Save Stereo", filters, names, chosen);
        if (path.empty()) return;
        if (chosen < 0 || chosen >= static_cast<int>(types.size())) chosen = preferred;
        StereoSaveSettings settings;
        settings.type = types[static_cast<std::size_t>(chosen)];
        settings.anaglyph = anaglyph_;
        settings.alignFull = alignFull_ && full_ == FullState::Done;
        settings.align = align_ && alignable_ && !settings.alignFull;
        settings.parallax = parallax_;
        settings.swap = swap_;
        settings.frameDelayMs = kFrameDelayMs;
        services_.Previewer.Save(settings, path);
    });
}

void StereoWindowModel::WindowClosing() {
    StopAnimation();
    ++fullRun_;  // an alignment under way ends unheard
    full_ = FullState::NotStarted;
    if (open_) services_.Previewer.ClosePair();
    open_ = false;
    view_.ShowPicture({});
    UpdateControls();
}

void StereoWindowModel::CloseWindow() {
    view_.HideWindow();
    WindowClosing();
}

}  // namespace veltrane::window
