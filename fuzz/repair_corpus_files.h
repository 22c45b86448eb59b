// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seed corpus of the repair's fuzz target: MPO files from the sample writer, whole and
// broken the ways real files are, each with a sentence saying what it is.
#include <algorithm>
#include <string_view>
#include <vector>

#include "fuzz/corpus_files.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane::fuzzcorpus {

inline std::vector<CorpusFile> RepairCorpusFiles() {
    std::vector<CorpusFile> files;
    auto add = [&](std::string name, std::string what, Bytes content) {
        files.push_back({"repair_fuzz", std::move(name), std::move(what), std::move(content)});
    };
    const Bytes jfif = samples::SampleJfifImage(0), left = samples::SampleStereoImage(0),
                right = samples::SampleStereoImage(1, {}, samples::ByteOrder::Big);
    const Bytes indexed = samples::IndexedMpo({jfif, left, right});
    add("indexed.mpo", "Three images, JFIF first, a usable little-endian index.", indexed);
    add("no_index.mpo", "Two EXIF images back to back without an index.", samples::JoinImages({left, right}));
    // The index's declared length 16 bytes short, its last entry then lying behind it; the
    // bytes after the segment overwrite the start of the next one, a DQT, as an imaging
    // library's three-image files have it.
    Bytes clobbered = indexed;
    const std::string_view mpf = "MPF";
    const std::size_t at = static_cast<std::size_t>(
        std::search(clobbered.begin(), clobbered.end(), mpf.begin(), mpf.end()) - clobbered.begin() - 2);
    const std::size_t end = at + (std::size_t{clobbered[at]} << 8 | clobbered[at + 1]);
    clobbered[at + 1] = static_cast<std::uint8_t>(clobbered[at + 1] - 16);
    std::fill_n(clobbered.begin() + static_cast<long>(end), 5, std::uint8_t{0});
    add("short_index_over_dqt.mpo", "An index segment declared 16 bytes short whose entries overwrite the next DQT's start.",
        clobbered);
    Bytes junk = samples::JoinImages({left, Bytes(37, 0x5A), right, {0xFF, 0xD8, 0xFF, 0xE0, 0x00}});
    add("junk_between.mpo", "Stray bytes between images and a start of image with nothing behind it.", junk);
    add("cut.mpo", "The last image cut short inside its entropy-coded data.", Bytes(indexed.begin(), indexed.end() - 25));
    return files;
}

}  // namespace veltrane::fuzzcorpus
