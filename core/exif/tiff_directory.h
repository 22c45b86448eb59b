#pragma once
// TImageInfo: walks the TIFF directory structure that a TimgData found (inside a JPEG APP1
// EXIF section or at the start of a TIFF-structured file) into a list of named tags with
// readable values, plus an info text with one "caption = value" line per entry.
//
// Positions are 1-based positions in WorkBuffer. A TIFF offset x found in the data designates
// position x + base, with base fixed for a walk: 9 inside a JPEG section (two length bytes and
// the six bytes "Exif\0\0" come first), -7 in a TIFF file (whose buffer starts at file offset 8).
//
// Every directory entry is 12 bytes:
//   2 bytes  tag number
//   2 bytes  field type (1 BYTE ... 12 DOUBLE)
//   4 bytes  item count n
//   4 bytes  the value itself when it takes at most 4 bytes, else the offset of the value
// A directory is a 2-byte entry count, the entries, and a 4-byte link to a next directory
// (never followed: directories are reached only through the sub-directory tags).
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/exif/byte_order.h"
#include "core/exif/reader_parts.h"
#include "core/exif/tag_dictionaries.h"
#include "core/exif/tag_entry.h"

namespace veltrane::exif {

class TimgData;

// Diagonal of the 36 x 24 mm film frame, in millimetres.
inline constexpr double FilmDiagonal = 43.26661531;

// Separator of name and value in every info-text line.
inline constexpr std::string_view kInfoSeparator = " = ";

// Defences of the walk against malformed data (none of them is reached by a file that follows
// the TIFF and EXIF standards):
// - directories nest at most this deep (the first directory is depth 1); a deeper
//   sub-directory pointer is not followed, without a message;
inline constexpr int kMaxDirectoryDepth = 16;
// - at most this many directories are walked for one file; further pointers are not followed;
inline constexpr int kMaxDirectories = 256;
// - the tag number 0x927C starts the maker-note decoder at most this often per file; later
//   MakerNote entries are stored like any other tag but not decoded.
inline constexpr int kMaxMakerNoteDecodes = 4;
// - the walk reads at most WorkBuffer.size() / 12 + kEntryAllowance entries in all, and copies
//   at most 2 * WorkBuffer.size() + kRawByteAllowance value bytes in all: as many as the
//   buffer can hold without directories or values overlapping, with room to spare. Going past
//   either bound raises ExifError, which ends the walk as any other error does.
inline constexpr std::int64_t kEntryAllowance = 64;
inline constexpr std::int64_t kRawByteAllowance = 65536;
// - the tag list holds at most this many tags; AppendTag raises ExifError beyond it.
inline constexpr int kMaxTags = 1 << 20;

class TImageInfo : public tEndInd {
public:
    // Completes the dictionary captions (once per process), then starts empty with an empty
    // revisit guard.
    TImageInfo(TimgData* owner, int collectMode);
    virtual ~TImageInfo() = default;
    TImageInfo(const TImageInfo&) = delete;
    TImageInfo& operator=(const TImageInfo&) = delete;

    std::vector<TTagEntry> TagList;  // the TagCount tags, in walk order
    int TagCount = 0;
    int TagCapacity = 0;
    TimgData* OwnerData = nullptr;   // not owned
    std::string VersionText;         // raw bytes of 0x9000 ExifVersion, at most 6
    std::string MakeText;            // display text of 0x010F Make, at most 32 characters
    std::string ModelText;           // display text of 0x0110 Model, at most 40 characters
    std::int32_t PixelHeight = 0;    // last 0x0101 ImageLength / 0xA003 ExifImageLength
    std::int32_t PixelWidth = 0;     // last 0x0100 ImageWidth / 0xA002 ExifImageWidth
    // 255: tag list and info text; 2: info text only; 4: tag list only (no info lines).
    int CollectMode = 255;
    std::string MakerNoteBytes;      // raw value of 0x927C MakerNote
    bool TiffMode = false;
    std::string UserCommentText;
    std::string InfoText;            // lines, each introduced by "\r\n"
    std::string MakerNoteText;       // lines of the maker-note walk, each introduced by "\r\n"
    bool MakerNoteDecoded = false;
    std::int32_t MakerNoteStart = 0; // 1-based position of the MakerNote value in WorkBuffer
    // Called on tag 0x927C (at most kMaxMakerNoteDecodes times); none: notes stay undecoded.
    MakerNoteDecoder DecodeMakerNote = nullptr;

    // Empty: every tag is rendered and stored (the normal reader). Otherwise the reader serves
    // only name lookups of these tags (TagValueByName and the like, letter case ignored): the
    // walk renders and stores just the tags so named, builds no info text and no maker-note
    // lines, and adds no derived tags. It still renders every tag whose formatter may raise
    // (FormatterMayRaise), since that ends a directory early: the tags stored
    // are exactly those, in the same order and with the same texts, that the normal reader
    // stores under these names. The names must outlive the walk (constant data).
    std::span<const std::string_view> OnlyTagNames;
    // True when OnlyTagNames is empty or lists name.
    bool WantsTagName(std::string_view name) const;

    // Directories walked since creation, as (base, start) pairs: the revisit guard.
    std::set<std::pair<std::int64_t, std::int64_t>> VisitedDirectories;

    // Walks the directory at position start (and, depth-first, the sub-directories its tags
    // point to). kind 1: image/EXIF/interoperability/SubIFDs, 2: GPS. size bounds the
    // directory-size test: a table of 2 + 12 x count bytes larger than base + size, or one
    // that does not lie wholly inside WorkBuffer, makes OwnerData's ErrorText
    // "Illegally sized directory" and contributes nothing. May raise ExifError.
    void WalkDirectory(std::int64_t start, std::int64_t base, int kind, std::int64_t size);

    // Adds the computed 35 mm equivalent focal length when the file carries none.
    void DeriveFilmFocalLength();

    // Adds a copy of entry unless its TagNumber is 0; returns TagCount - 1. The list grows in
    // steps of 25 and always keeps one spare slot. Raises ExifError, storing nothing, when it
    // already holds kMaxTags tags.
    int AppendTag(const TTagEntry& entry);
    int AppendTag(TTagEntry&& entry);

    // Index of the first stored tag whose TagName equals name ignoring letter case, or -1.
    virtual int IndexOfTagName(std::string_view name) const;
    // DisplayText of that tag, or "".
    virtual std::string TagValueByName(std::string_view name) const;
    // A copy of that tag, or an empty entry.
    TTagEntry EntryByName(std::string_view name) const;
    // NumericValue of that tag's raw bytes, or 0.
    double NumberByName(std::string_view name) const;
    // NumberByName rounded, halves to even. May raise ExifError (see RoundHalfEven).
    int IntegerByName(std::string_view name) const;

    // The renderers of tag_rendering.h in this object's byte order.
    std::string RenderValue(std::string_view raw, int type, std::string_view map,
                            std::string_view format) const;
    double NumericValue(std::string_view raw, int type) const;

private:
    bool DirectorySeen(std::int64_t start, std::int64_t base) const;
    void FollowSubDirectory(std::int64_t valuePos, std::int64_t base, int kind, std::int64_t size);
    std::string_view ValueSource() const;
    // Room for one more tag, growing the list in steps of 25; false for TagNumber 0.
    bool MakeRoomFor(const TTagEntry& entry);

    int depth_ = 0;
    std::int64_t entriesRead_ = 0;
    std::int64_t rawBytesCopied_ = 0;
    int makerNoteDecodes_ = 0;
};

}  // namespace veltrane::exif
