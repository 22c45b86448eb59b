// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mpo/mpo_writer.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/mpo/byte_source.h"
#include "core/mpo/jpeg_walk.h"
#include "core/mpo/mpo_error.h"

namespace veltrane {
namespace {

// A piece of an output image: bytes of its source, its new MPF segment, or an insertion.
struct Piece {
    enum class Kind { Source, MpfSegment, Insertion } kind = Kind::Source;
    std::int64_t offset = 0;  // Source: the first byte; Insertion: the insertion's number
    std::int64_t length = 0;  // Source: how many bytes
};

struct ImagePlan {
    std::vector<Piece> pieces;
    std::int64_t bytesBeforeSegment = 0;  // the image's bytes before its MPF segment
    std::int64_t sizeWithoutSegment = 0;
    MpAttributeIfd ifd;
    MpoImageLayout layout;
};

std::string NameOf(const MpoImageSource& source, std::size_t index) {
    if (!source.name.empty()) return source.name;
    if (!source.path.empty()) return source.path;
    return "image " + std::to_string(index + 1);
}

// The source of one image at a time, keeping the last file open for the next image of it.
class SourceOpener {
public:
    ByteSource& Open(const MpoImageSource& source) {
        if (source.path.empty()) {
            memory_ = std::make_unique<MemoryByteSource>(source.bytes);
            return *memory_;
        }
        if (!file_ || file_->Path() != source.path) {
            fileSource_.reset();
            file_.reset();
            if (!IsExistingFile(source.path)) throw InOutError(ioerr::FileNotFound, source.path);
            file_ = std::make_unique<InputFile>(source.path);
            fileSource_ = std::make_unique<FileByteSource>(*file_);
        }
        return *fileSource_;
    }
    InputFile& File() { return *file_; }

private:
    std::unique_ptr<MemoryByteSource> memory_;
    std::unique_ptr<InputFile> file_;
    std::unique_ptr<FileByteSource> fileSource_;
};

// Tables that the insertions define: those of the DQT segments among them.
std::uint8_t QuantTablesInserted(const std::vector<MpoInsertion>& insertions) {
    std::uint8_t tables = 0;
    for (const MpoInsertion& insertion : insertions) {
        // The insertion is walked as the header of an image that consists of it alone.
        std::vector<std::uint8_t> image = {0xFF, kMarkerSoi};
        image.insert(image.end(), insertion.bytes.begin(), insertion.bytes.end());
        MemoryByteSource source(image);
        const JpegImageWalk walk = WalkJpegImage(source, 0, source.Size(), WalkScope::Header);
        tables = static_cast<std::uint8_t>(tables | walk.quantTablesDefined);
    }
    return tables;
}

ImagePlan PlanImage(const MpoImage& image, std::size_t index, std::size_t count, SourceOpener& opener) {
    const std::string name = NameOf(image.source, index);
    ByteSource& source = opener.Open(image.source);
    const std::int64_t start = image.source.offset;
    std::int64_t limit = source.Size();
    if (start < 0 || start > limit || (image.source.length >= 0 && image.source.length > limit - start))
        throw InOutError(ioerr::ReadBeyondEnd, name);
    if (image.source.length >= 0) limit = start + image.source.length;
    JpegImageWalk ownWalk;
    if (!image.walk) ownWalk = WalkJpegImage(source, start, limit);
    const JpegImageWalk& walk = image.walk ? *image.walk : ownWalk;
    if (walk.start != start || walk.end > limit) throw MpoError(name, "its structure walk is of another range");
    if (!walk.complete) throw MpoError(name, "not a complete JPEG image: " + walk.problem);
    const std::uint8_t missing =
        static_cast<std::uint8_t>(walk.MissingQuantTables() & ~QuantTablesInserted(image.insertions));
    if (missing != 0)
        throw MpoError(name, "not a complete JPEG image: its quantization " + QuantTablesText(missing) +
                                 (missing & (missing - 1) ? " are" : " is") + " not defined");

    // What is left out: stray runs and old MPF segments with the fill bytes before them (in
    // entropy-coded data an FF must not be left without its marker), in file order.
    std::vector<ByteRun> dropped = walk.strayRuns;
    for (const JpegSegment& s : walk.segments)
        if (s.kind == SegmentKind::Mpf) dropped.push_back({s.offset - s.fillBytes, s.End() - (s.offset - s.fillBytes)});
    std::sort(dropped.begin(), dropped.end(), [](const ByteRun& a, const ByteRun& b) { return a.offset < b.offset; });

    // Where the new segment goes: after the APP0 and APP1 segments (JFIF, EXIF, XMP) that
    // follow SOI, the old MPF segments left out, so that an image that began FF D8 FF E1 (or E0)
    // still does: readers that find images by that signature find these.
    std::int64_t segmentAt = start + 2;
    for (std::size_t i = 1; i < walk.headerSegments; ++i) {
        const JpegSegment& s = walk.segments[i];
        if (s.kind == SegmentKind::Mpf) continue;
        if (s.marker != kMarkerApp0 && s.marker != kMarkerApp1) break;
        segmentAt = s.End();
    }

    // Insertions in offset order, the MPF segment first among those at one offset.
    struct Insert {
        std::int64_t at;
        int which;  // -1: the MPF segment
    };
    std::vector<Insert> inserts = {{segmentAt, -1}};
    for (std::size_t i = 0; i < image.insertions.size(); ++i) {
        const std::int64_t at = image.insertions[i].before;
        if (at < start + 2 || at > walk.end) throw MpoError(name, "an inserted segment lies outside the image");
        inserts.push_back({at, static_cast<int>(i)});
    }
    std::stable_sort(inserts.begin(), inserts.end(), [](const Insert& a, const Insert& b) { return a.at < b.at; });

    ImagePlan plan;
    auto copy = [&](std::int64_t from, std::int64_t to) {
        if (to <= from) return;
        if (!plan.pieces.empty() && plan.pieces.back().kind == Piece::Kind::Source &&
            plan.pieces.back().offset + plan.pieces.back().length == from)
            plan.pieces.back().length += to - from;
        else
            plan.pieces.push_back({Piece::Kind::Source, from, to - from});
        plan.sizeWithoutSegment += to - from;
    };
    std::int64_t cur = start;
    std::size_t ii = 0, di = 0;
    constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
    for (;;) {
        const std::int64_t nextInsert = ii < inserts.size() ? inserts[ii].at : kNone;
        const std::int64_t nextDrop = di < dropped.size() ? dropped[di].offset : kNone;
        const std::int64_t stop = std::min({nextInsert, nextDrop, walk.end});
        if (stop > cur) {
            copy(cur, stop);
            cur = stop;
        }
        if (nextInsert <= cur && nextInsert <= nextDrop) {
            if (inserts[ii].which < 0) {
                plan.bytesBeforeSegment = plan.sizeWithoutSegment;
                plan.pieces.push_back({Piece::Kind::MpfSegment, 0, 0});
            } else {
                plan.pieces.push_back({Piece::Kind::Insertion, inserts[ii].which, 0});
                plan.sizeWithoutSegment += static_cast<std::int64_t>(image.insertions[static_cast<std::size_t>(inserts[ii].which)].bytes.size());
            }
            ++ii;
        } else if (nextDrop <= cur) {
            cur = std::max(cur, dropped[di].End());
            ++di;
        } else if (cur >= walk.end) {
            break;
        }
    }

    plan.ifd.individualNumber = image.individualNumber != 0 ? image.individualNumber : static_cast<std::uint32_t>(index + 1);
    plan.ifd.tags = image.attributes ? *image.attributes : DefaultMpAttributes(image.type, count);
    plan.layout.strayBytes = walk.strayBytes;
    plan.layout.trailingBytes = limit - walk.end;
    plan.layout.trailingJpegStart = plan.layout.trailingBytes > 0 && FindJpegStart(source, walk.end, limit) >= 0;
    return plan;
}

// Where the written bytes go.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    virtual void CopyFrom(InputFile& file, std::int64_t offset, std::int64_t length) = 0;
};

class FileSink final : public Sink {
public:
    explicit FileSink(const std::string& path) : out_(path) {}
    void Write(std::span<const std::uint8_t> bytes) override { out_.Write(bytes.data(), bytes.size()); }
    void CopyFrom(InputFile& file, std::int64_t offset, std::int64_t length) override {
        out_.CopyFrom(file, offset, length);
    }
    void Commit() { out_.Commit(); }

private:
    AtomicOutputFile out_;
};

class MemorySink final : public Sink {
public:
    void Write(std::span<const std::uint8_t> bytes) override { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    void CopyFrom(InputFile& file, std::int64_t offset, std::int64_t length) override {
        const std::size_t at = bytes_.size();
        bytes_.resize(at + static_cast<std::size_t>(length));
        file.ReadAt(offset, bytes_.data() + at, static_cast<std::size_t>(length));
    }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Plans every image, lays the file out and writes it to the sink made by makeSink (called only
// once every image has been checked).
template <typename MakeSink>
MpoWriteResult WriteMpo(const std::vector<MpoImage>& images, const std::string& outputName, MakeSink&& makeSink) {
    if (images.empty() || images.size() > kMaxMpoImages)
        throw MpoError(outputName, "an MPO file holds 1 to " + std::to_string(kMaxMpoImages) + " images, not " +
                                       std::to_string(images.size()));
    SourceOpener opener;
    std::vector<ImagePlan> plans;
    plans.reserve(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) plans.push_back(PlanImage(images[i], i, images.size(), opener));

    // Layout: each image's size with its segment, its offset in the file.
    MpoWriteResult result;
    std::int64_t position = 0;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const std::size_t segment =
            i == 0 ? MpfIndexSegmentSize(plans.size(), plans[0].ifd) : MpfAttributeSegmentSize(plans[i].ifd);
        if (segment > 2 + 0xFFFF) throw MpoError(NameOf(images[i].source, i), "its MPF segment would exceed 64 KiB");
        plans[i].layout.offset = position;
        plans[i].layout.size = plans[i].sizeWithoutSegment + static_cast<std::int64_t>(segment);
        position += plans[i].layout.size;
    }
    // Offsets count from the TIFF header inside the first image's segment.
    const std::int64_t base = plans[0].bytesBeforeSegment + static_cast<std::int64_t>(kMpfTiffOffset);
    std::vector<MpEntryValues> entries;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const MpoImageLayout& l = plans[i].layout;
        const std::int64_t offset = i == 0 ? 0 : l.offset - base;
        if (l.size > 0xFFFFFFFF || offset > 0xFFFFFFFF)
            throw MpoError(outputName, "the images would lie beyond the 4 GiB that MPF offsets reach");
        std::uint32_t attribute = (images[i].type & kMpTypeMask) | (images[i].entryFlags & ~kMpTypeMask & ~kMpRepresentativeFlag);
        if (i == 0) attribute |= kMpRepresentativeFlag;
        entries.push_back({attribute, static_cast<std::uint32_t>(l.size), static_cast<std::uint32_t>(offset),
                           images[i].dependent1, images[i].dependent2});
        result.images.push_back(l);
    }
    result.fileSize = position;

    auto& sink = makeSink(position);
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const MpoImage& image = images[i];
        opener.Open(image.source);
        const std::vector<std::uint8_t> segment =
            i == 0 ? BuildMpfIndexSegment(entries, plans[0].ifd) : BuildMpfAttributeSegment(plans[i].ifd);
        for (const Piece& piece : plans[i].pieces) {
            switch (piece.kind) {
                case Piece::Kind::MpfSegment:
                    sink.Write(segment);
                    break;
                case Piece::Kind::Insertion:
                    sink.Write(image.insertions[static_cast<std::size_t>(piece.offset)].bytes);
                    break;
                case Piece::Kind::Source:
                    if (image.source.path.empty())
                        sink.Write(image.source.bytes.subspan(static_cast<std::size_t>(piece.offset),
                                                              static_cast<std::size_t>(piece.length)));
                    else
                        sink.CopyFrom(opener.File(), piece.offset, piece.length);
                    break;
            }
        }
    }
    return result;
}

}  // namespace

MpoImageSource MpoImageSource::File(std::string path, std::int64_t offset, std::int64_t length, std::string name) {
    MpoImageSource s;
    s.path = std::move(path);
    s.offset = offset;
    s.length = length;
    s.name = std::move(name);
    return s;
}

MpoImageSource MpoImageSource::Memory(std::span<const std::uint8_t> bytes, std::string name, std::int64_t offset,
                                      std::int64_t length) {
    MpoImageSource s;
    s.bytes = bytes;
    s.name = std::move(name);
    s.offset = offset;
    s.length = length;
    return s;
}

std::int64_t MpoWriteResult::DroppedBytes() const {
    std::int64_t total = 0;
    for (const MpoImageLayout& l : images) total += l.strayBytes + l.trailingBytes;
    return total;
}

MpoWriteResult WriteMpoFile(const std::vector<MpoImage>& images, const std::string& outputPath) {
    std::unique_ptr<FileSink> sink;
    MpoWriteResult result = WriteMpo(images, outputPath, [&](std::int64_t) -> Sink& {
        sink = std::make_unique<FileSink>(outputPath);
        return *sink;
    });
    sink->Commit();
    return result;
}

std::vector<std::uint8_t> BuildMpo(const std::vector<MpoImage>& images, MpoWriteResult* result) {
    MemorySink sink;
    MpoWriteResult r = WriteMpo(images, "the MPO file", [&](std::int64_t size) -> Sink& {
        sink.Bytes().reserve(static_cast<std::size_t>(size));
        return sink;
    });
    if (result != nullptr) *result = std::move(r);
    return std::move(sink.Bytes());
}

}  // namespace veltrane
