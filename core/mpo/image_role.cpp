// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mpo/image_role.h"

#include <string_view>

#include "core/common/file_io.h"
#include "core/mpo/byte_source.h"
#include "core/mpo/jpeg_walk.h"
#include "core/mpo/mpf_segment.h"

namespace veltrane {
namespace {

constexpr std::string_view kAppleGainMap = "urn:com:apple:photo:2020:aux:hdrgainmap";
constexpr std::string_view kAdobeGainMapNamespace = "http://ns.adobe.com/hdr-gain-map/1.0/";

// Whether an XMP packet describes a gain map. The primary image of a file with a gain map may
// declare the gain-map namespace too (for its version), so the Adobe form counts only with the
// gain map's own GainMapMax under the prefix bound to that namespace.
bool XmpDescribesGainMap(std::string_view xmp) {
    if (xmp.find(kAppleGainMap) != std::string_view::npos) return true;
    for (std::size_t at = xmp.find(kAdobeGainMapNamespace); at != std::string_view::npos;
         at = xmp.find(kAdobeGainMapNamespace, at + 1)) {
        //   xmlns:PREFIX="http://ns.adobe.com/hdr-gain-map/1.0/"
        if (at < 2 || (xmp[at - 1] != '"' && xmp[at - 1] != '\'')) continue;
        std::size_t p = at - 1;
        while (p > 0 && (xmp[p - 1] == ' ' || xmp[p - 1] == '=')) --p;
        const std::size_t prefixEnd = p;
        while (p > 0 && xmp[p - 1] != ':' && xmp[p - 1] != ' ' && xmp[p - 1] != '\n' && xmp[p - 1] != '\t') --p;
        if (p < 6 || xmp.substr(p - 6, 6) != "xmlns:" || p == prefixEnd) continue;
        const std::string property = std::string(xmp.substr(p, prefixEnd - p)) + ":GainMapMax";
        if (xmp.find(property) != std::string_view::npos) return true;
    }
    return false;
}

std::size_t DisparityEntriesBefore(const MpfIndex& index, std::size_t entry, std::size_t& total) {
    std::size_t before = 0;
    total = 0;
    for (std::size_t i = 0; i < index.entries.size(); ++i) {
        if ((index.entries[i].attribute & kMpTypeMask) != kMpTypeDisparity) continue;
        if (i < entry) ++before;
        ++total;
    }
    return before;
}

}  // namespace

const char* ImageRoleText(ImageRole role) {
    switch (role) {
        case ImageRole::Left: return "left";
        case ImageRole::Right: return "right";
        case ImageRole::GainMap: return "gain map";
        case ImageRole::LargeThumbnail: return "large thumbnail";
        case ImageRole::None: break;
    }
    return "none";
}

ImageRole DetectImageRole(std::span<const std::uint8_t> imageHeader, const MpfIndex& index, std::size_t entry) {
    if (entry >= index.entries.size()) return ImageRole::None;
    const std::uint32_t type = index.entries[entry].attribute & kMpTypeMask;
    if (type == kMpTypeLargeThumbnailVga || type == kMpTypeLargeThumbnailFullHd) return ImageRole::LargeThumbnail;

    MemoryByteSource source(imageHeader);
    const JpegImageWalk walk = WalkJpegImage(source, 0, source.Size(), WalkScope::Header);
    std::uint32_t individualNumber = 0;
    for (const JpegSegment& s : walk.segments) {
        if (s.End() > source.Size() || (s.kind != SegmentKind::Xmp && s.kind != SegmentKind::Mpf)) continue;
        const auto payload = imageHeader.subspan(static_cast<std::size_t>(s.offset) + 4, s.length - 2);
        if (s.kind == SegmentKind::Xmp &&
            XmpDescribesGainMap(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size())))
            return ImageRole::GainMap;
        if (s.kind == SegmentKind::Mpf && individualNumber == 0)
            if (const auto ifd = ReadMpAttributeIfd(payload)) individualNumber = ifd->individualNumber;
    }

    std::size_t disparityImages = 0;
    const std::size_t position = DisparityEntriesBefore(index, entry, disparityImages);
    if (type != kMpTypeDisparity || disparityImages != 2) return ImageRole::None;
    const std::uint32_t viewpoint = individualNumber != 0 ? individualNumber : static_cast<std::uint32_t>(position + 1);
    if (viewpoint == 1) return ImageRole::Left;
    if (viewpoint == 2) return ImageRole::Right;
    return ImageRole::None;
}

std::vector<ImageRole> ImageRolesOfFile(InputFile& file, const MpfIndex& index) {
    FileByteSource source(file);
    std::vector<ImageRole> roles;
    for (std::size_t i = 0; i < index.entries.size(); ++i) {
        const std::int64_t start = index.entries[i].start;
        const std::int64_t limit = i + 1 < index.entries.size() ? index.entries[i + 1].start : source.Size();
        // A header of SOI and the segments that tell the role, at most two of 64 KiB each.
        std::vector<std::uint8_t> header = {0xFF, kMarkerSoi};
        const JpegImageWalk walk = WalkJpegImage(source, start, limit, WalkScope::Header);
        bool haveXmp = false, haveMpf = false;
        for (const JpegSegment& s : walk.segments) {
            bool& have = s.kind == SegmentKind::Xmp ? haveXmp : haveMpf;
            if ((s.kind != SegmentKind::Xmp && s.kind != SegmentKind::Mpf) || have) continue;
            have = true;
            const std::vector<std::uint8_t> bytes = ReadSegmentBytes(source, s);
            header.insert(header.end(), bytes.begin(), bytes.end());
        }
        roles.push_back(DetectImageRole(header, index, i));
    }
    return roles;
}

}  // namespace veltrane
