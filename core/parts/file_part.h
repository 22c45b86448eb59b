// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file as a list of parts: the JPEG images of an MPO (numbered and split exactly as the image
// list does), and whatever else a phone put into the same file: gain maps, depth and confidence
// maps, a motion photo's video, thumbnails, and records we recognise without interpreting them.
//
// A part's bytes are one or more byte ranges of the file (a HEIF item may have several extents),
// or, for data carried base64-encoded inside XMP, the decoded text of one XMP property.
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::parts {

enum class PartKind { Image, GainMap, DepthMap, ConfidenceMap, Video, Thumbnail, Other };

// What located a part in the file.
enum class PartLocator {
    MpfIndex,            // the MPF index of the first image
    SignatureScan,       // the JPEG start signature (files without a usable index)
    ContainerDirectory,  // the phone makers' Container:Directory in the primary's XMP
    DynamicDepth,        // the Device:Container of a Dynamic Depth file
    MicroVideo,          // GCamera:MicroVideoOffset (the older motion-photo form)
    SamsungTrailer,      // the SEFH/SEFT directory at the end of the file
    XmpBase64,           // GDepth:Data / GImage:Data, base64 in (extended) XMP
    HeifItem,            // an item of a HEIF file's meta box
    HeifBox,             // a file-level box of a HEIF file ('mpvd', 'sefd')
};

struct ByteRange {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};

struct FilePart {
    int number = 0;               // 1-based: the images first, as the image list numbers them, then
                                  // the other parts in file order
    PartKind kind = PartKind::Other;
    std::string mime;             // "image/jpeg", "video/mp4", "image/png", "application/octet-stream", ...
    std::vector<ByteRange> ranges;  // in file order; empty when the bytes come from XMP
    std::string xmpProperty;      // the property holding base64 data ("GDepth:Data"), else empty
    std::int64_t xmpLength = 0;   // the decoded length of that data
    PartLocator locatedBy = PartLocator::MpfIndex;
    std::string role;             // "left", "right", "gain map", "primary", a Samsung record's name, ...
    std::uint32_t heifItemId = 0; // the item of a HEIF file (0 for anything else)

    bool InXmp() const { return !xmpProperty.empty(); }
    std::int64_t Length() const {
        if (InXmp()) return xmpLength;
        std::int64_t n = 0;
        for (const ByteRange& r : ranges) n += r.length;
        return n;
    }
};

struct PartList {
    std::vector<FilePart> parts;
    // What did not add up (a directory length past the end of the file, overlapping parts, ...):
    // one line each, in the order found. The parts that could be located are listed all the same.
    std::vector<std::string> problems;
};

}  // namespace veltrane::parts
