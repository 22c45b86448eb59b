// SPDX-License-Identifier: GPL-3.0-or-later
// The Stereo window's slider: what one step of the parallax slider costs, from the model's
// handler to the new picture handed to the window (the render at the preview size through the
// stereo library, and the copy a window makes of it), for each view on a 4000 x 3000 pair. Also
// what opening the pair costs (reading, the reduced decode and the alignment).
//   bench_stereo_window [PAIR_FOLDER]   reads PAIR_FOLDER/pair.mpo (make_stereo_pair's; default .)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/window/scripted_services.h"
#include "core/window/stereo_window_model.h"
#include "imaging/services/library_stereo_previewer.h"

namespace {

using namespace veltrane::window;

std::string folder = ".";

// Takes each picture as a window does: a copy into memory of its own.
class CopyingView : public StereoWindowView {
public:
    void ShowWindow(const std::string&) override {}
    void HideWindow() override {}
    void ShowPicture(const RgbPicture& picture) override {
        shown.width = picture.width;
        shown.height = picture.height;
        shown.pixels.assign(picture.pixels.begin(), picture.pixels.end());
    }
    void SetControls(const StereoControls&) override {}
    void SetAnimationTimer(int) override {}
    void CallOnInterfaceThread(std::function<void()> call) override { call(); }
    RgbPicture shown;
};

class NoSaveDialog : public SaveFileDialog {
public:
    std::string GetSaveFileName(const std::string&, const std::vector<std::string>&, const std::vector<std::string>&,
                                int&) override {
        return {};
    }
};

struct Window {
    veltrane::stereo_services::LibraryStereoPreviewer previewer;
    NoSaveDialog dialog;
    MessagesToStderr messages{"bench_stereo_window"};
    CopyingView view;
    StereoWindowModel model{{previewer, dialog, messages}, view};
};

void OpenPair(benchmark::State& state) {
    Window window;
    for (auto _ : state) {
        window.model.OpenPair(folder + "/pair.mpo", 1, 2);
        benchmark::DoNotOptimize(window.view.shown.pixels.data());
    }
    if (window.messages.failed) state.SkipWithError("the pair did not open");
}
BENCHMARK(OpenPair)->Unit(benchmark::kMillisecond);

// One slider step: ParallaxChanged to the next value of a back-and-forth drag.
void SliderStep(benchmark::State& state) {
    Window window;
    window.model.OpenPair(folder + "/pair.mpo", 1, 2);
    if (!window.model.PairOpen()) {
        state.SkipWithError("the pair did not open");
        return;
    }
    const auto view = static_cast<StereoView>(state.range(0));
    const auto kind = static_cast<AnaglyphKind>(state.range(1));
    window.model.ViewChosen(view);
    window.model.AnaglyphKindChosen(kind);
    int step = 0;
    for (auto _ : state) {
        window.model.ParallaxChanged(step % 80 - 40);
        ++step;
        benchmark::DoNotOptimize(window.view.shown.pixels.data());
    }
    state.SetLabel(std::string(kStereoViews[static_cast<std::size_t>(view)].caption) + ", " +
                   kAnaglyphKinds[static_cast<std::size_t>(kind)].caption + ": " +
                   std::to_string(window.view.shown.width) + " x " + std::to_string(window.view.shown.height));
}
BENCHMARK(SliderStep)
    ->Args({static_cast<int>(StereoView::Anaglyph), static_cast<int>(AnaglyphKind::Dubois)})
    ->Args({static_cast<int>(StereoView::Anaglyph), static_cast<int>(AnaglyphKind::AmberBlue)})
    ->Args({static_cast<int>(StereoView::Anaglyph), static_cast<int>(AnaglyphKind::Optimized)})
    ->Args({static_cast<int>(StereoView::Parallel), 0})
    ->Args({static_cast<int>(StereoView::Cross), 0})
    ->Args({static_cast<int>(StereoView::Wiggle), 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1) folder = argv[1];
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
