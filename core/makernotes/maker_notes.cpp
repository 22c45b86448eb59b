// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/makernotes/maker_notes.h"

#include "core/common/ascii.h"
#include "core/exif/tiff_directory.h"
#include "core/makernotes/maker_tables.h"

namespace veltrane::exif {

bool VersionGreaterThan(std::string_view version, std::string_view than) {
    // char_traits<char> compares as unsigned char, then by length.
    return version.compare(than) > 0;
}

char ModelCharacter(std::string_view model) {
    const std::size_t space = model.find(' ');
    const std::size_t at = space == std::string_view::npos ? 0 : space + 1;
    return at < model.size() ? model[at] : '\0';
}

std::optional<MakerLayout> SelectMakerLayout(const MakerNote& note) {
    const std::string make = UpperAscii(note.MakeText.substr(0, 5));
    // Offsets that count from the TIFF header: stored offset o is note byte o - Offset.
    const std::int64_t fromHeader = -note.Offset;
    // Values outside the note: most makers' are read at o - 1 of the stored section, Olympus's
    // at o + 8.
    constexpr std::int64_t kSectionOffsetMinusOne = -1, kSectionOffsetPlusEight = 8;

    if (make == "NIKON") {
        const bool type3 = VersionGreaterThan(note.VersionText, "0210") ||
                           (note.VersionText.empty() && ModelCharacter(note.ModelText) == 'D' && note.TiffFile);
        if (type3)
            return MakerLayout{"Nikon type 3", NikonType3Table, 18, 10, kSectionOffsetMinusOne, false};
        if (note.Bytes.starts_with("Nikon"))
            return MakerLayout{"Nikon type 1", NikonType1Table, 8, fromHeader, kSectionOffsetMinusOne, false};
        return MakerLayout{"Nikon", NikonType3Table, 0, fromHeader, kSectionOffsetMinusOne, false};
    }
    if (make == "OLYMP")
        return MakerLayout{"Olympus", OlympusTable, 8, fromHeader, kSectionOffsetPlusEight, false};
    if (make == "CASIO") {
        if (note.Bytes.starts_with("QVC"))
            return MakerLayout{"Casio QVC", CasioQvcTable, 6, fromHeader, kSectionOffsetMinusOne, false};
        return MakerLayout{"Casio", CasioTable, 0, fromHeader, kSectionOffsetMinusOne, false};
    }
    if (make == "FUJIF") return MakerLayout{"Fujifilm", FujiTable, 12, 0, kSectionOffsetMinusOne, true};
    if (make == "CANON") return MakerLayout{"Canon", CanonTable, 0, fromHeader, kSectionOffsetMinusOne, false};
    if (make == "SEIKO") return MakerLayout{"Seiko", SeikoTable, 8, fromHeader, kSectionOffsetMinusOne, false};
    if (make == "SANYO") return MakerLayout{"Sanyo", SanyoTable, 8, fromHeader, kSectionOffsetMinusOne, false};
    if (make == "MINOL") return MakerLayout{"Minolta", MinoltaTable, 0, fromHeader, kSectionOffsetMinusOne, false};
    return std::nullopt;
}

bool DecodeMakerNote(const MakerNote& note, TiffDirectory& directory) {
    const std::optional<MakerLayout> layout = SelectMakerLayout(note);
    if (!layout) return false;
    WalkMakerDirectory(note, *layout, directory);
    return true;
}

}  // namespace veltrane::exif
