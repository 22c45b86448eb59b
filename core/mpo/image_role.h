// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an image of an MPO file is for, where the file says so: the left or right view of a
// stereo pair, a gain map that turns the primary image into an HDR rendition, or a large
// thumbnail. The window and the command line show it beside the image's MP type.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/images/mpf_index.h"

namespace veltrane {

class InputFile;

enum class ImageRole { None, Left, Right, GainMap, LargeThumbnail };

// "left", "right", "gain map", "large thumbnail", "none".
const char* ImageRoleText(ImageRole role);

// The role of entry number entry (0-based) of index, from that image's header: its bytes from
// FF D8 on, through its APP1 XMP and APP2 MPF segments (a shorter or longer span is fine).
//   - a large thumbnail by its MP type (VGA or Full HD equivalent);
//   - a gain map by its XMP: the Adobe gain-map namespace (http://ns.adobe.com/hdr-gain-map/1.0/)
//     with the gain map's own values (GainMapMax), or Apple's HDR gain-map auxiliary image type
//     (urn:com:apple:photo:2020:aux:hdrgainmap);
//   - left or right when the index holds exactly two disparity images: by the MPIndividualNum of
//     its MP attribute IFD (viewpoints are numbered from the left, 1 and 2), else by their order.
ImageRole DetectImageRole(std::span<const std::uint8_t> imageHeader, const MpfIndex& index, std::size_t entry);

// The role of every entry of a usable index, each image's header read from the file (only its
// XMP and MPF segments are kept in memory). Raises InOutError when the file cannot be read.
std::vector<ImageRole> ImageRolesOfFile(InputFile& file, const MpfIndex& index);

}  // namespace veltrane
