// Repairs arbitrary bytes as an MPO file in memory and reads the result back: its index must be
// usable and list every image the repair found; each image must be complete, end where the
// next begins, hold exactly one MPF segment and the scans of the image it came from; and
// repairing the result again must change nothing.
#include <cstddef>
#include <cstdint>
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

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// The bytes from the first SOS to the end of the image: the scans, copied unchanged.
std::span<const std::uint8_t> Scans(std::span<const std::uint8_t> bytes, const JpegImageWalk& walk) {
    const JpegSegment& sos = walk.segments[walk.headerSegments];
    return bytes.subspan(static_cast<std::size_t>(sos.offset), static_cast<std::size_t>(walk.end - sos.offset));
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
        Require(found.empty());
        return 0;
    }
    const auto fileSize = static_cast<std::int64_t>(repaired.size());
    veltrane::MpfIndex index = veltrane::ReadMpfIndex(repaired, fileSize);
    veltrane::CheckMpfImageStarts(index, [&](std::int64_t start) { return veltrane::BeginsJpegAt(repaired, start); });
    Require(index.Usable() && index.entries.size() == found.size() && report.images == found.size());

    veltrane::MemoryByteSource in(input), out(repaired);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const std::int64_t start = index.entries[i].start;
        const std::int64_t end = i + 1 < found.size() ? index.entries[i + 1].start : fileSize;
        Require(index.entries[i].size == static_cast<std::uint32_t>(end - start));
        const JpegImageWalk written = veltrane::WalkJpegImage(out, start, end);
        Require(written.complete && written.end == end && written.strayBytes == 0 && written.MissingQuantTables() == 0);
        Require(MpfSegments(written) == 1);
        const JpegImageWalk original = veltrane::WalkJpegImage(in, found[i].source.offset,
                                                               found[i].source.offset + found[i].source.length);
        Require(original.complete && original.end == found[i].source.offset + found[i].source.length);
        Require(written.segments.size() ==
                original.segments.size() - MpfSegments(original) + 1 + found[i].insertions.size());
        const auto a = Scans(input, original), b = Scans(repaired, written);
        Require(std::equal(a.begin(), a.end(), b.begin(), b.end()));
    }

    veltrane::RepairReport again;
    Require(veltrane::RepairMpoBytes(repaired, again) == repaired && again.DroppedBytes() == 0);
    return 0;
}
