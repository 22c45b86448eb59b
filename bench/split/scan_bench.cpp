// SPDX-License-Identifier: GPL-3.0-or-later
// The signature scan over JPEG-like data against a plain memchr pass over the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/images/image_index.h"
#include "core/images/scanner.h"

namespace {

// 256 MiB of entropy-coded-looking bytes: random, with an FF (stuffed as FF 00) about every
// 250 bytes and an image signature every 8 MiB.
const std::vector<std::uint8_t>& JpegLikeBuffer() {
    static const std::vector<std::uint8_t> buffer = [] {
        std::vector<std::uint8_t> b(256u << 20);
        std::mt19937 rng(7);
        for (std::size_t i = 0; i < b.size(); ++i) {
            auto v = static_cast<std::uint8_t>(rng());
            b[i] = v == 0xFF ? 0xFE : v;
        }
        for (std::size_t i = 0; i + 1 < b.size(); i += 200 + rng() % 100) {
            b[i] = 0xFF;
            b[i + 1] = 0x00;
        }
        for (std::size_t i = 0; i + 4 < b.size(); i += 8u << 20)
            std::memcpy(&b[i], veltrane::ImageSignature.data(), 4);
        return b;
    }();
    return buffer;
}

void BM_SignatureScan(benchmark::State& state) {
    const auto& b = JpegLikeBuffer();
    for (auto _ : state) {
        veltrane::SignatureSearch search(veltrane::ImageSignature);
        std::int64_t found = 0;
        for (std::size_t pos = 0; pos < b.size(); pos += veltrane::kScanChunkSize) {
            const std::size_t n = std::min(veltrane::kScanChunkSize, b.size() - pos);
            search.Feed({b.data() + pos, n}, static_cast<std::int64_t>(pos), [&](std::int64_t) {
                ++found;
                return true;
            });
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(b.size()));
}

void BM_MemchrPass(benchmark::State& state) {
    const auto& b = JpegLikeBuffer();
    for (auto _ : state) {
        std::int64_t found = 0;
        const std::uint8_t* p = b.data();
        const std::uint8_t* end = p + b.size();
        while ((p = static_cast<const std::uint8_t*>(std::memchr(p, 0xFF, static_cast<std::size_t>(end - p))))) {
            ++found;
            ++p;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(b.size()));
}

BENCHMARK(BM_SignatureScan)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_MemchrPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
