#pragma once
// The files around a stereo picture: the pair read from an MPO file or two JPEG files, the
// output written atomically, and the default output name beside the source.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/images/scanner.h"
#include "stereo/stereo.h"

namespace veltrane::stereo {

// Told why a file's MPF index was not used, when it has one that is not usable (reason as
// "image 2 lies outside the file"); the images then come from the signature scan.
using MpfIndexNotice = std::function<void(const std::string& reason)>;

// Images first and second (1-based, as numbered in the file's image list) of an MPO file, its
// images found as scan says. Raises StereoError or InOutError.
std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> ReadPair(const std::string& file, int first,
                                                                        int second, const ScanOptions& scan = {},
                                                                        const MpfIndexNotice& notice = {});

// The whole file at path. Raises InOutError.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Writes the picture to path through a temporary file in the same folder: never a partial file.
void WritePicture(const StereoPicture& picture, const std::string& path);

// The default output beside source: its name without the extension, then ".jps" (cross),
// "_parallel.jpg", "_anaglyph.jpg", "_overunder.jpg", "_halfsbs.jpg", "_halfou.jpg",
// "_interlaced.png" or "_wiggle.gif".
std::string DefaultStereoName(const std::string& source, Layout layout);

}  // namespace veltrane::stereo
