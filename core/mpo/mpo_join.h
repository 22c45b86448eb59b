#pragma once
// The images that files contribute to a joined MPO file, and the check that an output file is
// none of its inputs.
#include <functional>
#include <string>
#include <vector>

#include "core/mpo/mpo_writer.h"

namespace veltrane {

struct JoinSources {
    std::vector<MpoImageSource> images;
    // A file holds more images than an MPO file may (the scan stopped at the limit).
    bool overLimit = false;
};

// The images of the files in order, each file's as its image list gives them
// (ScanImageOffsets, under the current image rule): an MPO file, that is one whose MPF index is
// usable or in which the signature scan finds two or more images, contributes all of its
// images in order, each running to the next one's start; any other file is one image, the whole
// file. Images are named "FILE" or "FILE: image N" in messages. indexIgnored is told when the
// MPF index of a file of several images exists but cannot be used (the index of a single image
// is that of the file it was split from). Raises InOutError when a file cannot be read.
JoinSources CollectJoinSources(const std::vector<std::string>& files,
                               const std::function<void(const std::string& file, const std::string& reason)>& indexIgnored);

// Whether the two paths name the same file: the same device and file number (so links and
// other spellings of a path count), or the same full path when either does not exist.
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace veltrane
