#include "core/makernotes/maker_notes.h"

#include "core/common/ascii.h"
#include "core/exif/tiff_directory.h"
#include "core/makernotes/maker_tables.h"

namespace veltrane::exif {
namespace {

// Restores a parser's byte order when the walk ends, however it ends.
class ByteOrderGuard {
public:
    explicit ByteOrderGuard(TImageInfo& info) : info_(info), saved_(info.BigEndian) {}
    ~ByteOrderGuard() { info_.BigEndian = saved_; }
    ByteOrderGuard(const ByteOrderGuard&) = delete;
    ByteOrderGuard& operator=(const ByteOrderGuard&) = delete;

private:
    TImageInfo& info_;
    bool saved_;
};

}  // namespace

bool VersionGreaterThan(std::string_view version, std::string_view than) {
    // char_traits<char> compares as unsigned char, then by length.
    return version.compare(than) > 0;
}

char ModelCharacter(std::string_view model) {
    const std::size_t space = model.find(' ');
    const std::size_t at = space == std::string_view::npos ? 0 : space + 1;
    return at < model.size() ? model[at] : '\0';
}

std::optional<MakerLayout> SelectMakerLayout(const MakerNoteFacts& facts) {
    const std::string make = UpperAscii(facts.MakeText.substr(0, 5));
    const std::string_view note = facts.MakerNote;
    // Offsets that count from the TIFF header: in a JPEG file it stands at byte 8 of the EXIF
    // section bytes; a TIFF file's buffer begins 8 bytes after it, hence the 16 in TIFF mode.
    const std::int64_t m = facts.MakerNoteStart + (facts.TiffMode ? 16 : 0);
    const std::int64_t atEight = m, atSix = m - 2, atZero = m - 8;

    if (make == "NIKON") {
        const bool type3 = VersionGreaterThan(facts.VersionText, "0210") ||
                           (facts.VersionText.empty() && ModelCharacter(facts.ModelText) == 'D' &&
                            facts.TiffMode);
        if (type3) return MakerLayout{"Nikon type 3", NikonType3Table, 18, 9, 0, false};
        if (note.starts_with("Nikon"))
            return MakerLayout{"Nikon type 1", NikonType1Table, 8, atEight, 0, false};
        return MakerLayout{"Nikon", NikonType3Table, 0, atZero, 0, false};
    }
    if (make == "OLYMP") return MakerLayout{"Olympus", OlympusTable, 8, atEight, 9, false};
    if (make == "CASIO") {
        if (note.starts_with("QVC"))
            return MakerLayout{"Casio QVC", CasioQvcTable, 6, atSix, 0, false};
        return MakerLayout{"Casio", CasioTable, 0, atZero, 0, false};
    }
    if (make == "FUJIF") return MakerLayout{"Fujifilm", FujiTable, 12, 13, 0, true};
    if (make == "CANON") return MakerLayout{"Canon", CanonTable, 0, atZero, 0, false};
    if (make == "SEIKO") return MakerLayout{"Seiko", SeikoTable, 8, atEight, 0, false};
    if (make == "SANYO") return MakerLayout{"Sanyo", SanyoTable, 8, atEight, 0, false};
    if (make == "MINOL") return MakerLayout{"Minolta", MinoltaTable, 0, atZero, 0, false};
    return std::nullopt;
}

bool TmsInfo::DecodeMakerNote() {
    if (TargetInfo == nullptr) return false;
    TImageInfo& info = *TargetInfo;
    const std::optional<MakerLayout> layout = SelectMakerLayout(
        {info.MakeText, info.ModelText, info.VersionText, info.MakerNoteBytes, TiffMode,
         info.MakerNoteStart});
    if (!layout) return false;

    const ByteOrderGuard restoreByteOrder(info);
    if (layout->LittleEndian) info.BigEndian = false;
    WalkMakerDirectory(info, info.MakerNoteBytes, layout->Table, layout->D, layout->B, layout->A);
    return true;
}

bool DecodeMakerNoteOf(bool tiffMode, TImageInfo& info) {
    TmsInfo decoder(tiffMode, &info);
    return decoder.DecodeMakerNote();
}

}  // namespace veltrane::exif
