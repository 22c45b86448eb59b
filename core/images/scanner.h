// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds the images of an MPO file: through the file's MPF index when it is usable, else by
// searching the file for the image signature.
#include <cstdint>
#include <span>
#include <string>

#include "core/images/image_index.h"
#include "core/images/mpf_index.h"

namespace veltrane {

// The chunk size of the scan: the file is read through one buffer of this size.
inline constexpr std::size_t kScanChunkSize = 32768;

// How the images of a file are found. With MpfIndexFirst the file's MPF index (its first
// image's table of images) decides when it is usable, and the signature scan otherwise; with
// SignatureOnly every occurrence of the signature starts an image, index or not (--no-mpf).
enum class ImageRule { MpfIndexFirst, SignatureOnly };

class InputFile;
struct ExtractJob;

// What a file holds beyond its images (a motion photo's video, a depth map, a maker's trailer),
// known to the layers above this one; the scan and the split ask through this.
class OtherParts {
public:
    virtual ~OtherParts() = default;
    // Where the last image of index ends when other parts follow it (just past its EOI), or -1
    // when nothing does and it runs to the end of the file. Raises InOutError when the file
    // cannot be read.
    virtual std::int64_t LastImageEnd(InputFile& file, const ImageIndex& index) const = 0;
    // Writes the other parts of job.source after its images were written (a split of all
    // images), each to a file of its own; returns how many were written. Raises InOutError at
    // the first that cannot be written; the files before it stay.
    virtual int WriteOtherParts(const ExtractJob& job, const ImageIndex& index) const = 0;
};

struct ScanOptions {
    ImageRule rule = ImageRule::MpfIndexFirst;
    // What starts an image in the signature scan.
    std::span<const std::uint8_t> signature = ImageSignature;
    // The parts beyond the images; without them the last image runs to the end of the file and
    // a split writes images only.
    const OtherParts* otherParts = nullptr;
};

// What the scan tells its caller while it runs, all on the calling thread; every hook does
// nothing unless the caller wants it.
class ScanListener {
public:
    virtual ~ScanListener() = default;
    // Asked before each image is recorded and after every chunk searched, with the number of
    // bytes of the file dealt with so far; false stops the scan at once (a window that is being
    // closed). The images recorded until then stay in the index.
    virtual bool Continue(std::int64_t /*scannedBytes*/) { return true; }
    // Image n's range is known: it holds sizeInBytes bytes (up to the next image's start, to
    // where the 1000th image starts, or to the end of the file). Comes for every image, in order.
    virtual void ImageComplete(int /*n*/, std::int64_t /*sizeInBytes*/) {}
    // Image n starts at offset; the previous image now has its end. For callers that act on an
    // image as soon as its range is known (the batch split copies while the scan goes on).
    virtual void ImageRecorded(int /*n*/, std::int64_t /*offset*/) {}
    // A 1000th image start was found at offset: nothing after image 999 is recorded.
    virtual void ImageLimitReached(std::int64_t /*offset*/) {}
    // The file has an MPF index that cannot be used (reason says why, e.g. "image 2 lies
    // outside the file"); the images come from the signature scan. Not called for a file
    // without an index.
    virtual void MpfIndexIgnored(const std::string& /*reason*/) {}
    // The images come from the file's MPF index (called before the first image is recorded).
    virtual void MpfIndexUsed(const MpfIndex& /*index*/) {}
    // The signature scan has read the bytes at offset and is about to search them (the images
    // that start in them are recorded next). The bytes are valid during the call only. For
    // callers that keep small images in memory instead of reading them again.
    virtual void ChunkRead(std::int64_t /*offset*/, std::span<const std::uint8_t> /*bytes*/) {}
};

// A listener that keeps the scan's two notices for its caller to report when it likes.
class ScanNotices : public ScanListener {
public:
    void ImageLimitReached(std::int64_t /*offset*/) override { limitReached = true; }
    void MpfIndexIgnored(const std::string& reason) override { mpfIgnored = reason; }
    bool limitReached = false;  // a 1000th image start was met
    std::string mpfIgnored;     // why the file's MPF index was not used, when it has one
};

// Incremental search for a signature in a stream of chunks: occurrences that span the boundary
// between two chunks are found, and none is reported twice.
class SignatureSearch {
public:
    explicit SignatureSearch(std::span<const std::uint8_t> signature);

    // Reports, in increasing order, the stream offset of every occurrence that ends inside this
    // chunk; chunkStart is the stream offset of its first byte. Stops early when found returns
    // false, and then returns false itself.
    template <typename Found>
    bool Feed(std::span<const std::uint8_t> chunk, std::int64_t chunkStart, Found&& found);

private:
    const std::uint8_t* FindIn(const std::uint8_t* p, const std::uint8_t* end) const;

    std::span<const std::uint8_t> signature_;
    std::uint8_t carry_[8] = {};  // the last bytes of the previous chunk
    std::size_t carryLength_ = 0;
};

// Fills index with the images of the file at path. Every caller finds images through this one
// function, so every caller follows options.rule:
//   - the MPF index of the first image's header, when the rule allows it and the index is
//     usable: its entries in index order, without any scan;
//   - otherwise every occurrence of options.signature starts an image.
// Either way image n runs to the next start or to the end of the file, and at most kMaxImages
// are recorded. Returns the offset of the last image found, or -1 when none was found, the
// signature or path is empty, or the listener stopped the scan. Raises InOutError when the file
// cannot be opened or read; images recorded until then stay in the index.
std::int64_t ScanImageOffsets(ImageIndex& index, const std::string& path, const ScanOptions& options,
                              ScanListener& listener);

// Size of the named file, or -1 when there is no such entry.
std::int64_t FileSizeByName(const std::string& path);

// ---- implementation of the template ----

template <typename Found>
bool SignatureSearch::Feed(std::span<const std::uint8_t> chunk, std::int64_t chunkStart,
                           Found&& found) {
    const std::size_t m = signature_.size();
    if (m == 0 || chunk.empty()) return true;
    // Occurrences that begin in the carried tail and end in this chunk.
    if (carryLength_ > 0) {
        std::uint8_t joint[16];
        const std::size_t take = std::min(chunk.size(), m - 1);
        std::copy(carry_, carry_ + carryLength_, joint);
        std::copy(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(take), joint + carryLength_);
        const std::size_t jointLength = carryLength_ + take;
        for (std::size_t i = 0; i < carryLength_ && i + m <= jointLength; ++i) {
            if (std::equal(signature_.begin(), signature_.end(), joint + i)) {
                if (!found(chunkStart - static_cast<std::int64_t>(carryLength_ - i))) return false;
            }
        }
    }
    const std::uint8_t* base = chunk.data();
    const std::uint8_t* end = base + chunk.size();
    for (const std::uint8_t* p = FindIn(base, end); p != nullptr; p = FindIn(p + 1, end)) {
        if (!found(chunkStart + (p - base))) return false;
    }
    // Keep the last m-1 bytes of the stream seen so far.
    const std::size_t keep = m - 1;
    if (chunk.size() >= keep) {
        std::copy(end - keep, end, carry_);
        carryLength_ = keep;
    } else {
        std::uint8_t joint[16];
        std::copy(carry_, carry_ + carryLength_, joint);
        std::copy(chunk.begin(), chunk.end(), joint + carryLength_);
        const std::size_t total = carryLength_ + chunk.size();
        const std::size_t k = std::min(total, keep);
        std::copy(joint + (total - k), joint + total, carry_);
        carryLength_ = k;
    }
    return true;
}

}  // namespace veltrane
