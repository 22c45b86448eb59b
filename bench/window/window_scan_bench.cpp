// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's Open costs over the bare scan, with the window's events let through at the
// model's interval and after every chunk, and the longest time the window goes without its
// events during a scan (the bound on how late a close takes effect).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/images/scanner.h"
#include "core/window/main_window_model.h"

namespace {

using Clock = std::chrono::steady_clock;

// 256 MiB of random bytes with an image signature every 32 MiB, in the temporary folder.
const std::string& BigMpo() {
    static const std::string path = [] {
        const std::string name = (std::filesystem::temp_directory_path() / "veltrane-bench-window.mpo").string();
        std::vector<std::uint8_t> block(1u << 20);
        std::mt19937 rng(3);
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        for (int mib = 0; mib < 256; ++mib) {
            for (auto& b : block) b = static_cast<std::uint8_t>(rng() % 255);  // no FF: no false starts
            if (mib % 32 == 0) std::copy(veltrane::ImageSignature.begin(), veltrane::ImageSignature.end(), block.begin());
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
        }
        return name;
    }();
    return path;
}

// A window that handles nothing but notes when it was last given its events.
class TimingView : public veltrane::window::MainWindowView {
public:
    void ClearList() override {}
    void AppendListLine(const std::string&) override {}
    void SetControls(const veltrane::window::ControlStates&) override {}
    void SetStatusText(const std::string&) override {}
    void SetStatusHint(const std::string&) override {}
    void SetListHint(const std::string&) override {}
    void SetContextMenuBox(bool) override {}
    void RepaintList() override {}
    void ProcessPendingEvents() override {
        const auto now = Clock::now();
        if (runs++ > 0) longest = std::max(longest, now - last);
        last = now;
    }
    void ShowExifWindow(const std::vector<veltrane::window::ExifRowText>&) override {}
    Clock::time_point last;
    Clock::duration longest{};
    long runs = 0;
};

struct Unattended : veltrane::window::OpenFileDialog, veltrane::window::FolderPicker, veltrane::window::DesktopLauncher,
                    veltrane::window::MessageBoxes, veltrane::window::TempFolderProvider,
                    veltrane::window::TickCounter, veltrane::window::ProcessTable, veltrane::ContextMenuRegistration {
    std::string GetOpenFileName(const std::string&, const std::string&, const std::string&) override { return BigMpo(); }
    std::string BrowseForFolder(const std::string&, const std::string&, bool) override { return {}; }
    void OpenFile(const std::string&) override {}
    void OpenUrl(const std::string&) override {}
    void ShowError(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ShowInformation(const std::string&) override {}
    std::string TempFolder() override { return {}; }
    std::uint32_t TickCount() override { return 0; }
    std::int64_t ThisProcess() override { return 1; }
    bool IsRunning(std::int64_t) override { return true; }
    bool IsRegistered() override { return false; }
    void Register(const std::string&, const std::string&) override {}
    void Unregister() override {}
    std::string RegisteredModeWord() override { return {}; }
};

void BM_BareScan(benchmark::State& state) {
    BigMpo();  // written once, before any timing
    for (auto _ : state) {
        veltrane::ImageIndex index;
        veltrane::ScanListener quiet;
        benchmark::DoNotOptimize(veltrane::ScanImageOffsets(index, BigMpo(), {}, quiet));
    }
    state.SetBytesProcessed(state.iterations() * (256 << 20));
}

// Arg: the model's event interval in ms (0: after every 32 KiB chunk).
void BM_WindowOpen(benchmark::State& state) {
    Unattended services;
    TimingView view;
    veltrane::window::MainWindowModel model(
        {services, services, services, services, services, services, services, services, {}, {}}, view);
    model.SetEventIntervalMs(static_cast<int>(state.range(0)));
    for (auto _ : state) model.OpenRequested();
    state.SetBytesProcessed(state.iterations() * (256 << 20));
    state.counters["event_runs_per_open"] = static_cast<double>(view.runs) / static_cast<double>(state.iterations());
    state.counters["longest_gap_ms"] = std::chrono::duration<double, std::milli>(view.longest).count();
}

BENCHMARK(BM_BareScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowOpen)->Arg(veltrane::window::MainWindowModel::kEventIntervalMs)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
