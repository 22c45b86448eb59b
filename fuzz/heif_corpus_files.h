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
    add("camera_properties.heic",
        "The pair with the cameras' properties: cmin and cmex on the left eye, the headset's uuid forms and the disparity on the right.",
        sample(true, [](samples::HeifSample& s) {
            const Bytes cmin = {0, 0, 0, 24, 'c', 'm', 'i', 'n', 0, 0, 0x1C, 0, 0x24, 0x92, 0x6E, 0x7E,
                                0x08, 0, 0, 0, 0x08, 0, 0, 0};
            const Bytes cmex = {0, 0, 0, 12, 'c', 'm', 'e', 'x', 0, 0, 0, 0};
            s.items[0].properties = {cmin, cmex};
            Bytes uuidCmex = {0, 0, 0, 32, 'u', 'u', 'i', 'd', 0x43, 0x63, 0xe9, 0x14, 0x5b, 0x7d, 0x4a, 0xab,
                              0x97, 0xae, 0xbe, 0xa6, 0x98, 0x03, 0xb4, 0x34, 0, 0, 0, 1, 0, 0, 0xF9, 0x42};
            Bytes disparity = {0, 0, 0, 28, 'u', 'u', 'i', 'd', 0xde, 0x22, 0x50, 0x85, 0x36, 0xcb, 0x43, 0x65,
                               0x87, 0x43, 0x2f, 0x87, 0x05, 0xe7, 0xc7, 0x8a, 0, 0, 1, 0x25};
            s.items[2].properties = {uuidCmex, disparity};
        }));
    auto broken = sample(true, same);
    const Bytes ster = {'s', 't', 'e', 'r'};
    const auto at = static_cast<std::size_t>(std::search(broken.begin(), broken.end(), ster.begin(), ster.end()) - broken.begin());
    broken[at + 12] = 0xFF;  // num_entities_in_group 0xFF000002
    add("group_count_too_large.heic", "A 'ster' group claiming 0xFF000002 entities in a box of 28 bytes.", broken);

    // The parts of phone files: an MP4 and a Samsung trailer.
    auto append = [](Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); };
    auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
    const Bytes mp4 = samples::SmallMp4(64);
    const auto trailer = samples::SamsungTrailer;
    Bytes motion = sample(false, same);
    Bytes mpvd = mp4;
    append(mpvd, trailer({{0x0A01, "Image_UTC_Data", text("1765152000000")}, {0x0A20, "MCC_Data", text("262")}}));
    append(motion, samples::HeifBox("mpvd", mpvd));
    add("motion_photo.heic", "Two images, then an 'mpvd' box holding an MP4 followed by a Samsung trailer of two records.", motion);
    Bytes sefd = sample(false, same);
    append(sefd, samples::HeifBox("sefd", trailer({{0x0A30, "MotionPhoto_Data", mp4}, {0x0A01, "Image_UTC_Data", text("1765152000000")}})));
    add("samsung_sefd.heic", "Two images, then a 'sefd' box: a Samsung trailer whose first record is the video.", sefd);
    add("grid_tone_map.heic", "A grid of two tiles (in idat), a depth map by 'auxl' and 'auxC', and a 'tmap' image over the grid and a gain map.",
        sample(false, [](samples::HeifSample& s) {
            Bytes auxC = {'u', 'r', 'n', ':', 'm', 'p', 'e', 'g', ':', 'h', 'e', 'v', 'c', ':', '2', '0', '1', '5', ':',
                          'a', 'u', 'x', 'i', 'd', ':', '2', 0};
            s.items = {{1, "grid", Bytes(8, 1), false, 1, 1, 128, 48, {}, {}, {}, {}},
                       {2, "hvc1", Bytes(40, 2), true, 0, 1, 64, 48, {}, {}, {}, {}},
                       {3, "hvc1", Bytes(40, 3), true, 0, 2, 64, 48, {}, {}, {}, {}},
                       {4, "hvc1", Bytes(30, 4), true, 0, 1, 32, 32, {}, {}, {samples::HeifFullBox("auxC", 0, 0, auxC)}, {}},
                       {5, "hvc1", Bytes(30, 5), true, 0, 1, 32, 32, {}, {}, {}, {}},
                       {6, "tmap", Bytes(20, 6), false, 0, 1, 128, 48, {}, {}, {}, {}}};
            s.references = {{"dimg", 1, {2, 3}}, {"auxl", 4, {1}}, {"dimg", 6, {1, 5}}};
            s.groups.clear();
        }));
    return files;
}

}  // namespace veltrane::fuzzcorpus
