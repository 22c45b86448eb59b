// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The images that files contribute to a joined MPO file, and the check that an output file is
// none of its inputs.
#include <functional>
#include <string>
#include <vector>

#include "core/images/scanner.h"
#include "core/mpo/mpo_writer.h"

namespace veltrane {

struct JoinSources {
    std::vector<MpoImage> images;  // disparity images; callers set the type they want
    // A file holds more images than an MPO file may (the scan stopped at the limit).
    bool overLimit = false;
};

// When the JPEG files are walked: before the images are listed, or by the writer as it writes
// them (one pass; a file that then turns out not to be one JPEG image stops the write with
// MpoSourceRejected, and the caller lists the images again walking first).
enum class JoinWalk { First, WhileWriting };

// The images of the files in order. A JPEG file is one image: a file whose first image's
// structure walk ends at its EOI with no image signature (FF D8 FF E1) after it, and that has
// no usable MPF index of several images (under scan's image rule). With JoinWalk::First its
// walk goes with it; with WhileWriting every file without such an index is taken for a JPEG
// file and given an acceptWalk that checks the rest. Any other file is an MPO file and contributes all of
// its images as its image list gives them (ScanImageOffsets), in order, each running to the
// next one's start. Images are named "FILE" or "FILE: image N" in messages. indexIgnored is
// told when the MPF index of an MPO file exists but cannot be used (that of a single image is
// the index of the file it was split from). Raises InOutError when a file cannot be read.
JoinSources CollectJoinSources(const std::vector<std::string>& files, const ScanOptions& scan,
                               const std::function<void(const std::string& file, const std::string& reason)>& indexIgnored,
                               JoinWalk when = JoinWalk::First);

}  // namespace veltrane
