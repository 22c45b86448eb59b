// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mpo/jpeg_walk.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/images/scanner.h"

namespace veltrane {
namespace {

bool IsStandalone(int m) { return m == 0x01 || (m >= 0xD0 && m <= 0xD7); }

// SOF0..SOF15 but DHT (C4), the reserved JPG (C8) and DAC (CC).
bool IsFrameMarker(int m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// Lossless frames use no quantization tables.
bool IsLosslessFrame(int m) { return m == 0xC3 || m == 0xC7 || m == 0xCB || m == 0xCF; }

// Markers followed by a length: SOFn, DHT, DAC, SOS, DQT, DNL, DRI, DHP, EXP, APPn, COM.
bool HasLength(int m) {
    return (m >= 0xC0 && m <= 0xCF && m != 0xC8) || (m >= 0xDA && m <= 0xDF) || (m >= 0xE0 && m <= 0xEF) ||
           m == 0xFE;
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view text) {
    return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

class Walker {
public:
    Walker(ByteSource& source, std::int64_t start, std::int64_t limit, JpegImageWalk& walk, WalkProgress* progress)
        : source_(source), limit_(std::min(limit, source.Size())), walk_(walk), progress_(progress) {
        walk_.start = start;
        walk_.end = start;
    }

    void Run(WalkScope scope) {
        const std::int64_t start = walk_.start;
        if (At(start) != 0xFF || At(start + 1) != kMarkerSoi) {
            Stop(start, "it does not begin with a JPEG start-of-image marker (FF D8)");
            return;
        }
        walk_.segments.push_back({kMarkerSoi, SegmentKind::Other, 0, start, 0, 0});
        regionStart_ = start + 2;
        std::int64_t p = start + 2;
        if (!WalkHeader(p)) return;
        if (scope == WalkScope::Header) {
            walk_.end = p;
            return;
        }
        WalkEntropyCodedData(p);
    }

private:
    // The byte at off, or -1 at or past the limit.
    int At(std::int64_t off) {
        if (off < 0 || off >= limit_) return -1;
        const auto v = source_.View(off, 1);
        return v.empty() ? -1 : v[0];
    }

    int U16(std::int64_t off) {
        const int hi = At(off), lo = At(off + 1);
        return hi < 0 || lo < 0 ? -1 : (hi << 8) | lo;
    }

    // The bytes from off on that are at hand, cut at the limit.
    std::span<const std::uint8_t> Chunk(std::int64_t off) {
        if (off >= limit_) return {};
        auto c = source_.Chunk(off);
        return c.first(static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(c.size()), limit_ - off)));
    }

    bool Stop(std::int64_t end, std::string problem) {
        walk_.end = end;
        walk_.problem = std::move(problem);
        return false;
    }

    // The header: from after SOI to the first SOS (p is then the first byte of its entropy-coded
    // data). False when the walk ended there.
    bool WalkHeader(std::int64_t& p) {
        for (;;) {
            const int c = At(p);
            if (c < 0) return Stop(limit_, "the data ends before the first scan");
            if (c != 0xFF) {
                if (!SkipStrayBytes(p)) return false;
                continue;
            }
            const std::int64_t q = SkipFillBytes(p + 1);
            const int m = At(q);
            if (m < 0) return Stop(limit_, "the data ends before the first scan");
            const std::int64_t ff = q - 1;
            fill_ = ff - p;
            if (m == kMarkerSoi) return Stop(ff, "a new image starts before this one's first scan");
            if (m == kMarkerEoi) {
                walk_.segments.push_back({kMarkerEoi, SegmentKind::Other, 0, ff, 0, 0});
                return Stop(q + 1, "the image ends before its first scan");
            }
            if (IsStandalone(m)) {
                if (!Record({static_cast<std::uint8_t>(m), SegmentKind::Other, 0, ff, 0, 0})) return false;
                p = q + 1;
                continue;
            }
            if (!HasLength(m)) {  // FF 00 or a reserved marker: not the start of a segment
                if (!SkipStrayBytes(p)) return false;
                continue;
            }
            if (!ReadSegment(ff, m)) return false;
            p = walk_.segments.back().End();
            if (m == kMarkerSos) {
                walk_.headerSegments = walk_.segments.size() - 1;
                walk_.reachedScan = true;
                if (walk_.frameMarker == 0) return Stop(ff, "a scan comes before the frame header");
                return true;
            }
        }
    }

    // From the first SOS's data to EOI: the data is searched for FF; FF 00, restart markers and
    // fill bytes belong to it, any other marker is a segment between scans, or the end.
    void WalkEntropyCodedData(std::int64_t p) {
        if (progress_ != nullptr) progress_->Passed(walk_, p);
        for (;;) {
            const auto chunk = Chunk(p);
            if (chunk.empty()) {
                Stop(limit_, "the data ends before EOI");
                return;
            }
            // Data bytes, stuffed FF 00, restart markers and fill bytes are passed over inside
            // the chunk; a marker ends the pass.
            const std::uint8_t* const base = chunk.data();
            const std::size_t n = chunk.size();
            std::size_t k = 0;
            int m = -1;
            for (;;) {
                const auto* hit = static_cast<const std::uint8_t*>(std::memchr(base + k, 0xFF, n - k));
                if (hit == nullptr) {
                    k = n;
                    break;
                }
                k = static_cast<std::size_t>(hit - base);
                m = k + 1 < n ? base[k + 1] : At(p + static_cast<std::int64_t>(k) + 1);
                if (m == 0x00 || IsStandalone(m)) k += 2;
                else if (m == 0xFF) k += 1;
                else break;
                if (k >= n) break;
            }
            if (k >= n) {
                if (progress_ != nullptr) {
                    // FF bytes at the chunk's end may be fill bytes of a marker in the next one.
                    std::size_t safe = std::min(k, n);
                    while (safe > 0 && base[safe - 1] == 0xFF) --safe;
                    progress_->Passed(walk_, p + static_cast<std::int64_t>(safe));
                }
                p += static_cast<std::int64_t>(k);
                continue;
            }
            const std::int64_t ff = p + static_cast<std::int64_t>(k);
            if (m < 0) {
                Stop(limit_, "the data ends before EOI");
                return;
            }
            fill_ = FillBytesBefore(ff);
            if (m == kMarkerEoi) {
                if (!Record({kMarkerEoi, SegmentKind::Other, 0, ff, 0, 0})) return;
                walk_.end = ff + 2;
                walk_.complete = true;
                return;
            } else if (m == kMarkerSoi) {
                Stop(ff, "a new image starts inside this one's entropy-coded data");
                return;
            } else if (IsFrameMarker(m)) {
                Stop(ff, "a second frame header follows the first scan");
                return;
            } else if (HasLength(m)) {
                if (!ReadSegment(ff, m)) return;
                p = walk_.segments.back().End();
            } else {
                Stop(ff, "an unknown marker lies in the entropy-coded data");
                return;
            }
        }
    }

    // Records a segment; the fill bytes counted last go with it.
    bool Record(JpegSegment segment) {
        if (walk_.segments.size() >= kMaxWalkSegments)
            return Stop(segment.offset, "it has more than " + std::to_string(kMaxWalkSegments) + " marker segments");
        segment.fillBytes = static_cast<std::uint32_t>(std::min<std::int64_t>(fill_, 0xFFFFFFFF));
        fill_ = 0;
        walk_.segments.push_back(segment);
        if (segment.length > 0) regionStart_ = segment.End();
        return true;
    }

    // In entropy-coded data an FF is followed by 00, a restart marker or a marker: FF bytes
    // right before the FF of a marker are fill bytes (but not the last bytes of a segment).
    std::int64_t FillBytesBefore(std::int64_t ff) {
        std::int64_t q = ff;
        while (q > regionStart_ && At(q - 1) == 0xFF) --q;
        return ff - q;
    }

    // Reads the segment whose FF lies at ff: its length, and what the walk needs of its payload.
    bool ReadSegment(std::int64_t ff, int m) {
        const int length = U16(ff + 2);
        if (length < 2 || length > limit_ - ff - 2) return Stop(ff, "a marker segment runs past the end of the data");
        JpegSegment s{static_cast<std::uint8_t>(m), SegmentKind::Other, 0, ff, static_cast<std::uint32_t>(length), 0};
        const std::int64_t payloadAt = ff + 4;
        const auto payloadLength = static_cast<std::size_t>(length - 2);
        if (m >= kMarkerApp0 && m <= kMarkerApp2) {
            const auto head = source_.View(payloadAt, std::min<std::size_t>(payloadLength, 29));
            if (m == kMarkerApp0 && StartsWith(head, std::string_view("JFIF\0", 5))) s.kind = SegmentKind::Jfif;
            if (m == kMarkerApp1 && StartsWith(head, std::string_view("Exif\0", 5))) s.kind = SegmentKind::Exif;
            if (m == kMarkerApp1 && StartsWith(head, kXmpSignature))
                s.kind = SegmentKind::Xmp;
            if (m == kMarkerApp2 && StartsWith(head, std::string_view("MPF\0", 4))) s.kind = SegmentKind::Mpf;
        } else if (m == kMarkerDqt) {
            // Tables one after another: Pq (precision, 0: 8-bit, 1: 16-bit) << 4 | Tq (0..3),
            // then 64 values of 1 or 2 bytes.
            const auto payload = source_.View(payloadAt, payloadLength);
            for (std::size_t i = 0; i < payload.size();) {
                const int pq = payload[i] >> 4, tq = payload[i] & 15;
                const std::size_t size = 1 + (pq == 0 ? 64 : 128);
                if (pq > 1 || tq > 3 || size > payload.size() - i) break;
                s.quantTables = static_cast<std::uint8_t>(s.quantTables | (1 << tq));
                i += size;
            }
            walk_.quantTablesDefined = static_cast<std::uint8_t>(walk_.quantTablesDefined | s.quantTables);
        } else if (IsFrameMarker(m) && walk_.frameMarker == 0) {
            // P, Y (2), X (2), Nf, then per component: Ci, Hi << 4 | Vi, Tqi.
            const auto payload = source_.View(payloadAt, payloadLength);
            if (payload.size() < 6 || payload[5] == 0 || payload.size() < 6 + std::size_t{payload[5]} * 3)
                return Stop(ff, "its frame header is malformed");
            walk_.frameMarker = static_cast<std::uint8_t>(m);
            walk_.height = static_cast<std::uint16_t>((payload[1] << 8) | payload[2]);
            walk_.width = static_cast<std::uint16_t>((payload[3] << 8) | payload[4]);
            for (std::size_t c = 0; c < payload[5]; ++c) {
                const int tq = payload[6 + c * 3 + 2];
                if (tq > 3) return Stop(ff, "its frame header is malformed");
                // Lossless frames use no quantization tables.
                if (!IsLosslessFrame(m)) componentTables_[payload[6 + c * 3]] = static_cast<std::uint8_t>(1 << tq);
            }
        } else if (m == kMarkerSos) {
            // Ns, then per component its selector Cs and its Huffman tables, then Ss, Se, Ah|Al.
            const auto payload = source_.View(payloadAt, payloadLength);
            const int ns = payload.empty() ? -1 : payload[0];
            if (ns < 1 || ns > 4 || length != 6 + 2 * ns) return Stop(ff, "a scan header is malformed");
            for (int c = 0; c < ns; ++c) {
                const std::uint8_t table = componentTables_[payload[1 + 2 * c]];
                if ((table & walk_.quantTablesDefined) == 0)
                    walk_.quantTablesMissing = static_cast<std::uint8_t>(walk_.quantTablesMissing | table);
            }
        }
        return Record(s);
    }

    // Skips FF fill bytes from q on; returns the offset of the first other byte (or the limit).
    std::int64_t SkipFillBytes(std::int64_t q) {
        for (;;) {
            const auto chunk = Chunk(q);
            if (chunk.empty()) return q;
            const auto other = std::find_if(chunk.begin(), chunk.end(), [](std::uint8_t b) { return b != 0xFF; });
            q += other - chunk.begin();
            if (other != chunk.end()) return q;
        }
    }

    // Whether a marker at q is one that a real header could continue with: a segment of
    // plausible length followed by another marker, a well-formed scan header, or a new image.
    bool PlausibleMarkerAt(std::int64_t q) {
        const int m = At(q + 1);
        if (m == kMarkerSoi) return At(q + 2) == 0xFF;
        if (m < 0 || !HasLength(m)) return false;
        const int length = U16(q + 2);
        if (length < 2 || length > limit_ - q - 2) return false;
        if (m == kMarkerSos) {
            const int ns = At(q + 4);
            return ns >= 1 && ns <= 4 && length == 6 + 2 * ns;
        }
        return At(q + 2 + length) == 0xFF;
    }

    // Bytes at p that start no segment: finds the next plausible marker and records the bytes
    // before it as a stray run. False when none follows before the limit.
    bool SkipStrayBytes(std::int64_t& p) {
        std::int64_t q = p + 1;
        for (;;) {
            const auto chunk = Chunk(q);
            if (chunk.empty()) {
                AddStrayRun(p, limit_ - p);
                return Stop(limit_, "stray bytes in its header run to the end of the data");
            }
            const auto* hit = static_cast<const std::uint8_t*>(std::memchr(chunk.data(), 0xFF, chunk.size()));
            if (hit == nullptr) {
                q += static_cast<std::int64_t>(chunk.size());
                continue;
            }
            q += hit - chunk.data();
            if (PlausibleMarkerAt(q)) break;
            ++q;
        }
        AddStrayRun(p, q - p);
        p = q;
        return true;
    }

    void AddStrayRun(std::int64_t offset, std::int64_t length) {
        if (!walk_.strayRuns.empty() && walk_.strayRuns.back().End() == offset)
            walk_.strayRuns.back().length += length;
        else
            walk_.strayRuns.push_back({offset, length});
        walk_.strayBytes += length;
    }

    ByteSource& source_;
    std::int64_t limit_;
    JpegImageWalk& walk_;
    WalkProgress* progress_;
    std::array<std::uint8_t, 256> componentTables_{};  // by component id: its table's bit
    std::int64_t fill_ = 0;         // fill bytes before the marker about to be recorded
    std::int64_t regionStart_ = 0;  // the end of the last segment recorded
};

}  // namespace

JpegImageWalk WalkJpegImage(ByteSource& source, std::int64_t start, std::int64_t limit, WalkScope scope,
                            WalkProgress* progress) {
    JpegImageWalk walk;
    Walker(source, start, limit, walk, progress).Run(scope);
    return walk;
}

std::int64_t FindJpegStart(ByteSource& source, std::int64_t from, std::int64_t limit) {
    static constexpr std::array<std::uint8_t, 3> kStart = {0xFF, kMarkerSoi, 0xFF};
    limit = std::min(limit, source.Size());
    SignatureSearch search(kStart);
    std::int64_t found = -1;
    for (std::int64_t p = std::max<std::int64_t>(from, 0); p < limit && found < 0;) {
        auto chunk = source.Chunk(p);
        if (chunk.empty()) break;
        chunk = chunk.first(static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), limit - p)));
        search.Feed(chunk, p, [&](std::int64_t at) {
            found = at;
            return false;
        });
        p += static_cast<std::int64_t>(chunk.size());
    }
    return found;
}

std::vector<std::uint8_t> ReadSegmentBytes(ByteSource& source, const JpegSegment& segment) {
    const std::size_t size = 2 + segment.length;
    const auto view = source.View(segment.offset, size);
    return std::vector<std::uint8_t>(view.begin(), view.end());
}

std::string QuantTablesText(std::uint8_t tables) {
    std::vector<std::string> numbers;
    for (int t = 0; t < 8; ++t)
        if (tables & (1 << t)) numbers.push_back(std::to_string(t));
    std::string text = numbers.size() == 1 ? "table " : "tables ";
    for (std::size_t i = 0; i < numbers.size(); ++i)
        text += (i == 0 ? "" : i + 1 == numbers.size() ? " and " : ", ") + numbers[i];
    return text;
}

}  // namespace veltrane
