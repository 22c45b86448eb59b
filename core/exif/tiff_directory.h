// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TiffDirectory: walks the TIFF directory structure that an ExifReader found (inside a JPEG APP1
// EXIF section or at the start of a TIFF-structured file) into a list of named tags with
// readable values, plus an info text with one "caption = value" line per entry.
//
// Offsets are TIFF offsets: offset 0 is the first byte of the byte-order mark ("II" or "MM").
//
//   0   2 bytes  "II" or "MM"
//   2   2 bytes  42
//   4   4 bytes  offset of the first directory
//   ...
//
// Texts are rendered in Windows-1252 (tag_rendering.h) and handed out in UTF-8: the tags' names,
// captions and display texts, the info and maker-note lines, make, model and user comment.
//
// A directory is a 2-byte entry count, the entries, and a 4-byte link to a next directory
// (never followed: directories are reached only through the sub-directory tags). Every entry
// is 12 bytes:
//   2 bytes  tag number
//   2 bytes  field type (1 BYTE ... 12 DOUBLE)
//   4 bytes  item count n
//   4 bytes  the value itself when it takes at most 4 bytes, else the offset of the value
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/exif/byte_reader.h"
#include "core/exif/read_status.h"
#include "core/exif/reader_options.h"
#include "core/exif/reader_parts.h"
#include "core/exif/tag_dictionaries.h"
#include "core/exif/tag_entry.h"

namespace veltrane::exif {

// Diagonal of the 36 x 24 mm film frame, in millimetres.
inline constexpr double FilmDiagonal = 43.26661531;

// Separator of name and value in every info-text line.
inline constexpr std::string_view kInfoSeparator = " = ";

// Bytes read from a TIFF file after its 8-byte header (bytes past the end of the file are zero).
inline constexpr std::int64_t kTiffFileBytesRead = 256000;

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
// - the walk reads at most S / 12 + kEntryAllowance entries in all, and copies at most
//   2 * S + kRawByteAllowance value bytes in all, S being the size of the stored EXIF section:
//   as many as it can hold without directories or values overlapping, with room to spare.
//   Going past either bound raises ExifError, which ends the walk as any other error does.
inline constexpr std::int64_t kEntryAllowance = 64;
inline constexpr std::int64_t kRawByteAllowance = 65536;
// - the tag list holds at most this many tags; AppendTag raises ExifError beyond it.
inline constexpr int kMaxTags = 1 << 20;
// - a directory whose entry table does not lie wholly inside the data contributes nothing and
//   makes the problem IllegallySizedDirectory; in a TIFF file a table may moreover take at
//   most this many bytes.
inline constexpr std::int64_t kTiffFileTableLimit = kTiffFileBytesRead - 7;

// The EXIF data a walk reads.
struct ExifData {
    // The TIFF structure. In a JPEG file it is the APP1 payload after "Exif\0\0"; of a TIFF file
    // the reader holds the bytes after the 8-byte header, so there its first offset is 8.
    ByteReader Tiff;
    // The EXIF section as stored: in a JPEG file the whole APP1 section (its two length bytes,
    // "Exif\0\0", then the TIFF data), in a TIFF file the bytes held. The walk's budgets are
    // proportional to its size, and some maker notes' values are read from it.
    std::string_view Section;
    bool TiffFile = false;
};

struct WantedRows;

class TiffDirectory {
public:
    // Starts empty, with an empty revisit guard. decodeMakerNote is called on tag 0x927C (at most kMaxMakerNoteDecodes
    // times); without one, notes are stored but stay undecoded.
    explicit TiffDirectory(ExifData data = {}, ReaderOptions options = {},
                           MakerNoteDecoder decodeMakerNote = nullptr);
    TiffDirectory(const TiffDirectory&) = delete;
    TiffDirectory& operator=(const TiffDirectory&) = delete;

    // Walks the directory at offset (and, depth-first, the sub-directories its tags point to)
    // with the dictionary of kind; its tags are stored as read from directory (the EXIF, GPS,
    // interoperability and SubIFDs directories are named by the tags that point to them). A
    // directory whose entry table does not fit (see
    // kTiffFileTableLimit) contributes nothing and makes the problem IllegallySizedDirectory.
    // May raise ExifError.
    void Walk(std::int64_t offset, DirectoryKind kind, TagDirectory directory = TagDirectory::Ifd0);

    // Adds the computed 35 mm equivalent focal length when the file carries none.
    void DeriveFilmFocalLength();

    // ---- What the walk found.
    const std::vector<TagEntry>& Tags() const { return tags_; }  // in walk order
    int TagCount() const { return static_cast<int>(tags_.size()); }
    // The capacity the list has grown to in steps of 25, keeping one spare slot.
    int TagCapacity() const { return tagCapacity_; }
    const std::string& InfoText() const { return infoText_; }            // lines, each after "\r\n"
    const std::string& MakerNoteText() const { return makerNoteText_; }  // the same, of the note
    const std::string& MakeText() const { return makeText_; }    // 0x010F Make, at most 32 characters
    const std::string& ModelText() const { return modelText_; }  // 0x0110 Model, at most 40 characters
    const std::string& VersionText() const { return versionText_; }  // raw bytes of 0x9000, at most 6
    const std::string& UserCommentText() const { return userCommentText_; }
    std::int32_t PixelWidth() const { return pixelWidth_; }    // last 0x0100 or 0xA002
    std::int32_t PixelHeight() const { return pixelHeight_; }  // last 0x0101 or 0xA003
    const std::string& MakerNoteBytes() const { return makerNoteBytes_; }  // raw value of 0x927C
    std::int64_t MakerNoteOffset() const { return makerNoteOffset_; }      // its TIFF offset
    bool MakerNoteDecoded() const { return makerNoteDecoded_; }
    // The offsets of the directories walked: the revisit guard.
    const std::set<std::int64_t>& VisitedDirectories() const { return visited_; }
    // The last problem met (IllegallySizedDirectory or MakerNoteError), with its detail.
    std::optional<ReadStatus> Problem() const { return problem_; }
    const std::string& ProblemDetail() const { return problemDetail_; }

    const ExifData& Data() const { return data_; }
    ByteOrder Order() const { return data_.Tiff.Order(); }
    bool TiffFile() const { return data_.TiffFile; }
    const ReaderOptions& Options() const { return options_; }
    // True when the options' OnlyTagNames is empty or lists name.
    bool WantsTagName(std::string_view name) const;
    // The same for a row of the tag dictionaries (answered from a table made once per list).
    bool WantsRow(const TagRow& row) const;

    // ---- Lookups.
    // Index of the first stored tag whose TagName equals name ignoring letter case, or -1.
    int IndexOfTagName(std::string_view name) const;
    // DisplayText of that tag, or "".
    std::string TagValueByName(std::string_view name) const;
    // A copy of that tag, or an empty entry.
    TagEntry EntryByName(std::string_view name) const;
    // NumericValue of that tag's raw bytes, or 0.
    double NumberByName(std::string_view name) const;
    // NumberByName rounded, halves to even. May raise ExifError (see RoundHalfEven).
    int IntegerByName(std::string_view name) const;

    // ---- What the maker-note part adds.
    // Adds a copy of entry (its texts in UTF-8) unless its TagNumber is 0; returns
    // TagCount() - 1. Raises ExifError, storing nothing, when it already holds kMaxTags tags.
    int AppendTag(const TagEntry& entry);
    int AppendTag(TagEntry&& entry);
    // Appends rendered text (Windows-1252) to the maker-note text: as it is, or as a line
    // "\r\n" caption " = " text.
    void AppendMakerNoteText(std::string_view text);
    void AppendMakerNoteLine(std::string_view caption, std::string_view text);
    // Records a problem (its detail in UTF-8); the reader's status shows the last one when its
    // load fails.
    void ReportProblem(ReadStatus status, std::string detail = {});

private:
    void FollowSubDirectory(std::int64_t pointerOffset, DirectoryKind kind, TagDirectory directory);
    void AppendInfoLine(std::string_view caption, std::string_view text);
    void DecodeMakerNote();
    // Room for one more tag, growing the capacity in steps of 25; false for TagNumber 0.
    bool MakeRoomFor(const TagEntry& entry);

    ExifData data_;
    ReaderOptions options_;
    MakerNoteDecoder decodeMakerNote_ = nullptr;

    std::vector<TagEntry> tags_;
    int tagCapacity_ = 0;
    std::string infoText_;
    std::string makerNoteText_;
    std::string makeText_, modelText_, versionText_, userCommentText_;
    std::int32_t pixelWidth_ = 0, pixelHeight_ = 0;
    std::string makerNoteBytes_;
    std::int64_t makerNoteOffset_ = 0;
    bool makerNoteDecoded_ = false;
    std::set<std::int64_t> visited_;
    mutable const WantedRows* wantedRows_ = nullptr;  // for WantsRow, made on first use
    std::optional<ReadStatus> problem_;
    std::string problemDetail_;

    int depth_ = 0;
    std::int64_t entriesRead_ = 0;
    std::int64_t rawBytesCopied_ = 0;
    int makerNoteDecodes_ = 0;
};

}  // namespace veltrane::exif
