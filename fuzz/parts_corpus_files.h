// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seed corpus of the part finder's fuzz target: phone photos from the sample writer (small
// videos, so that the fuzzer mutates the structures), valid and broken.
#include <vector>

#include "fuzz/corpus_files.h"
#include "tools/samples/phone_photos.h"

namespace veltrane::fuzzcorpus {

inline std::vector<CorpusFile> PartsCorpusFiles() {
    std::vector<CorpusFile> files;
    auto add = [&](std::string name, std::string what, Bytes content) {
        files.push_back({"parts_fuzz", std::move(name), std::move(what), std::move(content)});
    };
    add("container.jpg", "A primary photo, its container directory, an MP4 of 600 bytes after it.",
        samples::ContainerMotionPhoto(false, 600).file);
    add("container_gainmap.jpg", "The same with a gain map that the MPF index lists, and padding after the primary.",
        samples::ContainerMotionPhoto(true, 600, 16).file);
    add("microvideo.jpg", "GCamera:MicroVideo with MicroVideoOffset, an MP4 of 500 bytes.",
        samples::MicroVideoPhoto(500).file);
    add("microvideo_offset_too_large.jpg", "A MicroVideoOffset a million bytes larger than the video.",
        samples::MicroVideoPhoto(500, 1000000).file);
    add("samsung.jpg", "Samsung's trailer: a time record and a MotionPhoto_Data record of 400 bytes.",
        samples::SamsungMotionPhoto(400).file);
    add("samsung_outside.jpg", "Samsung's trailer whose record offsets point before the file.",
        samples::SamsungMotionPhoto(400, 0x40000000).file);
    add("dynamic_depth.jpg", "Device:Container: the primary, a depth map and a confidence map, both JPEG.",
        samples::DynamicDepthPhoto().file);
    add("gdepth.jpg", "GDepth and GImage data, base64 in extended XMP of two chunks.",
        samples::GDepthPhoto(2000).file);
    add("gdepth_cut.jpg", "The same with the depth data's base64 cut by one character.",
        samples::GDepthPhoto(2000, true).file);
    return files;
}

}  // namespace veltrane::fuzzcorpus
