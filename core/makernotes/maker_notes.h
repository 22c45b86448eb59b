// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Maker-note decoding: recognises the camera maker from the make text, picks one of ten maker
// tables and a layout, and walks the note as one TIFF-style directory (WalkMakerDirectory,
// maker_walk.cpp) into the TiffDirectory that met it. Notes of other makers are left alone. The
// EXIF reader reaches it through DecodeMakerNote, which its parts (core/exif/reader_parts.h)
// name.
//
// The layouts, as the notes of these makers are written (offsets are 0-based in the note):
//
//   Nikon type 3   "Nikon\0" 02 10 00 00, a TIFF header at byte 10, the directory at 18;
//                  value offsets count from byte 10.
//   Nikon type 1   "Nikon\0" 01 00, the directory at 8.
//   Nikon (bare)   the directory at 0.
//   Olympus        "OLYMP\0" 01 00, the directory at 8.        (Seiko, Sanyo: the same shape)
//   Casio QVC      "QVC\0\0\0", the directory at 6.
//   Casio, Canon, Minolta   the directory at 0.
//   Fujifilm       "FUJIFILM", a 4-byte offset (12), the directory at 12; offsets count from
//                  byte 0 of the note, numbers always little-endian.
//
// The value offsets of every other layout are TIFF offsets, counted from the byte-order mark
// of the file's TIFF data. The byte order of the walk is the file's, except for Fujifilm.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/exif/reader_parts.h"
#include "core/exif/tag_entry.h"

namespace veltrane::exif {

class TiffDirectory;

// Where one maker's note keeps its directory and values. For an entry whose value does not fit
// in it, with o the stored offset: the value starts at note byte o + NoteIndexOfOffsetZero when
// it lies wholly inside the note; otherwise it is read from the stored EXIF section
// (MakerNote::Section) at byte o + SectionIndexOfOffsetZero, an index before the section's
// start counting as 0, and cut at the section's end.
struct MakerLayout {
    std::string_view Name;                  // "Nikon type 3", "Canon", ... (for tests and tracing)
    std::span<const TagRow> Table;
    std::int64_t DirectoryOffset = 0;       // note byte of the directory's entry count
    std::int64_t NoteIndexOfOffsetZero = 0;
    std::int64_t SectionIndexOfOffsetZero = -1;
    bool LittleEndian = false;              // walk little-endian whatever the file's byte order
};

// The layout for the first of the eight make prefixes ("NIKON", "OLYMP", "CASIO", "FUJIF",
// "CANON", "SEIKO", "SANYO", "MINOL"; only the first five characters of the make count, in any
// letter case) whose further test holds, or nothing for any other make.
std::optional<MakerLayout> SelectMakerLayout(const MakerNote& note);

// The ordinal comparison of two short texts: bytes as unsigned values up to the shorter
// length, then the longer text is the greater.
bool VersionGreaterThan(std::string_view version, std::string_view than);

// The character of the model text that follows its first space, or its first character when
// it has none; 0 when there is no such character.
char ModelCharacter(std::string_view model);

// The EXIF reader's maker-note part (a MakerNoteDecoder): walks note with the layout of its
// maker into directory. True when the make matched one of the eight makers, whatever the walk
// then found; false (and nothing done) otherwise.
bool DecodeMakerNote(const MakerNote& note, TiffDirectory& directory);

// Walks the one directory of note with layout: every entry becomes a line of the directory's
// maker-note text and, when the layout's table knows it, a tag. An error ends the walk and
// becomes the directory's problem MakerNoteError.
void WalkMakerDirectory(const MakerNote& note, const MakerLayout& layout, TiffDirectory& directory);

// Appends a decoded sub-field (its value as rendered, in Windows-1252) to directory as a tag of
// its own (when it collects tags and serves that name).
void AddSubFieldTag(TiffDirectory& directory, const std::string& name, const std::string& value,
                    std::uint16_t fieldType);

}  // namespace veltrane::exif
