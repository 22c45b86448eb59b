// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/parts/remove_video.h"

#include <algorithm>
#include <cstring>

#include "core/common/file_io.h"
#include "core/common/native_path.h"
#include "core/mpo/byte_source.h"
#include "core/mpo/jpeg_walk.h"
#include "core/mpo/mpo_error.h"
#include "core/parts/file_parts.h"
#include "core/parts/samsung_trailer.h"
#include "core/parts/xmp_text.h"

namespace veltrane::parts {
namespace {

constexpr std::string_view kContainerNs = "http://ns.google.com/photos/1.0/container/";
constexpr std::string_view kContainerItemNs = "http://ns.google.com/photos/1.0/container/item/";
constexpr std::string_view kCameraNs = "http://ns.google.com/photos/1.0/camera/";
constexpr std::string_view kRdfNs = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// Bytes [offset, offset + length) of the source replaced by bytes (none: left out).
struct Replacement {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::vector<std::uint8_t> bytes;
};

void Blank(std::string& xmp, std::size_t begin, std::size_t end) {
    std::fill(xmp.begin() + static_cast<std::ptrdiff_t>(begin), xmp.begin() + static_cast<std::ptrdiff_t>(end), ' ');
}

// Blanks the property wherever the packet holds it; returns whether it did.
bool BlankProperty(std::string& xmp, const std::string& name) {
    bool any = false;
    while (const auto span = XmpPropertySpan(xmp, name)) {
        Blank(xmp, span->begin, span->end);
        any = true;
    }
    return any;
}

// Sets a "1" flag to "0"; returns whether it did.
bool ClearFlag(std::string& xmp, const std::string& name) {
    const auto span = XmpPropertySpan(xmp, name);
    if (!span || span->valueEnd != span->valueBegin + 1 || xmp[span->valueBegin] != '1') return false;
    xmp[span->valueBegin] = '0';
    return true;
}

// Blanks the container directory's video items (rdf:li whose Item:Semantic is MotionPhoto or
// whose Item:Mime is a video type).
bool BlankContainerVideo(std::string& xmp) {
    const std::string container = XmpPrefixOf(xmp, kContainerNs);
    const std::string item = XmpPrefixOf(xmp, kContainerItemNs);
    if (container.empty() || item.empty()) return false;
    std::string rdf = XmpPrefixOf(xmp, kRdfNs);
    if (rdf.empty()) rdf = "rdf";
    const auto body = XmpElementBody(xmp, container + ":Directory");
    if (!body) return false;
    const std::string close = "</" + rdf + ":li>";
    const std::size_t openLength = rdf.size() + 4;  // "<rdf:li"
    std::vector<std::pair<std::size_t, std::size_t>> blanks;
    for (const std::string_view li : XmpListItems(*body, rdf)) {
        const std::string semantic = XmpPropertyValue(li, item + ":Semantic").value_or("");
        const std::string mime = XmpPropertyValue(li, item + ":Mime").value_or("");
        if (semantic != "MotionPhoto" && !mime.starts_with("video/")) continue;
        const auto at = static_cast<std::size_t>(li.data() - xmp.data());
        const std::size_t after = at + li.size();
        std::size_t end = after;
        if (xmp.compare(after, 2, "/>") == 0) end = after + 2;
        else if (xmp.compare(after, close.size(), close) == 0) end = after + close.size();
        blanks.push_back({at - openLength, end});
    }
    for (const auto& [begin, end] : blanks) Blank(xmp, begin, end);
    return !blanks.empty();
}

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::string DefaultStillName(const std::string& path) {
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !IsPathSeparator(path[nameStart - 1])) --nameStart;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) return path + "_still.jpg";
    return path.substr(0, dot) + "_still" + path.substr(dot);
}

RemoveVideoReport RemoveVideo(const std::string& sourcePath, const std::string& dest) {
    ScanListener quiet;
    const FileParts found = FindFileParts(sourcePath, ScanOptions{}, quiet);
    if (found.heif) throw MpoError(sourcePath, "--remove-video takes JPEG-based files; this is a HEIF file");
    if (found.index.ImageCount < 1) throw MpoError(sourcePath, "the file holds no JPEG image");

    InputFile file(sourcePath);
    FileByteSource source(file);
    const std::int64_t fileSize = file.Size();
    RemoveVideoReport report;
    std::vector<Replacement> edits;

    // The video's bytes, and Samsung's record of it.
    const SamsungTrailer samsung = ReadSamsungTrailer(source, fileSize);
    std::vector<ByteRange> removed;
    bool container = false, samsungVideo = false;
    for (const FilePart& part : found.list.parts) {
        if (part.kind != PartKind::Video || part.InXmp() || part.ranges.empty()) continue;
        ByteRange range = part.ranges.front();
        // A video in Samsung's trailer (found there or through the container directory) leaves
        // with its whole record.
        for (const SamsungRecord& record : samsung.records) {
            if (record.dataOffset != range.offset) continue;
            range = {record.start, record.dataOffset + record.dataLength - record.start};
            samsungVideo = true;
        }
        container = container || part.locatedBy == PartLocator::ContainerDirectory;
        removed.push_back(range);
    }
    if (removed.empty()) throw MpoError(sourcePath, "the file holds no video");
    // One range per stretch of bytes, in file order.
    std::sort(removed.begin(), removed.end(), [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    std::vector<ByteRange> merged;
    for (const ByteRange& r : removed) {
        if (!merged.empty() && r.offset <= merged.back().offset + merged.back().length) {
            const std::int64_t end = std::max(merged.back().offset + merged.back().length, r.offset + r.length);
            merged.back().length = end - merged.back().offset;
        } else {
            merged.push_back(r);
        }
    }
    const std::int64_t lastImageStart = found.index.ImageStart(found.index.ImageCount);
    for (const ByteRange& r : merged) {
        if (r.offset <= lastImageStart)
            throw MpoError(sourcePath, "the video lies before the last image; it is not removed");
        report.removedBytes += r.length;
        edits.push_back({r.offset, r.length, {}});
    }

    // The primary's XMP: the same length, the video no longer named.
    const JpegImageWalk walk = WalkJpegImage(source, found.index.ImageStart(1), fileSize, WalkScope::Header);
    for (std::size_t i = 0; i < walk.headerSegments && i < walk.segments.size(); ++i) {
        const JpegSegment& segment = walk.segments[i];
        if (segment.marker != kMarkerApp1 || segment.kind != SegmentKind::Xmp) continue;
        const auto view = source.View(segment.offset, 2 + segment.length);
        const std::size_t header = 4 + kXmpSignature.size();
        if (view.size() < header) break;
        std::string xmp(view.begin() + static_cast<std::ptrdiff_t>(header), view.end());
        bool changed = false;
        if (container && BlankContainerVideo(xmp)) {
            report.changes.push_back("container directory: the video item blanked");
            changed = true;
        }
        const std::string camera = XmpPrefixOf(xmp, kCameraNs);
        if (!camera.empty()) {
            if (ClearFlag(xmp, camera + ":MotionPhoto")) {
                report.changes.push_back("GCamera:MotionPhoto set to 0");
                changed = true;
            }
            if (ClearFlag(xmp, camera + ":MicroVideo")) {
                report.changes.push_back("GCamera:MicroVideo set to 0");
                changed = true;
            }
            bool blanked = false;
            for (const char* name : {":MicroVideoOffset", ":MicroVideoVersion", ":MicroVideoPresentationTimestampUs"})
                blanked = BlankProperty(xmp, camera + name) || blanked;
            if (blanked) {
                report.changes.push_back("GCamera:MicroVideoOffset blanked");
                changed = true;
            }
        }
        if (changed) {
            Replacement r{segment.offset + static_cast<std::int64_t>(header), static_cast<std::int64_t>(xmp.size()), {}};
            r.bytes.assign(xmp.begin(), xmp.end());
            edits.push_back(std::move(r));
        }
        break;
    }

    // Samsung's directory without the video's entry, the offsets of the records before the removed
    // bytes made shorter by them.
    if (samsungVideo && samsung.found) {
        const std::int64_t dirStart = samsung.directoryStart;
        const std::int64_t dirEnd = fileSize;
        const auto bytesView = source.View(dirStart, static_cast<std::size_t>(std::min<std::int64_t>(dirEnd - dirStart, ByteSource::kMaxView)));
        std::vector<std::uint8_t> dir(bytesView.begin(), bytesView.end());
        if (static_cast<std::int64_t>(dir.size()) == dirEnd - dirStart && dir.size() >= 20) {
            const std::uint32_t count = std::min<std::uint32_t>(Le32(dir.data() + 8), static_cast<std::uint32_t>((dir.size() - 20) / 12));
            std::vector<std::uint8_t> out(dir.begin(), dir.begin() + 12);
            std::uint32_t kept = 0;
            for (std::uint32_t i = 0; i < count; ++i) {
                std::uint8_t* entry = dir.data() + 12 + 12 * i;
                const std::int64_t start = dirStart - Le32(entry + 4);
                bool gone = false;
                std::int64_t shift = 0;  // removed bytes between the record and the directory
                for (const ByteRange& r : merged) {
                    if (start >= r.offset && start < r.offset + r.length) gone = true;
                    if (r.offset >= start && r.offset + r.length <= dirStart) shift += r.length;
                }
                if (gone) continue;
                PutLe32(entry + 4, static_cast<std::uint32_t>(Le32(entry + 4) - shift));
                out.insert(out.end(), entry, entry + 12);
                ++kept;
            }
            PutLe32(out.data() + 8, kept);
            // Whatever the directory holds behind its entries stays.
            out.insert(out.end(), dir.begin() + 12 + 12 * static_cast<std::ptrdiff_t>(count), dir.end() - 8);
            const auto length = static_cast<std::uint32_t>(out.size());
            out.resize(out.size() + 8);
            PutLe32(out.data() + length, length);
            std::memcpy(out.data() + length + 4, "SEFT", 4);
            edits.push_back({dirStart, dirEnd - dirStart, std::move(out)});
            report.changes.push_back("Samsung trailer: the video's record removed");
        }
    }

    std::sort(edits.begin(), edits.end(), [](const Replacement& a, const Replacement& b) { return a.offset < b.offset; });
    AtomicOutputFile out(dest);
    std::int64_t at = 0;
    for (const Replacement& e : edits) {
        if (e.offset < at) throw MpoError(sourcePath, "the video's bytes overlap the file's other records");
        out.CopyFrom(file, at, e.offset - at);
        if (!e.bytes.empty()) out.Write(e.bytes.data(), e.bytes.size());
        report.fileSize += e.offset - at + static_cast<std::int64_t>(e.bytes.size());
        at = e.offset + e.length;
    }
    out.CopyFrom(file, at, fileSize - at);
    report.fileSize += fileSize - at;
    out.Commit();
    return report;
}

}  // namespace veltrane::parts
