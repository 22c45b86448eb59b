// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/images/scanner.h"

#include <cstring>
#include <memory>
#include <stdexcept>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/mpf_index.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veltrane {

SignatureSearch::SignatureSearch(std::span<const std::uint8_t> signature) : signature_(signature) {
    if (signature.size() > sizeof carry_ + 1)
        throw std::invalid_argument("signature longer than 9 bytes");
}

// First position in [p, end) where the whole signature starts, or nullptr.
//
// JPEG data holds an FF byte every few hundred bytes (stuffed FF 00 pairs, markers), so a plain
// memchr for the first byte stops often. The SSE2 path tests the first two bytes of the
// signature at 16 positions at once and only then compares the rest.
const std::uint8_t* SignatureSearch::FindIn(const std::uint8_t* p, const std::uint8_t* end) const {
    const std::size_t m = signature_.size();
    if (p >= end || static_cast<std::size_t>(end - p) < m) return nullptr;
    const std::uint8_t* last = end - m;  // last possible start
    const std::uint8_t s0 = signature_[0];
    if (m == 1) return static_cast<const std::uint8_t*>(std::memchr(p, s0, end - p));
    const std::uint8_t s1 = signature_[1];
#if defined(__SSE2__)
    const __m128i v0 = _mm_set1_epi8(static_cast<char>(s0));
    const __m128i v1 = _mm_set1_epi8(static_cast<char>(s1));
    // p[16] must exist for the shifted load. Lengths are compared, not pointers: p + 16 may lie
    // past the end of the buffer, and forming such a pointer is undefined.
    while (end - p > 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, v0), _mm_cmpeq_epi8(b, v1))));
        while (mask != 0) {
            const std::uint8_t* q = p + __builtin_ctz(mask);
            if (q > last) return nullptr;
            if (std::memcmp(q + 2, signature_.data() + 2, m - 2) == 0) return q;
            mask &= mask - 1;
        }
        p += 16;
    }
#endif
    for (; p <= last; ++p) {
        p = static_cast<const std::uint8_t*>(std::memchr(p, s0, static_cast<std::size_t>(last - p) + 1));
        if (p == nullptr) return nullptr;
        if (p[1] == s1 && std::memcmp(p + 2, signature_.data() + 2, m - 2) == 0) return p;
    }
    return nullptr;
}

std::int64_t FileSizeByName(const std::string& path) {
    return EntrySize(path);
}

std::int64_t ScanImageOffsets(ImageIndex& index, const std::string& path, const ScanOptions& options,
                              ScanListener& listener) {
    if (options.signature.empty() || path.empty()) return -1;
    index.ImageCount = 0;
    index.LimitOffset = -1;
    index.LastImageEnd = -1;

    bool stopped = false;  // by the listener
    {
        InputFile file(path);
        const std::int64_t fileSize = file.Size();
        std::int64_t lastRecorded = -1;
        // Records the image starting at offset; false once a 1000th image start is met or the
        // listener stops the scan.
        auto record = [&](std::int64_t offset) {
            if (offset <= lastRecorded) return true;
            const int n = index.ImageCount + 1;
            if (n > kMaxImages) {
                index.LimitOffset = offset;
                listener.ImageLimitReached(offset);
                return false;
            }
            index.ImageOffsets[n] = offset;
            index.ImageCount = n;
            lastRecorded = offset;
            if (!listener.Continue(offset)) {
                stopped = true;
                return false;
            }
            if (n > 1) listener.ImageComplete(n - 1, offset - index.ImageOffsets[n - 1]);
            listener.ImageRecorded(n, offset);
            return true;
        };

        bool indexed = false;
        if (options.rule == ImageRule::MpfIndexFirst) {
            const MpfIndex mpf = MpfIndexOfFile(file);
            if (mpf.Usable()) {
                indexed = true;
                listener.MpfIndexUsed(mpf);
                for (const MpfEntry& entry : mpf.entries)
                    if (!record(entry.start)) break;
            } else if (mpf.found) {
                listener.MpfIndexIgnored(mpf.problem);
            }
        }

        auto buffer = std::make_unique<std::uint8_t[]>(kScanChunkSize);
        SignatureSearch search(options.signature);
        std::int64_t position = 0;
        bool more = !indexed;
        while (more && position < fileSize) {
            const auto want = static_cast<std::size_t>(
                std::min<std::int64_t>(fileSize - position, static_cast<std::int64_t>(kScanChunkSize)));
            file.ReadAt(position, buffer.get(), want);
            listener.ChunkRead(position, {buffer.get(), want});
            more = search.Feed({buffer.get(), want}, position, record);
            position += static_cast<std::int64_t>(want);
            if (more && !listener.Continue(position)) stopped = true;
            more = more && !stopped;
        }
        if (!stopped && index.ImageCount >= 1 && index.LimitOffset < 0 && options.otherParts != nullptr)
            index.LastImageEnd = options.otherParts->LastImageEnd(file, index);
    }

    if (stopped || index.ImageCount < 1) return -1;
    const int last = index.ImageCount;
    // The last image runs to the 1000th image's start, to its EOI when other parts follow it,
    // or to the file's end as it is now.
    const std::int64_t end = index.LastEnd() >= 0 ? index.LastEnd() : FileSizeByName(path);
    listener.ImageComplete(last, end - index.ImageOffsets[last]);
    return index.ImageOffsets[last];
}

}  // namespace veltrane
