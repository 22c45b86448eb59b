// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mpo/mpo_repair.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/mpf_index.h"
#include "core/mpo/byte_source.h"
#include "core/mpo/jpeg_walk.h"
#include "core/mpo/mpo_error.h"

namespace veltrane {
namespace {

// A surviving table tail must be at least this long to be taken for a copy of another image's.
constexpr std::size_t kMinMatchedTableBytes = 16;
// Old attribute IFDs with more value bytes than this are not carried over.
constexpr std::size_t kMaxCarriedTagBytes = 1024;

struct FoundImage {
    std::shared_ptr<const JpegImageWalk> walk;  // handed to the writer, which then walks no more
    std::int64_t start = 0, end = 0;
    std::vector<ByteRun> strayRuns;
    std::uint8_t missingTables = 0;
    std::vector<JpegSegment> quantSegments;  // its DQT segments
    JpegSegment mpfSegment;                  // its first APP2 "MPF" header segment
    bool hasMpfSegment = false;
    std::vector<MpoInsertion> insertions;
    std::int64_t donorStart = -1;            // the image a table was restored from
    std::uint8_t restoredTables = 0;
};

std::string OffsetText(std::int64_t offset) { return "the image at offset " + std::to_string(offset); }

// Walks from image to image through the whole source.
std::vector<FoundImage> FindImages(ByteSource& source, RepairReport& report) {
    std::vector<FoundImage> images;
    const std::int64_t size = source.Size();
    for (std::int64_t pos = 0; pos < size;) {
        const std::int64_t start = FindJpegStart(source, pos, size);
        if (start < 0) {
            report.strayBytes += size - pos;
            break;
        }
        if (images.size() == kMaxMpoImages) {
            report.notes.push_back("only the first " + std::to_string(kMaxMpoImages) +
                                   " images are kept; the rest of the file is left out");
            report.strayBytes += size - pos;
            break;
        }
        report.strayBytes += start - pos;
        auto walked = std::make_shared<const JpegImageWalk>(WalkJpegImage(source, start, size));
        const JpegImageWalk& walk = *walked;
        if (!walk.complete) {
            const std::int64_t end = std::max(walk.end, start + 2);
            report.notes.push_back(OffsetText(start) + " is left out: " + walk.problem);
            report.incompleteBytes += end - start;
            pos = end;
            continue;
        }
        FoundImage image;
        image.walk = walked;
        image.start = start;
        image.end = walk.end;
        image.strayRuns = walk.strayRuns;
        image.missingTables = walk.MissingQuantTables();
        report.strayBytes += walk.strayBytes;
        for (std::size_t i = 0; i < walk.segments.size(); ++i) {
            const JpegSegment& s = walk.segments[i];
            if (s.marker == kMarkerDqt) image.quantSegments.push_back(s);
            if (s.kind == SegmentKind::Mpf && i < walk.headerSegments && !image.hasMpfSegment) {
                image.mpfSegment = s;
                image.hasMpfSegment = true;
            }
        }
        images.push_back(std::move(image));
        pos = walk.end;
    }
    return images;
}

// An image's MPF segment as bytes; a stray run right behind it is taken for the rest of it (a
// segment whose declared length is too short), as far as a segment can reach.
std::vector<std::uint8_t> MpfSegmentBytes(ByteSource& source, const FoundImage& image) {
    std::vector<std::uint8_t> bytes = ReadSegmentBytes(source, image.mpfSegment);
    for (const ByteRun& run : image.strayRuns) {
        if (run.offset != image.mpfSegment.End()) continue;
        const std::int64_t room = 0xFFFF - std::int64_t{image.mpfSegment.length};
        const auto rest = source.View(run.offset, static_cast<std::size_t>(std::min(run.length, room)));
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        const std::size_t length = bytes.size() - 2;
        bytes[2] = static_cast<std::uint8_t>(length >> 8);
        bytes[3] = static_cast<std::uint8_t>(length);
    }
    return bytes;
}

// The MP types of the found images from the first image's old index: by position when it
// lists as many images as were found, else by matching start offsets. Returns whether any
// type came from it.
bool TypesFromOldIndex(ByteSource& source, const std::vector<FoundImage>& images, std::vector<std::uint32_t>& types,
                       std::vector<bool>& fromIndex) {
    const FoundImage& first = images.front();
    if (!first.hasMpfSegment) return false;
    // The segment alone, behind an SOI, read as the header of a file: offsets inside it are then
    // those of the real file moved by the segment's offset less 2.
    std::vector<std::uint8_t> head = {0xFF, kMarkerSoi};
    const std::vector<std::uint8_t> segment = MpfSegmentBytes(source, first);
    head.insert(head.end(), segment.begin(), segment.end());
    const MpfIndex old = ReadMpfIndex(head, std::numeric_limits<std::int64_t>::max() / 4);
    if (!old.found || old.entries.empty()) return false;
    std::vector<std::int64_t> starts;
    for (std::size_t j = 0; j < old.entries.size(); ++j)
        starts.push_back(j == 0 ? first.start : old.entries[j].start - 2 + first.mpfSegment.offset);
    bool matched = false;
    for (std::size_t i = 0; i < images.size(); ++i) {
        std::size_t j = i;  // as many entries as images: entry i is image i
        if (old.entries.size() != images.size()) {
            const auto at = std::find(starts.begin(), starts.end(), images[i].start);
            if (at == starts.end()) continue;
            j = static_cast<std::size_t>(at - starts.begin());
        }
        types[i] = old.entries[j].attribute & kMpTypeMask;
        fromIndex[i] = matched = true;
    }
    return matched;
}

// How many bytes at the ends of a and b agree.
std::size_t CommonTail(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[a.size() - 1 - n] == b[b.size() - 1 - n]) ++n;
    return n;
}

// Restores the missing tables of image from a DQT segment of another image whose end matches
// the end of one of image's stray runs: the remains of that segment in image.
void RestoreQuantTables(ByteSource& source, std::vector<FoundImage>& images, FoundImage& image) {
    for (const FoundImage& donor : images) {
        if (&donor == &image) continue;
        for (const JpegSegment& dqt : donor.quantSegments) {
            const std::uint8_t tables = dqt.quantTables;
            if ((tables & image.missingTables) == 0 || (tables & ~image.missingTables) != 0) continue;
            const std::vector<std::uint8_t> bytes = ReadSegmentBytes(source, dqt);
            for (const ByteRun& run : image.strayRuns) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(run.length, static_cast<std::int64_t>(bytes.size())));
                const auto tail = source.View(run.End() - static_cast<std::int64_t>(n), n);
                if (CommonTail(tail, bytes) < kMinMatchedTableBytes) continue;
                image.insertions.push_back({run.End(), bytes});
                image.missingTables = static_cast<std::uint8_t>(image.missingTables & ~tables);
                image.restoredTables = static_cast<std::uint8_t>(image.restoredTables | tables);
                image.donorStart = donor.start;
                break;
            }
            if (image.missingTables == 0) return;
        }
    }
}

std::string NameOf(const MpoImageSource& base) { return base.name.empty() ? base.path : base.name; }

}  // namespace

std::vector<MpoImage> PlanRepair(ByteSource& source, const MpoImageSource& base, RepairReport& report) {
    std::vector<FoundImage> found = FindImages(source, report);
    for (FoundImage& image : found)
        if (image.missingTables != 0) RestoreQuantTables(source, found, image);
    // Images that still lack a table would not decode.
    std::vector<FoundImage> images;
    for (FoundImage& image : found) {
        if (image.missingTables == 0) {
            images.push_back(std::move(image));
            continue;
        }
        const bool several = (image.missingTables & (image.missingTables - 1)) != 0;
        report.notes.push_back(OffsetText(image.start) + " is left out: its quantization " +
                               QuantTablesText(image.missingTables) + (several ? " are" : " is") + " not defined");
        report.incompleteBytes += image.end - image.start;
    }
    if (images.empty()) throw MpoError(NameOf(base), "no complete JPEG image found");

    std::vector<std::uint32_t> types(images.size(), kMpTypeDisparity);
    std::vector<bool> fromIndex(images.size(), false);
    report.typesFromOldIndex = TypesFromOldIndex(source, images, types, fromIndex);
    report.images = images.size();

    std::vector<MpoImage> result;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const FoundImage& image = images[i];
        MpoImage out;
        out.source = base;
        out.source.offset = image.start;
        out.source.length = image.end - image.start;
        out.source.name = NameOf(base) + ": " + OffsetText(image.start);
        out.type = types[i];
        out.insertions = image.insertions;
        out.walk = image.walk;
        // The old attribute IFD's tags stay with the type they were written for.
        if (fromIndex[i] && image.hasMpfSegment) {
            const std::vector<std::uint8_t> segment = MpfSegmentBytes(source, image);
            if (const auto ifd = ReadMpAttributeIfd(std::span(segment).subspan(4))) {
                std::size_t bytes = 0;
                for (const MpTag& tag : ifd->tags) bytes += tag.value.size();
                if (bytes <= kMaxCarriedTagBytes) {
                    out.attributes = ifd->tags;
                    out.individualNumber = ifd->individualNumber;
                }
            }
        }
        if (image.restoredTables != 0) {
            std::string donor = OffsetText(image.donorStart);
            for (std::size_t j = 0; j < images.size(); ++j)
                if (images[j].start == image.donorStart) donor = "image " + std::to_string(j + 1);
            report.notes.push_back("image " + std::to_string(i + 1) + ": quantization " +
                                   QuantTablesText(image.restoredTables) + " restored from " + donor);
        }
        result.push_back(std::move(out));
    }
    return result;
}

RepairReport RepairMpoFile(const std::string& path, const std::string& outputPath) {
    if (!IsExistingFile(path)) throw InOutError(ioerr::FileNotFound, path);
    RepairReport report;
    std::vector<MpoImage> images;
    {
        InputFile file(path);
        FileByteSource source(file);
        images = PlanRepair(source, MpoImageSource::File(path), report);
    }
    report.fileSize = WriteMpoFile(images, outputPath).fileSize;
    return report;
}

std::vector<std::uint8_t> RepairMpoBytes(std::span<const std::uint8_t> bytes, RepairReport& report) {
    MemoryByteSource source(bytes);
    const std::vector<MpoImage> images = PlanRepair(source, MpoImageSource::Memory(bytes, "the data"), report);
    std::vector<std::uint8_t> out = BuildMpo(images);
    report.fileSize = static_cast<std::int64_t>(out.size());
    return out;
}

std::string DefaultRepairName(const std::string& path) {
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !IsPathSeparator(path[nameStart - 1])) --nameStart;
    const std::size_t dot = path.rfind('.');
    const std::string stem = dot != std::string::npos && dot > nameStart ? path.substr(0, dot) : path;
    return stem + "_repaired.mpo";
}

}  // namespace veltrane
