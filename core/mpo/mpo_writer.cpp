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

// An image's range in its source, checked against the source's size: [start, limit).
struct ImageRange {
    std::int64_t start = 0;
    std::int64_t limit = 0;
};

ImageRange RangeOf(const MpoImage& image, ByteSource& source, const std::string& name) {
    const std::int64_t start = image.source.offset;
    std::int64_t limit = source.Size();
    if (start < 0 || start > limit || (image.source.length >= 0 && image.source.length > limit - start))
        throw InOutError(ioerr::ReadBeyondEnd, name);
    if (image.source.length >= 0) limit = start + image.source.length;
    return {start, limit};
}

// Refuses an image whose walk is not that of a complete image with every quantization table.
void CheckWalk(const JpegImageWalk& walk, const MpoImage& image, const std::string& name) {
    if (!walk.complete) throw MpoError(name, "not a complete JPEG image: " + walk.problem);
    const std::uint8_t missing =
        static_cast<std::uint8_t>(walk.MissingQuantTables() & ~QuantTablesInserted(image.insertions));
    if (missing != 0)
        throw MpoError(name, "not a complete JPEG image: its quantization " + QuantTablesText(missing) +
                                 (missing & (missing - 1) ? " are" : " is") + " not defined");
}

// Turns an image's source range into the pieces of the output image, front to back, as far as
// the walk has got: what is left out (stray runs, and old MPF segments with the fill bytes
// before them, since in entropy-coded data an FF must not be left without its marker), where
// the new MPF segment goes (after the APP0 and APP1 segments that follow SOI) and the
// caller's insertions. Begin needs the walk's header; Advance may be called again and again as
// the walk goes on, each time with everything before upTo listed in the walk.
class PieceCutter {
public:
    PieceCutter(const MpoImage& image, std::int64_t start, std::string name)
        : image_(image), start_(start), cur_(start), name_(std::move(name)) {}

    void Begin(const JpegImageWalk& walk) {
        dropped_ = walk.strayRuns;
        for (; segmentsSeen_ < walk.headerSegments && segmentsSeen_ < walk.segments.size(); ++segmentsSeen_) {
            const JpegSegment& s = walk.segments[segmentsSeen_];
            if (s.kind == SegmentKind::Mpf) dropped_.push_back(DroppedRun(s));
        }
        std::sort(dropped_.begin(), dropped_.end(), [](const ByteRun& a, const ByteRun& b) { return a.offset < b.offset; });

        // Where the new segment goes: after the APP0 and APP1 segments (JFIF, EXIF, XMP) that
        // follow SOI, the old MPF segments left out, so that an image that began FF D8 FF E1 (or
        // E0) still does: readers that find images by that signature find these.
        std::int64_t segmentAt = start_ + 2;
        for (std::size_t i = 1; i < walk.headerSegments && i < walk.segments.size(); ++i) {
            const JpegSegment& s = walk.segments[i];
            if (s.kind == SegmentKind::Mpf) continue;
            if (s.marker != kMarkerApp0 && s.marker != kMarkerApp1) break;
            segmentAt = s.End();
        }

        // Insertions in offset order, the MPF segment first among those at one offset.
        inserts_ = {{segmentAt, -1}};
        for (std::size_t i = 0; i < image_.insertions.size(); ++i) {
            const std::int64_t at = image_.insertions[i].before;
            if (at < start_ + 2) throw MpoError(name_, "an inserted segment lies outside the image");
            inserts_.push_back({at, static_cast<int>(i)});
        }
        std::stable_sort(inserts_.begin(), inserts_.end(), [](const Insert& a, const Insert& b) { return a.at < b.at; });
    }

    // Hands out the pieces up to upTo: source runs, the MPF segment and insertions.
    template <typename Emit>
    void Advance(const JpegImageWalk& walk, std::int64_t upTo, Emit&& emit) {
        // Segments between scans listed since the last call: old MPF segments among them go.
        for (; segmentsSeen_ < walk.segments.size(); ++segmentsSeen_) {
            const JpegSegment& s = walk.segments[segmentsSeen_];
            if (s.kind == SegmentKind::Mpf) dropped_.push_back(DroppedRun(s));
        }
        constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
        for (;;) {
            const std::int64_t nextInsert = ii_ < inserts_.size() && inserts_[ii_].at <= upTo ? inserts_[ii_].at : kNone;
            const std::int64_t nextDrop = di_ < dropped_.size() ? dropped_[di_].offset : kNone;
            const std::int64_t stop = std::min({nextInsert, nextDrop, upTo});
            if (stop > cur_) {
                emit(Piece{Piece::Kind::Source, cur_, stop - cur_});
                cur_ = stop;
            }
            if (nextInsert <= cur_ && nextInsert <= nextDrop) {
                emit(inserts_[ii_].which < 0 ? Piece{Piece::Kind::MpfSegment, 0, 0}
                                             : Piece{Piece::Kind::Insertion, inserts_[ii_].which, 0});
                ++ii_;
            } else if (nextDrop <= cur_) {
                cur_ = std::max(cur_, dropped_[di_].End());
                ++di_;
            } else {
                break;
            }
        }
    }

    // After the last Advance (up to the walk's end): every insertion has found its place.
    void End() const {
        if (ii_ < inserts_.size()) throw MpoError(name_, "an inserted segment lies outside the image");
    }

private:
    struct Insert {
        std::int64_t at;
        int which;  // -1: the MPF segment
    };
    static ByteRun DroppedRun(const JpegSegment& s) {
        return {s.offset - s.fillBytes, s.End() - (s.offset - s.fillBytes)};
    }

    const MpoImage& image_;
    std::int64_t start_;
    std::int64_t cur_;
    std::string name_;
    std::vector<ByteRun> dropped_;
    std::vector<Insert> inserts_;
    std::size_t segmentsSeen_ = 0;
    std::size_t ii_ = 0, di_ = 0;
};

// The plan of an image whose walk the caller has made: its pieces, all known before writing.
ImagePlan PlanImage(const MpoImage& image, std::size_t index, SourceOpener& opener) {
    const std::string name = NameOf(image.source, index);
    ByteSource& source = opener.Open(image.source);
    const ImageRange range = RangeOf(image, source, name);
    const JpegImageWalk& walk = *image.walk;
    if (walk.start != range.start || walk.end > range.limit) throw MpoError(name, "its structure walk is of another range");
    CheckWalk(walk, image, name);

    ImagePlan plan;
    PieceCutter cutter(image, range.start, name);
    cutter.Begin(walk);
    cutter.Advance(walk, walk.end, [&](const Piece& piece) {
        if (piece.kind == Piece::Kind::MpfSegment) plan.bytesBeforeSegment = plan.sizeWithoutSegment;
        if (piece.kind == Piece::Kind::Source) {
            if (!plan.pieces.empty() && plan.pieces.back().kind == Piece::Kind::Source &&
                plan.pieces.back().offset + plan.pieces.back().length == piece.offset)
                plan.pieces.back().length += piece.length;
            else
                plan.pieces.push_back(piece);
            plan.sizeWithoutSegment += piece.length;
        } else {
            plan.pieces.push_back(piece);
            if (piece.kind == Piece::Kind::Insertion)
                plan.sizeWithoutSegment += static_cast<std::int64_t>(image.insertions[static_cast<std::size_t>(piece.offset)].bytes.size());
        }
    });
    cutter.End();
    plan.layout.strayBytes = walk.strayBytes;
    plan.layout.trailingBytes = range.limit - walk.end;
    plan.layout.trailingJpegStart = plan.layout.trailingBytes > 0 && FindJpegStart(source, walk.end, range.limit) >= 0;
    return plan;
}

// Where the written bytes go.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    // Overwrites bytes written before.
    virtual void WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes) = 0;
    virtual void CopyFrom(InputFile& file, std::int64_t offset, std::int64_t length) = 0;
};

class FileSink final : public Sink {
public:
    explicit FileSink(const std::string& path) : out_(path) {}
    void Write(std::span<const std::uint8_t> bytes) override { out_.Write(bytes.data(), bytes.size()); }
    void WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes) override {
        out_.WriteAt(offset, bytes.data(), bytes.size());
    }
    void CopyFrom(InputFile& file, std::int64_t offset, std::int64_t length) override {
        out_.CopyFrom(file, offset, length);
    }
    void AppendTrailer(const MpoTrailer& trailer) { veltrane::AppendTrailer(out_, trailer); }
    void Commit() { out_.Commit(); }

private:
    AtomicOutputFile out_;
};

class MemorySink final : public Sink {
public:
    void Write(std::span<const std::uint8_t> bytes) override { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    void WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes) override {
        std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    void CopyFrom(InputFile& file, std::int64_t offset, std::int64_t length) override {
        const std::size_t at = bytes_.size();
        bytes_.resize(at + static_cast<std::size_t>(length));
        file.ReadAt(offset, bytes_.data() + at, static_cast<std::size_t>(length));
    }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Keeps nothing: for the layout alone.
class DiscardingSink final : public Sink {
public:
    void Write(std::span<const std::uint8_t>) override {}
    void WriteAt(std::int64_t, std::span<const std::uint8_t>) override {}
    void CopyFrom(InputFile&, std::int64_t, std::int64_t) override {}
};

// Writes an image that the writer walks itself, in one pass: each block is written right after
// the walk has looked at it, while it is still at hand in the source's buffer.
class StreamingImage final : public WalkProgress {
public:
    StreamingImage(const MpoImage& image, ByteSource& source, std::int64_t start, const std::string& name, Sink& sink,
                   std::span<const std::uint8_t> segment)
        : image_(image), source_(source), cutter_(image, start, name), sink_(sink), segment_(segment) {}

    void Passed(const JpegImageWalk& walk, std::int64_t upTo) override {
        if (!begun_) {
            cutter_.Begin(walk);
            begun_ = true;
        }
        cutter_.Advance(walk, upTo, [&](const Piece& piece) { Write(piece); });
    }

    // Writes what follows the last block the walk reported, up to the image's end.
    void Finish(const JpegImageWalk& walk) {
        Passed(walk, walk.end);
        cutter_.End();
    }

    std::int64_t written = 0;             // bytes of the image written, its MPF segment included
    std::int64_t bytesBeforeSegment = 0;  // of them, before its MPF segment

private:
    void Write(const Piece& piece) {
        switch (piece.kind) {
            case Piece::Kind::MpfSegment:
                bytesBeforeSegment = written;
                sink_.Write(segment_);
                written += static_cast<std::int64_t>(segment_.size());
                break;
            case Piece::Kind::Insertion: {
                const auto& bytes = image_.insertions[static_cast<std::size_t>(piece.offset)].bytes;
                sink_.Write(bytes);
                written += static_cast<std::int64_t>(bytes.size());
                break;
            }
            case Piece::Kind::Source:
                for (std::int64_t at = piece.offset, end = piece.offset + piece.length; at < end;) {
                    const auto chunk = source_.Chunk(at);
                    if (chunk.empty()) throw InOutError(ioerr::ReadBeyondEnd, image_.source.path);
                    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), end - at));
                    sink_.Write(chunk.first(n));
                    at += static_cast<std::int64_t>(n);
                }
                written += piece.length;
                break;
        }
    }

    const MpoImage& image_;
    ByteSource& source_;
    PieceCutter cutter_;
    Sink& sink_;
    std::span<const std::uint8_t> segment_;
    bool begun_ = false;
};

// Writes the images to the sink made by makeSink, one after another. An image the caller has
// walked is copied by its plan (file to file in the kernel); any other is walked as it is
// written, in one pass. The first image's MPF index is written as zeros of its size and filled
// in at the end, once every image's size is known. A refused image stops the write; the caller
// then drops what the sink holds.
template <typename MakeSink>
MpoWriteResult WriteMpo(const std::vector<MpoImage>& images, const std::string& outputName, MakeSink&& makeSink) {
    if (images.empty() || images.size() > kMaxMpoImages)
        throw MpoError(outputName, "an MPO file holds 1 to " + std::to_string(kMaxMpoImages) + " images, not " +
                                       std::to_string(images.size()));
    std::vector<MpAttributeIfd> ifds(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const MpoImage& image = images[i];
        ifds[i].individualNumber = image.individualNumber != 0 ? image.individualNumber : static_cast<std::uint32_t>(i + 1);
        ifds[i].tags = image.attributes ? *image.attributes : DefaultMpAttributes(image.type, images.size());
        const std::size_t segment =
            i == 0 ? MpfIndexSegmentSize(images.size(), ifds[0]) : MpfAttributeSegmentSize(ifds[i]);
        if (segment > 2 + 0xFFFF) throw MpoError(NameOf(images[i].source, i), "its MPF segment would exceed 64 KiB");
    }

    SourceOpener opener;
    Sink& sink = makeSink();
    MpoWriteResult result;
    std::int64_t position = 0;
    std::int64_t indexAt = 0;  // where the first image's MPF segment lies in the file
    for (std::size_t i = 0; i < images.size(); ++i) {
        const MpoImage& image = images[i];
        const std::vector<std::uint8_t> segment = i == 0 ? std::vector<std::uint8_t>(MpfIndexSegmentSize(images.size(), ifds[0]))
                                                         : BuildMpfAttributeSegment(ifds[i]);
        MpoImageLayout layout;
        layout.offset = position;
        std::int64_t bytesBeforeSegment = 0;
        if (image.walk) {
            ImagePlan plan = PlanImage(image, i, opener);
            opener.Open(image.source);
            for (const Piece& piece : plan.pieces) {
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
            layout = plan.layout;
            layout.offset = position;
            layout.size = plan.sizeWithoutSegment + static_cast<std::int64_t>(segment.size());
            bytesBeforeSegment = plan.bytesBeforeSegment;
        } else {
            const std::string name = NameOf(image.source, i);
            ByteSource& source = opener.Open(image.source);
            const ImageRange range = RangeOf(image, source, name);
            StreamingImage writer(image, source, range.start, name, sink, segment);
            const JpegImageWalk walk = WalkJpegImage(source, range.start, range.limit, WalkScope::WholeImage, &writer);
            source.CheckIntact();
            if (image.acceptWalk && !image.acceptWalk(source, walk)) throw MpoSourceRejected(i);
            CheckWalk(walk, image, name);
            writer.Finish(walk);
            source.CheckIntact();
            layout.size = writer.written;
            layout.strayBytes = walk.strayBytes;
            layout.trailingBytes = range.limit - walk.end;
            layout.trailingJpegStart = layout.trailingBytes > 0 && FindJpegStart(source, walk.end, range.limit) >= 0;
            bytesBeforeSegment = writer.bytesBeforeSegment;
        }
        if (i == 0) indexAt = bytesBeforeSegment;
        result.images.push_back(layout);
        position += layout.size;
    }
    result.fileSize = position;

    // Offsets count from the TIFF header inside the first image's segment.
    const std::int64_t base = indexAt + static_cast<std::int64_t>(kMpfTiffOffset);
    std::vector<MpEntryValues> entries;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const MpoImageLayout& l = result.images[i];
        const std::int64_t offset = i == 0 ? 0 : l.offset - base;
        if (l.size > 0xFFFFFFFF || offset > 0xFFFFFFFF)
            throw MpoError(outputName, "the images would lie beyond the 4 GiB that MPF offsets reach");
        std::uint32_t attribute = (images[i].type & kMpTypeMask) | (images[i].entryFlags & ~kMpTypeMask & ~kMpRepresentativeFlag);
        if (i == 0) attribute |= kMpRepresentativeFlag;
        entries.push_back({attribute, static_cast<std::uint32_t>(l.size), static_cast<std::uint32_t>(offset),
                           images[i].dependent1, images[i].dependent2});
    }
    sink.WriteAt(indexAt, BuildMpfIndexSegment(entries, ifds[0]));
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

void AppendTrailer(AtomicOutputFile& out, const MpoTrailer& trailer) {
    if (trailer.length <= 0) return;
    InputFile file(trailer.path);
    if (trailer.offset < 0 || trailer.offset > file.Size() || trailer.length > file.Size() - trailer.offset)
        throw InOutError(ioerr::ReadBeyondEnd, trailer.path);
    out.CopyFrom(file, trailer.offset, trailer.length);
}

MpoWriteResult WriteMpoFile(const std::vector<MpoImage>& images, const std::string& outputPath,
                            const MpoTrailer& trailer) {
    std::unique_ptr<FileSink> sink;
    MpoWriteResult result = WriteMpo(images, outputPath, [&]() -> Sink& {
        sink = std::make_unique<FileSink>(outputPath);
        return *sink;
    });
    sink->AppendTrailer(trailer);
    result.fileSize += std::max<std::int64_t>(trailer.length, 0);
    sink->Commit();
    return result;
}

std::vector<std::uint8_t> BuildMpo(const std::vector<MpoImage>& images, MpoWriteResult* result) {
    MemorySink sink;
    MpoWriteResult r = WriteMpo(images, "the MPO file", [&]() -> Sink& { return sink; });
    if (result != nullptr) *result = std::move(r);
    return std::move(sink.Bytes());
}

MpoWriteResult LayOutMpo(const std::vector<MpoImage>& images) {
    DiscardingSink sink;
    return WriteMpo(images, "the MPO file", [&]() -> Sink& { return sink; });
}

}  // namespace veltrane
