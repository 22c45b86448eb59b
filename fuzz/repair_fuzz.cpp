// SPDX-License-Identifier: GPL-3.0-or-later
// Repairs arbitrary bytes as an MPO file in memory and reads the result back: its index must be
// usable and list every image the repair found; each image must be complete, end where the
// next begins, hold exactly one MPF segment and the scans of the image it came from; and
// repairing the result again must change nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "core/images/mpf_index.h"
#include "core/mpo/byte_source.h"
#include "core/mpo/jpeg_walk.h"
#include "core/mpo/mpo_error.h"
#include "core/mpo/mpo_repair.h"

namespace {

using veltrane::JpegImageWalk;
using veltrane::JpegSegment;

// Stops the run at a broken promise, naming it.
#define REQUIRE(condition)                                                        \
    do {                                                                          \
        if (!(condition)) {                                                       \
            std::fprintf(stderr, "repair_fuzz: failed: %s\n", #condition);        \
            __builtin_trap();                                                     \
        }                                                                         \
    } while (false)

// The bytes from the first SOS to the end of the image but any MPF segments (with their fill
// bytes): the scans and what lies between them, copied unchanged.
std::vector<std::uint8_t> Scans(std::span<const std::uint8_t> bytes, const JpegImageWalk& walk) {
    std::vector<std::uint8_t> scans;
    std::int64_t from = walk.segments[walk.headerSegments].offset;
    for (std::size_t i = walk.headerSegments; i < walk.segments.size(); ++i) {
        const JpegSegment& s = walk.segments[i];
        if (s.kind != veltrane::SegmentKind::Mpf) continue;
        scans.insert(scans.end(), bytes.begin() + from, bytes.begin() + (s.offset - s.fillBytes));
        from = s.End();
    }
    scans.insert(scans.end(), bytes.begin() + from, bytes.begin() + walk.end);
    return scans;
}

std::size_t MpfSegments(const JpegImageWalk& walk) {
    std::size_t n = 0;
    for (const JpegSegment& s : walk.segments) n += s.kind == veltrane::SegmentKind::Mpf;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    veltrane::RepairReport report;
    std::vector<veltrane::MpoImage> found;
    std::vector<std::uint8_t> repaired;
    try {
        veltrane::MemoryByteSource source(input);
        found = veltrane::PlanRepair(source, veltrane::MpoImageSource::Memory(input), report);
        repaired = veltrane::RepairMpoBytes(input, report);
    } catch (const veltrane::MpoError&) {
        REQUIRE(found.empty());
        return 0;
    }
    const auto fileSize = static_cast<std::int64_t>(repaired.size());
    veltrane::MpfIndex index = veltrane::ReadMpfIndex(repaired, fileSize);
    veltrane::CheckMpfImageStarts(index, [&](std::int64_t start) { return veltrane::BeginsJpegAt(repaired, start); });
    REQUIRE(index.Usable() && index.entries.size() == found.size() && report.images == found.size());

    veltrane::MemoryByteSource in(input), out(repaired);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const std::int64_t start = index.entries[i].start;
        const std::int64_t end = i + 1 < found.size() ? index.entries[i + 1].start : fileSize;
        REQUIRE(index.entries[i].size == static_cast<std::uint32_t>(end - start));
        const JpegImageWalk written = veltrane::WalkJpegImage(out, start, end);
        REQUIRE(written.complete && written.end == end && written.strayBytes == 0 && written.MissingQuantTables() == 0);
        REQUIRE(MpfSegments(written) == 1);
        const JpegImageWalk original = veltrane::WalkJpegImage(in, found[i].source.offset,
                                                               found[i].source.offset + found[i].source.length);
        REQUIRE(original.complete && original.end == found[i].source.offset + found[i].source.length);
        REQUIRE(written.segments.size() ==
                original.segments.size() - MpfSegments(original) + 1 + found[i].insertions.size());
        REQUIRE(Scans(input, original) == Scans(repaired, written));
    }

    veltrane::RepairReport again;
    REQUIRE(veltrane::RepairMpoBytes(repaired, again) == repaired && again.DroppedBytes() == 0);
    return 0;
}
