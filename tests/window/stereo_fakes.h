// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A recording fake of the Stereo window's previewer and a recording Stereo window view.
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/window/stereo_window_model.h"

namespace veltrane::window {

// How gtest shows the settings in a failure.
inline void PrintTo(const StereoRenderSettings& s, std::ostream* out) {
    *out << "{view " << static_cast<int>(s.view) << ", kind " << static_cast<int>(s.anaglyph) << ", shift "
         << s.shift.across << "," << s.shift.down << ", parallax " << s.parallax << ", swap " << s.swap << ", full "
         << s.fullAlign << "}";
}
inline void PrintTo(const StereoSaveSettings& s, std::ostream* out) {
    *out << "{type " << static_cast<int>(s.type) << ", kind " << static_cast<int>(s.anaglyph) << ", align "
         << s.align << ", parallax " << s.parallax << ", swap " << s.swap << ", delay " << s.frameDelayMs << "}";
}

}  // namespace veltrane::window

namespace veltrane::window::test {

// Answers with fixed sizes and a fixed alignment; each picture it renders tells the settings it
// was rendered with (its width is 100 + parallax, its one pixel's bytes the view, the frame and
// whether it was swapped). FailOn names a call ("open", "measure", "render", "save") that raises.
class FakePreviewer : public StereoPreviewer {
public:
    StereoPairSize OpenPair(const std::string& source, int first, int second, int previewSide) override {
        Calls.push_back("open " + source + " " + std::to_string(first) + " " + std::to_string(second) + " " +
                        std::to_string(previewSide));
        Fail("open");
        return Size;
    }
    StereoPairSize OpenSpatialPhoto(const std::string& path, int previewSide) override {
        Calls.push_back("open spatial " + path + " " + std::to_string(previewSide));
        Fail("open");
        return Size;
    }
    void ClosePair() override { Calls.emplace_back("close"); }
    StereoShift MeasureAlignment() override {
        Calls.emplace_back("measure");
        Fail("measure");
        return Shift;
    }
    std::vector<RgbPicture> Render(const StereoRenderSettings& settings) override {
        Calls.emplace_back("render");
        Renders.push_back(settings);
        Fail("render");
        std::vector<RgbPicture> frames;
        const int count = settings.view == StereoView::Wiggle ? 2 : 1;
        for (int frame = 0; frame < count; ++frame)
            frames.push_back(RgbPicture{100 + settings.parallax, 1,
                                        {static_cast<std::uint8_t>(settings.view), static_cast<std::uint8_t>(frame),
                                         static_cast<std::uint8_t>(settings.swap)}});
        return frames;
    }
    bool CanSave(StereoFileType type) override { return type != StereoFileType::Mpo || MpoAvailable; }
    std::string SuggestedPath(StereoFileType type) override {
        return "/pictures/trip." + std::to_string(static_cast<int>(type));
    }
    void Save(const StereoSaveSettings& settings, const std::string& path) override {
        Calls.push_back("save " + path);
        Fail("save");
        Saves.emplace_back(settings, path);
    }
    // Full alignment: the start keeps done for the test to call, as the thread would.
    void StartFullAlignment(std::function<void()> done) override {
        Calls.emplace_back("align full");
        Fail("align full");
        AlignmentDone = std::move(done);
    }
    std::string FinishFullAlignment() override {
        Calls.emplace_back("finish full");
        Fail("finish full");
        return "rotation 0.82°, scale 1.004, vertical 3.1 px";
    }

    StereoPairSize Size{4000, 3000};
    StereoShift Shift{60, -2};
    bool MpoAvailable = false;
    std::string FailOn;
    std::vector<std::string> Calls;
    std::vector<StereoRenderSettings> Renders;
    std::vector<std::pair<StereoSaveSettings, std::string>> Saves;
    std::function<void()> AlignmentDone;  // of the last StartFullAlignment

private:
    void Fail(const std::string& call) const {
        if (FailOn == call) throw std::runtime_error("cannot " + call);
    }
};

class RecordingStereoView : public StereoWindowView {
public:
    void ShowWindow(const std::string& title) override {
        Title = title;
        Visible = true;
        ++Shows;
    }
    void HideWindow() override { Visible = false; }
    void ShowPicture(const RgbPicture& picture) override { Pictures.push_back(picture); }
    void SetControls(const StereoControls& controls) override { Controls = controls; }
    void SetAnimationTimer(int intervalMs) override { Timers.push_back(intervalMs); }
    // Kept until the test runs them, as an event loop would.
    void CallOnInterfaceThread(std::function<void()> call) override { Queued.push_back(std::move(call)); }
    void RunQueued() {
        std::vector<std::function<void()>> calls = std::move(Queued);
        Queued.clear();
        for (const auto& call : calls) call();
    }

    // The picture shown last (an empty one before any).
    RgbPicture Shown() const { return Pictures.empty() ? RgbPicture{} : Pictures.back(); }

    std::string Title;
    bool Visible = false;
    int Shows = 0;
    std::vector<RgbPicture> Pictures;
    StereoControls Controls;
    std::vector<int> Timers;  // every SetAnimationTimer, in order
    std::vector<std::function<void()>> Queued;
};

}  // namespace veltrane::window::test
