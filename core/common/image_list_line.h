#pragma once
// The line of one image in the list of a file's images, as the window's list, the command line
// and the EXIF window's first row show it.
#include <cstdint>
#include <string>

namespace veltrane {

// " Image 002:  1205 K": a blank, the image number padded to three digits and the size in
// whole KiB.
std::string ImageListLine(int imageNumber, std::int64_t sizeInBytes);

}  // namespace veltrane
