// SPDX-License-Identifier: GPL-3.0-or-later
// The marker segments of the output: the left image's EXIF with its pixel size updated, and
// the JPS descriptor.
#include "core/exif_edit/exif_numbers.h"
#include "imaging/stereo/stereo.h"

namespace veltrane::stereo {

std::vector<std::uint8_t> JpsSegment(bool leftFieldFirst) { return JpsSegment(2, leftFieldFirst ? 0x04 : 0x00); }

std::vector<std::uint8_t> JpsSegment(int layout, int flags) {
    //  8 bytes  "_JPSJPS_"
    //  2 bytes  block length, big-endian: 4
    //  1 byte   separation (0)
    //  1 byte   flags: bit 0 half height, bit 1 half width, bit 2 left field first
    //  1 byte   layout: 2 = side by side, 3 = over/under
    //  1 byte   type: 1 = stereo
    //  2 bytes  comment length: 0
    std::vector<std::uint8_t> s = {'_', 'J', 'P', 'S', 'J', 'P', 'S', '_', 0, 4, 0};
    s.push_back(static_cast<std::uint8_t>(flags));
    s.insert(s.end(), {static_cast<std::uint8_t>(layout), 1, 0, 0});
    return s;
}

void PatchExifDimensions(std::vector<std::uint8_t>& app1, std::uint32_t width, std::uint32_t height) {
    // Set in place where the EXIF IFD holds them as one SHORT or LONG each; a damaged directory
    // keeps its values.
    WriteExifNumber(app1, ExifDirectory::Exif, kExifPixelXDimension, width);
    WriteExifNumber(app1, ExifDirectory::Exif, kExifPixelYDimension, height);
}

}  // namespace veltrane::stereo
