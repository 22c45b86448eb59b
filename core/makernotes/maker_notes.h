#pragma once
// Maker-note decoding: recognises the camera maker from the make text, picks one of ten maker
// tables and a layout, and walks the note as one TIFF-style directory of the directory parser
// (WalkMakerDirectory, maker_walk.cpp). Notes of other makers are left alone. The EXIF reader
// reaches it through DecodeMakerNoteOf, which its parts (core/exif/reader_parts.h) name.
//
// The layouts, as the notes of these makers are written (offsets are 0-based in the note):
//
//   Nikon type 3   "Nikon\0" 02 10 00 00, a TIFF header at byte 10, the directory at 18;
//                  value offsets count from byte 10.
//   Nikon type 1   "Nikon\0" 01 00, the directory at 8; offsets count from the EXIF TIFF header.
//   Nikon (bare)   the directory at 0; offsets count from the EXIF TIFF header.
//   Olympus        "OLYMP\0" 01 00, the directory at 8.        (Seiko, Sanyo: the same shape)
//   Casio QVC      "QVC\0\0\0", the directory at 6.
//   Casio, Canon, Minolta   the directory at 0.
//   Fujifilm       "FUJIFILM", a 4-byte offset (12), the directory at 12; offsets count from
//                  byte 0 of the note, numbers always little-endian.
//
// The byte order of the walk is the file's, except for Fujifilm.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include <string>

#include "core/exif/tag_entry.h"

namespace veltrane::exif {

class TImageInfo;

// The values one maker-note walk uses. For an entry whose value does not fit in it, with o the
// stored offset: the value starts at o + D - B + 1 inside the note (0-based) when it lies
// wholly inside the note, else at A + o - 1 in the owner's buffer (the EXIF section bytes).
struct MakerLayout {
    std::string_view Name;             // "Nikon type 3", "Canon", ... (for tests and tracing)
    std::span<const TagRow> Table;
    std::int64_t D = 0;                // 0-based offset of the directory's entry count
    std::int64_t B = 0;                // offset adjustment
    std::int64_t A = 0;                // fallback base
    bool LittleEndian = false;         // walk little-endian whatever the file's byte order
};

// What the layout choice looks at: the parser's make, model and ExifVersion texts, the note's
// bytes, TiffMode and the note's 1-based position in the parser's buffer.
struct MakerNoteFacts {
    std::string_view MakeText;
    std::string_view ModelText;
    std::string_view VersionText;
    std::string_view MakerNote;
    bool TiffMode = false;
    std::int64_t MakerNoteStart = 0;
};

// The layout for the first of the eight make prefixes ("NIKON", "OLYMP", "CASIO", "FUJIF",
// "CANON", "SEIKO", "SANYO", "MINOL"; only the first five characters of the make count, in any
// letter case) whose further test holds, or nothing for any other make.
std::optional<MakerLayout> SelectMakerLayout(const MakerNoteFacts& facts);

// The ordinal comparison of two short texts: bytes as unsigned values up to the shorter
// length, then the longer text is the greater.
bool VersionGreaterThan(std::string_view version, std::string_view than);

// The character of the model text that follows its first space, or its first character when
// it has none; 0 when there is no such character.
char ModelCharacter(std::string_view model);

// One decoder per maker note, created by the directory walk on tag 0x927C and freed after the
// one call of DecodeMakerNote.
class TmsInfo {
public:
    TmsInfo(bool tiffMode, TImageInfo* target) : TiffMode(tiffMode), TargetInfo(target) {}

    // Walks TargetInfo's MakerNoteBytes with the layout of its maker. True when the make
    // matched one of the eight makers, whatever the walk then found; false (and nothing done)
    // otherwise. The Fujifilm walk runs little-endian and restores TargetInfo's byte order.
    bool DecodeMakerNote();

    bool TiffMode;
    TImageInfo* TargetInfo;  // not owned
};

// The EXIF reader's maker-note part (a MakerNoteDecoder): DecodeMakerNote of a TmsInfo made for
// info, used once.
bool DecodeMakerNoteOf(bool tiffMode, TImageInfo& info);

// Walks one maker directory of makerNote into info with the given table, directory start D,
// offset adjustment B and fallback base A: every entry becomes a line of info.MakerNoteText and,
// when the table knows it, a tag. info's WorkBuffer points at the note during the walk and is
// put back afterwards; an error ends the walk and sets the owner's ErrorText.
void WalkMakerDirectory(TImageInfo& info, std::string_view makerNote, std::span<const TagRow> table,
                        std::int64_t D, std::int64_t B, std::int64_t A);

// Appends a decoded sub-field to info as a tag of its own (when info collects tags and serves
// that name).
void AddSubFieldTag(TImageInfo& info, const std::string& name, const std::string& value,
                    std::uint16_t fieldType);

}  // namespace veltrane::exif
