// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seed corpus of the MPF index reader's fuzz target: first-image headers from the sample
// writer, valid and broken, each with a sentence saying what it is.
#include <algorithm>
#include <vector>

#include "fuzz/corpus_files.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane::fuzzcorpus {

inline std::vector<CorpusFile> MpfCorpusFiles() {
    using samples::MpEntry;
    std::vector<CorpusFile> files;
    auto add = [&](std::string name, std::string what, Bytes content) {
        files.push_back({"mpf_fuzz", std::move(name), std::move(what), std::move(content)});
    };
    const std::vector<Bytes> images = {samples::SampleJfifImage(0), samples::SampleJfifImage(1),
                                       samples::SampleStereoImage(0)};
    auto indexed = [&](samples::MpfOptions options) { return samples::IndexedMpo(images, options); };
    add("jfif_little.mpo", "Three images, JFIF first, a little-endian index.", indexed({}));
    add("exif_big_ifd_10.mpo", "EXIF-first images, a big-endian index whose directory lies at 10.",
        samples::IndexedMpo({samples::SampleStereoImage(0), samples::SampleStereoImage(1)},
                            {samples::ByteOrder::Big, 10, {}}));
    add("image_beyond_end.mpo", "An entry whose offset lies far beyond the end of the file.",
        indexed({samples::ByteOrder::Little, 8, [](std::vector<MpEntry>& e, std::uint32_t&) { e[2].offset = 0xFFFFFFF0; }}));
    add("count_too_large.mpo", "An image count of 0x10000001 with a list of three entries.",
        indexed({samples::ByteOrder::Little, 8, [](std::vector<MpEntry>&, std::uint32_t& n) { n = 0x10000001; }}));
    Bytes walk = {0xFF, 0xD8, 0xFF, 0xFF, 0x01, 0xFF, 0xD0};
    const Bytes app2 = samples::MpfApp2Segment({MpEntry{}});
    walk.insert(walk.end(), app2.begin(), app2.end());
    add("fill_and_standalone.jpg", "Fill bytes and standalone markers before a one-entry index.", walk);
    add("segment_cut.jpg", "An index segment cut short by the end of the file.",
        Bytes(walk.begin(), walk.end() - 9));
    return files;
}

}  // namespace veltrane::fuzzcorpus
