// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seed corpus of the HEIF box reader's fuzz target: spatial photos built box by box by the
// sample writer (placeholder image data), in several layouts, valid and broken, each with a
// sentence saying what it is.
#include <vector>

#include "fuzz/corpus_files.h"
#include "tools/samples/heif_builder.h"

namespace veltrane::fuzzcorpus {

inline std::vector<CorpusFile> HeifCorpusFiles() {
    std::vector<CorpusFile> files;
    auto add = [&](std::string name, std::string what, Bytes content) {
        files.push_back({"heif_boxes_fuzz", std::move(name), std::move(what), std::move(content)});
    };
    auto sample = [](bool group, auto change) {
        auto s = samples::SampleSpatialHeif(group);
        change(s);
        return samples::BuildHeif(s);
    };
    const auto same = [](samples::HeifSample&) {};
    add("stereo_pair.heic", "Two images tied by a 'ster' group, each with an Exif item and an ICC profile.",
        sample(true, same));
    add("no_group.heic", "The same pair without the 'grpl' box: what the writer adds the group to.",
        sample(false, same));
    add("wide_fields.heic", "iloc version 2 with 8-byte offsets, base offsets and indices; 32-bit IDs everywhere; meta with a largesize.",
        sample(true, [](samples::HeifSample& s) { s.layout = {2, 8, 8, 8, 8, 1, 3, 1, 1, 1, true}; }));
    add("idat_extents.heic", "Exif items in idat, cut into three extents each, with base offsets.",
        sample(false, [](samples::HeifSample& s) {
            s.layout.baseOffsetSize = 4;
            for (auto& item : s.items)
                if (item.type == "Exif") item.constructionMethod = 1, item.extents = 3;
        }));
    auto broken = sample(true, same);
    const Bytes ster = {'s', 't', 'e', 'r'};
    const auto at = static_cast<std::size_t>(std::search(broken.begin(), broken.end(), ster.begin(), ster.end()) - broken.begin());
    broken[at + 12] = 0xFF;  // num_entities_in_group 0xFF000002
    add("group_count_too_large.heic", "A 'ster' group claiming 0xFF000002 entities in a box of 28 bytes.", broken);
    return files;
}

}  // namespace veltrane::fuzzcorpus
