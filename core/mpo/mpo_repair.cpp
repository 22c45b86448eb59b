// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mpo/mpo_repair.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <memory>
#include <optional>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/mpf_index.h"
#include "core/mpo/byte_source.h"
#include "core/mpo/jpeg_walk.h"
#include "core/mpo/mpo_error.h"

namespace veltrane {
namespace {

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
    std::size_t rebuiltFrom = 0;             // values a table was rebuilt from (no donor)
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
            ++report.imagesLeftOut;
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

// The layout of an index written over the next segment: an imaging library that sizes the MPF
// segment for fewer images than it then lists writes the longer MP entry list past the
// segment's declared end, over the start of the DQT segment behind it, which is left a run of
// stray bytes. Found only when the stray run begins at the MPF segment's end and the entry list,
// read from the segment and that run, ends inside the run.
struct OverwrittenTables {
    ByteRun run;                 // the remains of the DQT segment, with the entry list's spill
    std::size_t overwritten = 0; // how many bytes at the run's start the entry list took
};

std::uint32_t ReadNumber(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size, bool bigEndian) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < size; ++i)
        v |= std::uint32_t{bytes[at + i]} << (8 * (bigEndian ? size - 1 - i : i));
    return v;
}

// Where the MP entry list of an MPF segment's first IFD ends, counted from the segment's FF;
// 0 when the segment's bytes hold no readable MPEntry tag.
std::size_t EntryListEnd(std::span<const std::uint8_t> segment) {
    constexpr std::size_t kTiff = 8;  // FF E2 LL LL "MPF\0"
    if (segment.size() < kTiff + 8) return 0;
    const bool big = segment[kTiff] == 'M' && segment[kTiff + 1] == 'M';
    if (!big && !(segment[kTiff] == 'I' && segment[kTiff + 1] == 'I')) return 0;
    const std::span<const std::uint8_t> tiff = segment.subspan(kTiff);
    const std::uint32_t ifd = ReadNumber(tiff, 4, 4, big);
    if (ifd > tiff.size() || tiff.size() - ifd < 2) return 0;
    const std::uint32_t count = ReadNumber(tiff, ifd, 2, big);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + std::size_t{i} * 12;
        if (entry + 12 > tiff.size()) return 0;
        if (ReadNumber(tiff, entry, 2, big) != kMpTagEntry) continue;
        const std::uint64_t end = std::uint64_t{ReadNumber(tiff, entry + 8, 4, big)} + ReadNumber(tiff, entry + 4, 4, big);
        return end <= tiff.size() ? static_cast<std::size_t>(kTiff + end) : 0;
    }
    return 0;
}

std::optional<OverwrittenTables> FindOverwrittenTables(ByteSource& source, const FoundImage& image) {
    if (!image.hasMpfSegment) return std::nullopt;
    const std::int64_t segmentEnd = image.mpfSegment.End();
    const auto run = std::find_if(image.strayRuns.begin(), image.strayRuns.end(),
                                  [&](const ByteRun& r) { return r.offset == segmentEnd; });
    if (run == image.strayRuns.end()) return std::nullopt;
    const std::size_t declared = 2 + image.mpfSegment.length;
    const std::size_t listEnd = EntryListEnd(MpfSegmentBytes(source, image));
    if (listEnd <= declared || static_cast<std::int64_t>(listEnd - declared) >= run->length) return std::nullopt;
    return OverwrittenTables{*run, listEnd - declared};
}

// The DQT segment of a single 8-bit table, Tq = table.
std::vector<std::uint8_t> DqtSegment(int table, std::span<const std::uint8_t, 64> zigzagValues) {
    std::vector<std::uint8_t> bytes = {0xFF, kMarkerDqt, 0x00, 0x43, static_cast<std::uint8_t>(table)};
    bytes.insert(bytes.end(), zigzagValues.begin(), zigzagValues.end());
    return bytes;
}

// The example tables of the JPEG standard (ITU T.81, Annex K.1), luminance and chrominance, in
// the order of the coefficients (row by row), and the zigzag order in which a DQT lists them.
constexpr std::array<std::array<std::uint8_t, 64>, 2> kExampleTables = {{
    {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
     14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
     18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
     49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99},
    {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
     24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
     99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
     99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99},
}};
constexpr std::array<std::uint8_t, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
// A scale of the example tables, in percent, as encoders set their quality with (1 to 5000).
constexpr int kMaxTableScale = 5000;
// At least this many values of a table must survive to tell its scale.
constexpr std::size_t kMinSurvivingValues = 16;

// Rebuilds a table whose first values were overwritten from the values that survive, when they
// are those of the standard's example table for it scaled as encoders scale it, and every scale
// that fits them gives the same lost values. survivors are the table's last zigzag values.
std::optional<std::array<std::uint8_t, 64>> RebuildScaledTable(int table, std::span<const std::uint8_t> survivors) {
    if (table > 1 || survivors.size() < kMinSurvivingValues || survivors.size() > 64) return std::nullopt;
    const std::size_t lost = 64 - survivors.size();
    std::optional<std::array<std::uint8_t, 64>> rebuilt;
    for (int scale = 1; scale <= kMaxTableScale; ++scale) {
        std::array<std::uint8_t, 64> values{};
        bool fits = true;
        for (std::size_t k = 0; k < 64 && fits; ++k) {
            const long v = std::clamp((long{kExampleTables[table][kZigzag[k]]} * scale + 50) / 100, 1L, 255L);
            values[k] = static_cast<std::uint8_t>(v);
            fits = k < lost || values[k] == survivors[k - lost];
        }
        if (!fits) continue;
        if (rebuilt && *rebuilt != values) return std::nullopt;  // the lost values are not certain
        rebuilt = values;
    }
    return rebuilt;
}

// Restores the tables that an index written over the DQT segment took (OverwrittenTables): from
// another image whose DQT segment defines just those tables, is as long as the run and agrees
// with every byte that survives; else, for a single table, from the surviving values.
void RestoreQuantTables(ByteSource& source, std::vector<FoundImage>& images, FoundImage& image) {
    const std::optional<OverwrittenTables> layout = FindOverwrittenTables(source, image);
    if (!layout) return;
    const auto run = source.View(layout->run.offset, static_cast<std::size_t>(layout->run.length));
    const std::span<const std::uint8_t> surviving = run.subspan(layout->overwritten);
    for (const FoundImage& donor : images) {
        if (&donor == &image) continue;
        for (const JpegSegment& dqt : donor.quantSegments) {
            if (dqt.quantTables != image.missingTables || std::int64_t{dqt.length} + 2 != layout->run.length) continue;
            const std::vector<std::uint8_t> bytes = ReadSegmentBytes(source, dqt);
            if (!std::equal(surviving.begin(), surviving.end(), bytes.begin() + static_cast<long>(layout->overwritten)))
                continue;
            image.insertions.push_back({layout->run.End(), bytes});
            image.restoredTables = image.missingTables;
            image.missingTables = 0;
            image.donorStart = donor.start;
            return;
        }
    }
    // One 8-bit table: FF DB 00 43, Pq|Tq, 64 values.
    constexpr std::size_t kHead = 5;
    const std::uint8_t missing = image.missingTables;
    if (run.size() != kHead + 64 || (missing & (missing - 1)) != 0) return;
    const int table = std::countr_zero(missing);
    if (layout->overwritten < kHead && run[kHead - 1] != table) return;
    const auto values = RebuildScaledTable(table, run.subspan(std::max(layout->overwritten, kHead)));
    if (!values) return;
    image.insertions.push_back({layout->run.End(), DqtSegment(table, *values)});
    image.restoredTables = missing;
    image.missingTables = 0;
    image.rebuiltFrom = 64 - (std::max(layout->overwritten, kHead) - kHead);
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
        ++report.imagesLeftOut;
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
        if (image.restoredTables != 0 && image.donorStart < 0) {
            report.notes.push_back("image " + std::to_string(i + 1) + ": quantization " +
                                   QuantTablesText(image.restoredTables) + " rebuilt from the " +
                                   std::to_string(image.rebuiltFrom) + " values that survive");
        } else if (image.restoredTables != 0) {
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
