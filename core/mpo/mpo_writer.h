// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes MPO files: JPEG images one after another, the first carrying an MPF index of all of
// them, every later one its own MPF attribute segment (core/mpo/mpf_segment.h).
//
// Each image is copied unchanged but for three things: its own APP2 "MPF" segments are dropped,
// stray bytes between its header segments are dropped (they belong to no segment and decoders
// skip them with a warning), and the new MPF segment is inserted after its APP1 EXIF segment
// when it has one, else after its APP0 segment, else right after SOI. Bytes after its EOI that
// its source range holds do not belong to the image. Callers may insert further segments.
//
// Every image must be a complete JPEG image. An image is walked as it is written: a block is read,
// its markers and entropy-coded data are looked at in the buffer and the same buffer is written
// out, one pass like a plain copy. An image the caller has walked already is copied by its walk,
// from file to file in the kernel (copy_file_range) where the platform allows. The first image's
// MPF index is filled in once every image's size is known.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/mpo/jpeg_walk.h"
#include "core/mpo/mpf_segment.h"

namespace veltrane {

class AtomicOutputFile;

// Where an image's bytes come from: a byte range of a file, or of bytes in memory.
struct MpoImageSource {
    std::string path;                     // the file (UTF-8); empty for bytes in memory
    std::span<const std::uint8_t> bytes;  // the bytes in memory; the caller keeps them alive
    std::int64_t offset = 0;              // where the image's FF D8 lies in the file or bytes
    std::int64_t length = -1;             // the range's length; -1: to the end
    std::string name;                     // how messages name it; default the path, or "image N"

    static MpoImageSource File(std::string path, std::int64_t offset = 0, std::int64_t length = -1,
                               std::string name = {});
    static MpoImageSource Memory(std::span<const std::uint8_t> bytes, std::string name = {},
                                 std::int64_t offset = 0, std::int64_t length = -1);
};

// Bytes inserted into an image before the byte at offset before of its source (the file or the
// bytes in memory; a segment boundary): a segment that the image lacks.
struct MpoInsertion {
    std::int64_t before = 0;
    std::vector<std::uint8_t> bytes;
};

struct MpoImage {
    MpoImageSource source;
    std::uint32_t type = kMpTypeDisparity;  // the MP type of its entry (bits 23-0)
    // The attribute IFD's tags beyond MPFVersion and MPIndividualNum; without a value those
    // the consoles write for the type (DefaultMpAttributes).
    std::optional<std::vector<MpTag>> attributes;
    std::uint32_t individualNumber = 0;  // MPIndividualNum; 0: the image's position (1, 2, ...)
    // Bits 31-24 of its entry's attribute: the dependent parent and child flags and the data
    // format. The representative flag among them is ignored: the writer sets it on the first
    // image alone.
    std::uint32_t entryFlags = 0;
    std::uint16_t dependent1 = 0, dependent2 = 0;  // its entry's dependent image entry numbers
    std::vector<MpoInsertion> insertions;
    // The image's structure walk, when the caller has made it (WalkJpegImage of the source from
    // its offset): the writer then reads no byte of the image before it copies it.
    std::shared_ptr<const JpegImageWalk> walk;
    // When set (and walk is not), the writer asks it, with the image's source and its finished
    // walk, whether the image is what the caller took it for; false stops the write with
    // MpoSourceRejected, and nothing is left behind.
    std::function<bool(ByteSource& source, const JpegImageWalk& walk)> acceptWalk;
};

// An image's acceptWalk said no: the caller took its source for something else.
class MpoSourceRejected : public std::exception {
public:
    explicit MpoSourceRejected(std::size_t image) : image_(image) {}
    const char* what() const noexcept override { return "an image is not what its source was taken for"; }
    std::size_t Image() const { return image_; }

private:
    std::size_t image_;
};

// Where each image ended up, and what was left out of it.
struct MpoImageLayout {
    std::int64_t offset = 0;        // in the written file
    std::int64_t size = 0;
    std::int64_t strayBytes = 0;    // stray bytes dropped from between its header segments
    std::int64_t trailingBytes = 0; // bytes of its source range after its EOI
    bool trailingJpegStart = false; // they hold FF D8 FF: perhaps an image no index lists
};

struct MpoWriteResult {
    std::vector<MpoImageLayout> images;
    std::int64_t fileSize = 0;
    std::int64_t DroppedBytes() const;  // stray and trailing bytes of all images
};

inline constexpr std::size_t kMaxMpoImages = 999;

// Bytes of a file that follow the images unchanged (a motion photo's video, a maker's trailer):
// copied byte for byte after the last image. None when length is 0.
struct MpoTrailer {
    std::string path;
    std::int64_t offset = 0, length = 0;
};

// Writes the images as an MPO file at outputPath, through a temporary file that replaces
// outputPath when complete. outputPath may name one of the inputs (they are read before the
// rename); callers that must keep their inputs check that themselves. Raises MpoError for an
// image that is not a complete JPEG image (subject: its name; cause "not a complete JPEG image:
// <why>"), for fewer than one or more than 999 images, or when an offset would not fit in 32
// bits; InOutError when a file cannot be read or written (also for a trailer outside its file).
// Nothing is left behind on failure. fileSize counts the trailer.
MpoWriteResult WriteMpoFile(const std::vector<MpoImage>& images, const std::string& outputPath,
                            const MpoTrailer& trailer = {});

// Appends trailer to out; raises InOutError when its range does not lie inside its file.
void AppendTrailer(AtomicOutputFile& out, const MpoTrailer& trailer);

// The same, into memory.
std::vector<std::uint8_t> BuildMpo(const std::vector<MpoImage>& images, MpoWriteResult* result = nullptr);

// Where each image would lie and how large it would be, as BuildMpo would write them, without
// keeping any of the bytes.
MpoWriteResult LayOutMpo(const std::vector<MpoImage>& images);

}  // namespace veltrane
