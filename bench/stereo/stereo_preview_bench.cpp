// SPDX-License-Identifier: GPL-3.0-or-later
// The re-render a window does for each change of a setting (a parallax slider step): eyes of a
// 4000 x 3000 pair decoded once at the scale that gives at least 1280 pixels across, then
// RenderStereo per layout. Run: bench_stereo_preview [PAIR_FOLDER] (default: a pair it writes).
//   bench_stereo_preview FOLDER      reads FOLDER/l.jpg and FOLDER/r.jpg (make_stereo_pair's)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/stereo/preview.h"

namespace {

using veltrane::stereo::Eyes;
std::string folder = ".";

std::vector<std::uint8_t> Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

const Eyes& PreviewEyes() {
    static const Eyes eyes = [] {
        const auto l = Read(folder + "/l.jpg"), r = Read(folder + "/r.jpg");
        return veltrane::stereo::DecodeEyes(l, r, 1280, {});
    }();
    return eyes;
}

void DecodeAtPreviewSize(benchmark::State& state) {
    const auto l = Read(folder + "/l.jpg"), r = Read(folder + "/r.jpg");
    for (auto _ : state) benchmark::DoNotOptimize(veltrane::stereo::DecodeEyes(l, r, 1280, {}));
}
BENCHMARK(DecodeAtPreviewSize)->Unit(benchmark::kMillisecond);

void Render(benchmark::State& state) {
    const Eyes& eyes = PreviewEyes();
    veltrane::stereo::ViewSettings settings;
    settings.layout = static_cast<veltrane::stereo::Layout>(state.range(0));
    settings.alignment = {60, 0};
    int parallax = 0;
    for (auto _ : state) {
        settings.parallax = parallax++ % 40 - 20;  // a slider moving
        benchmark::DoNotOptimize(veltrane::stereo::RenderStereo(eyes, settings));
    }
    state.SetLabel(std::string(veltrane::stereo::LayoutWord(settings.layout)) + " " +
                   std::to_string(eyes.left.width) + " x " + std::to_string(eyes.left.height));
}
BENCHMARK(Render)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1) folder = argv[1];
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
