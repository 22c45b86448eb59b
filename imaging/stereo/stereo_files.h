// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The files around a stereo picture: the pair read from an MPO file, a JPS file or two JPEG
// files, the output written atomically, and the default output name beside the source.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/images/scanner.h"
#include "imaging/stereo/jps_input.h"
#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {

// Told why a file's MPF index was not used, when it has one that is not usable (reason as
// "image 2 lies outside the file"); the images then come from the signature scan.
using MpfIndexNotice = std::function<void(const std::string& reason)>;

// Images first and second (1-based, as numbered in the file's image list) of an MPO file, its
// images found as scan says. Raises StereoError or InOutError.
std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> ReadPair(const std::string& file, int first,
                                                                        int second, const ScanOptions& scan = {},
                                                                        const MpfIndexNotice& notice = {});

// The pair of a stereo source file. A JPS file (a name ending ".jps", or a file in which the scan
// finds fewer than two images and whose first image's header holds a JPS descriptor) is split
// into its halves (SplitJps); a HEIF file is a spatial photo, whose eyes are decoded and coded
// as JPEG (ReadSpatialPair); any other file is an MPO file, whose images first and second are
// read as ReadPair reads them. With pairChosen (the caller named the images) the file is taken
// for an MPO file whatever its name, and a spatial photo, which holds one pair, is refused.
// Raises StereoError or InOutError.
StereoPair ReadStereoPair(const std::string& file, int first, int second, bool pairChosen, const CodecLimits& limits,
                          const ScanOptions& scan = {}, const MpfIndexNotice& notice = {});

// ComposeStereo of the pair; a picture composed block for block from halves that a JPS image
// could not give block for block is not lossless, and says why; a picture of eyes decoded from
// another codec says so before anything else ("from HEVC, anaglyph").
StereoPicture ComposePair(const StereoPair& pair, const StereoOptions& options);

// The whole file at path. Raises InOutError.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Writes the picture to path through a temporary file in the same folder: never a partial file.
void WritePicture(const StereoPicture& picture, const std::string& path);

// ComposePair, then WritePicture, but the MPO layout is written straight from its two images
// (the inputs themselves, or their crops) without the file being assembled in memory. Returns
// the picture without its bytes, and the size of the file written.
struct WrittenPicture {
    StereoPicture picture;
    std::int64_t fileSize = 0;
};
WrittenPicture WriteStereo(const StereoPair& pair, const StereoOptions& options, const std::string& path);

// A spatial photo written as a spatial photo with its eyes as they are (the heic layout without
// exchange, alignment or parallax; the command line also asks for no --quality): a copy of the file whose cameras' properties are set as
// options say (SetStereoCamera), the coded eyes copied without decoding. Nothing (and nothing
// written) when that does not apply: another layout, eyes that change, or a source that is no
// HEIF file with a stereo pair. Raises StereoError or InOutError.
std::optional<WrittenPicture> RewriteSpatialCamera(const std::string& source, const StereoOptions& options,
                                                   const std::string& path);

// The default output beside source: its name without the extension, then ".jps" (cross),
// "_parallel.jpg", "_anaglyph.jpg", "_overunder.jpg", "_halfsbs.jpg", "_halfou.jpg",
// "_interlaced.png", "_wiggle.gif", "_stereo.mpo" or "_spatial.heic".
std::string DefaultStereoName(const std::string& source, Layout layout);

}  // namespace veltrane::stereo
