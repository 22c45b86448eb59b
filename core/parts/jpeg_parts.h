// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts of a JPEG-based file: its images (an MPO's JPEGs, as the image list numbers them)
// and what phones put beyond them, each found from its published layout:
//   - the phone makers' container directory in the primary's XMP (Container:Directory, or
//     Device:Container of a Dynamic Depth file): items one after another behind the primary,
//     each Item:Length bytes and Item:Padding bytes of padding, the last one ending at the end
//     of the file (before a Samsung trailer);
//   - the older motion photo: GCamera:MicroVideo="1", GCamera:MicroVideoOffset the video's
//     distance from the end of the file;
//   - Samsung's trailer (core/parts/samsung_trailer.h);
//   - base64 data in the primary's standard and extended XMP: GDepth:Data (the depth map),
//     GDepth:Confidence, GImage:Data (the original image).
// A length that runs past the file or disagrees with the file's structure is reported, and the
// structure wins: an image the MPF index lists, an MP4 file's 'ftyp' where the video starts.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/images/image_index.h"
#include "core/mpo/byte_source.h"
#include "core/mpo/image_role.h"
#include "core/parts/file_part.h"

namespace veltrane::parts {

// At most this many bytes of extended XMP are put together.
inline constexpr std::int64_t kMaxExtendedXmp = std::int64_t{64} << 20;

struct XmpPackets {
    std::string standard;   // the APP1 "http://ns.adobe.com/xap/1.0/" packet
    std::string extended;   // the extended packet that the standard one names, put together
    std::vector<std::string> problems;
};

// The XMP of the image that starts at start.
XmpPackets ReadImageXmp(ByteSource& source, std::int64_t start);

struct ContainerItem {
    std::string semantic;  // Item:Semantic ("Primary", "GainMap", "MotionPhoto", ...), or a
                           // Dynamic Depth item's Item:DataURI
    std::string mime;
    std::int64_t length = 0;
    std::int64_t padding = 0;
    // Where Item:Length's value lies in the packet read, [lengthBegin, lengthEnd) (both 0
    // without one): for writers that set a new length.
    std::size_t lengthBegin = 0, lengthEnd = 0;
};

struct ContainerDirectory {
    bool found = false;
    bool dynamicDepth = false;  // Device:Container rather than Container:Directory
    std::vector<ContainerItem> items;
};

// The directory in a standard XMP packet (at most kMaxContainerItems items).
inline constexpr std::size_t kMaxContainerItems = 64;
ContainerDirectory ReadContainerDirectory(std::string_view xmp);

// Every part of the file in source whose images index holds (as ScanImageOffsets found them;
// roles, when not empty, the MPF roles of those images). Images first, numbered as index
// numbers them, then the other parts in file order (those inside XMP first). Raises
// InOutError when a file cannot be read.
PartList FindJpegParts(ByteSource& source, const ImageIndex& index, const std::vector<ImageRole>& roles = {});

// The same for an index found without the parts (ScanOptions without otherParts): sets its
// LastImageEnd as LastImageEndBeforeParts would, reading the file's structures once.
PartList FindJpegPartsEndingImages(ByteSource& source, ImageIndex& index, const std::vector<ImageRole>& roles = {});

// Where the last image of index ends when other parts follow it (just past its EOI), or -1.
std::int64_t LastImageEndBeforeParts(ByteSource& source, const ImageIndex& index);

// The decoded bytes of a part inside XMP (part.xmpProperty) of the image that starts at
// primaryStart; none, with problem set, when they cannot be had.
std::optional<std::vector<std::uint8_t>> XmpPartBytes(ByteSource& source, std::int64_t primaryStart,
                                                      const FilePart& part, std::string& problem);

// "image", "gain map", "depth map", "confidence map", "video", "thumbnail", "other".
const char* PartKindText(PartKind kind);
// "MPF index", "signature", "container directory", "Dynamic Depth", "MicroVideo",
// "Samsung trailer", "XMP", "HEIF item", "HEIF box".
const char* PartLocatorText(PartLocator locator);

}  // namespace veltrane::parts
