// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the file-level boxes of a HEIF file hold besides the image items: the MP4 of a motion
// photo's 'mpvd' box, read through a ByteSource and bounded by the byte range of its box. (The
// Samsung trailer of a 'sefd' box, or the one nested after that MP4, is read by the one trailer
// reader of core/parts/samsung_trailer.h.)
#include <cstdint>

#include "core/heif_boxes/heif_structure.h"
#include "core/mpo/byte_source.h"

namespace veltrane::parts::heif_payloads {

// The top-level boxes of an MP4 or QuickTime file from begin on, as far as they are whole boxes
// (four printable characters as type, inside the range): end is where the last of them ends
// (begin when the first box is no 'ftyp'), brand the major brand of its 'ftyp'.
struct MovieExtent {
    std::uint64_t end = 0;
    heif_boxes::FourCc brand = 0;
};
MovieExtent WalkMovieBoxes(ByteSource& source, std::uint64_t begin, std::uint64_t end);

}  // namespace veltrane::parts::heif_payloads
