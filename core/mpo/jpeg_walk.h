// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The structure of a JPEG image (ITU T.81, Annex B), walked from its start-of-image marker to
// its end-of-image marker without decoding anything:
//
//   FF D8                                start of image (SOI)
//   FF [FF...] mm LL LL <LL-2 bytes>     marker segments: APPn, DQT, SOFn, DHT, DRI, COM, ...
//                                        (any number of FF fill bytes may precede a marker)
//   FF DA LL LL <header>                 start of scan (SOS), then the entropy-coded data, in
//                                        which FF 00 is a stuffed data byte FF, FF D0..D7 are
//                                        restart markers and FF FF a fill byte
//   [DHT, DQT, ... SOS <data>]...        further scans of progressive or multi-scan images
//   FF D9                                end of image (EOI)
//
// The walk reports every marker segment with its offset and length, the bytes between header
// segments that belong to no segment (stray bytes, as a segment whose declared length is too
// short leaves behind it), where the image ends, and whether it is complete. It looks at the
// entropy-coded data in chunks of ByteSource::kMaxView bytes and at header segments one by one,
// so memory stays bounded whatever the image's size.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/mpo/byte_source.h"

namespace veltrane {

// What an application segment holds, from the first bytes of its payload.
enum class SegmentKind : std::uint8_t {
    Other,
    Jfif,  // APP0 "JFIF\0"
    Exif,  // APP1 "Exif\0"
    Xmp,   // APP1 "http://ns.adobe.com/xap/1.0/\0"
    Mpf,   // APP2 "MPF\0": an MPF index or attribute segment
};

// The payload's start of an APP1 segment that holds XMP (its terminating NUL included).
inline constexpr std::string_view kXmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};

inline constexpr std::uint8_t kMarkerSoi = 0xD8, kMarkerEoi = 0xD9, kMarkerSos = 0xDA,
                              kMarkerDqt = 0xDB, kMarkerApp0 = 0xE0, kMarkerApp1 = 0xE1,
                              kMarkerApp2 = 0xE2;

struct JpegSegment {
    std::uint8_t marker = 0;       // the byte after FF (E1 for APP1, DB for DQT, ...)
    SegmentKind kind = SegmentKind::Other;
    std::uint8_t quantTables = 0;  // DQT: bit n set for each table n it defines
    std::int64_t offset = 0;       // offset of the FF directly before the marker byte
    std::uint32_t length = 0;      // the length field (counting itself); 0 for SOI, EOI, RSTn
    std::uint32_t fillBytes = 0;   // FF fill bytes directly before offset, which go with it
    std::int64_t End() const { return offset + 2 + length; }
};

// A run of bytes: [offset, offset + length).
struct ByteRun {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::int64_t End() const { return offset + length; }
};

struct JpegImageWalk {
    std::int64_t start = 0;
    // Just past FF D9 when the image is complete; otherwise where the walk stopped (at a new
    // image's FF D8, at an unusable marker, or at the limit).
    std::int64_t end = 0;
    bool complete = false;  // SOI, a frame header, at least one scan and EOI, all well formed
    bool reachedScan = false;
    std::string problem;    // why the image is not complete, e.g. "the data ends before EOI"

    // SOI, every marker segment before the first SOS, each SOS and the segments between scans,
    // and EOI, in file order. Restart markers and fill bytes are not listed.
    std::vector<JpegSegment> segments;
    std::size_t headerSegments = 0;  // how many of them come before the first SOS
    std::vector<ByteRun> strayRuns;  // between header segments, in file order
    std::int64_t strayBytes = 0;     // their total

    std::uint8_t frameMarker = 0;    // C0..CF of the frame header (SOFn), 0 before one is met
    std::uint16_t width = 0, height = 0;
    std::uint8_t quantTablesDefined = 0;  // bit n: a DQT segment defines table n
    // Bit n: a scan holds a component of table n that no DQT segment before it defines.
    // Decoders refuse those: a component's table is taken when its first scan starts.
    std::uint8_t quantTablesMissing = 0;

    std::uint8_t MissingQuantTables() const { return quantTablesMissing; }
};

enum class WalkScope {
    WholeImage,  // through the entropy-coded data to EOI
    Header,      // up to the first SOS (reachedScan tells whether it was met)
};

// At most this many segments are listed; an image with more is not complete.
inline constexpr std::size_t kMaxWalkSegments = 16384;

// Told how far a whole-image walk has got while it goes through the entropy-coded data, so that
// a writer can copy each block of the image right after the walk has looked at it, while the
// block is still at hand in the source. Passed comes first once the header and the first scan
// header have been walked, then after each chunk: every segment and stray run that starts
// before upTo is listed in walk by then, and with its fill bytes (upTo never lies just after
// an FF byte).
class WalkProgress {
public:
    virtual ~WalkProgress() = default;
    virtual void Passed(const JpegImageWalk& walk, std::int64_t upTo) = 0;
};

// Walks the image that starts at start, looking at no byte at or past limit (clamped to the
// source's size). An image that does not begin FF D8 is not complete. Raises InOutError when a
// file cannot be read, and lets through what progress raises.
JpegImageWalk WalkJpegImage(ByteSource& source, std::int64_t start, std::int64_t limit,
                            WalkScope scope = WalkScope::WholeImage, WalkProgress* progress = nullptr);

// The offset of the first FF D8 FF at or after from that ends before limit, or -1.
std::int64_t FindJpegStart(ByteSource& source, std::int64_t from, std::int64_t limit);

// The whole segment (FF, marker, length and payload) as bytes.
std::vector<std::uint8_t> ReadSegmentBytes(ByteSource& source, const JpegSegment& segment);

// "table 0", "tables 0 and 1", "tables 0, 1 and 2" for a bit set of quantization tables.
std::string QuantTablesText(std::uint8_t tables);

}  // namespace veltrane
