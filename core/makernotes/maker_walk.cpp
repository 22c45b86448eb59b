// The maker-note walk of the directory parser: one TIFF-style directory inside the maker-note
// bytes, every entry rendered to a line of MakerNoteText and, when the maker table knows the
// tag, stored in TagList.
#include <algorithm>
#include <exception>
#include <utility>

#include "core/common/ascii.h"
#include "core/exif/exif_error.h"
#include "core/exif/jpeg_sections.h"
#include "core/exif/tag_dictionaries.h"
#include "core/exif/tag_rendering.h"
#include "core/exif/tiff_directory.h"
#include "core/makernotes/maker_decoders.h"
#include "core/makernotes/maker_notes.h"

namespace veltrane::exif {
namespace {

// The message of a directory that runs past the end of the maker-note bytes.
constexpr const char* kNoteTooShort = "Maker-note directory runs past the end of the maker note";
// The message of a note whose values, taken together, would copy far more bytes than the note
// and the EXIF data hold (only possible when many entries point at the same large block).
constexpr const char* kNoteValuesTooLarge = "Maker-note values exceed the size of the data";

bool IsSkipCaption(std::string_view caption) { return EqualIgnoringAsciiCase(caption, "SKIP"); }

std::string Quoted(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out.push_back('"');
    out.append(bytes);
    out.push_back('"');
    return out;
}

// Points the parser's WorkBuffer at other bytes for as long as it lives.
class WorkBufferSwitch {
public:
    WorkBufferSwitch(tEndInd& reader, std::string_view bytes)
        : reader_(reader), saved_(reader.WorkBuffer) {
        reader_.WorkBuffer = bytes;
    }
    ~WorkBufferSwitch() { reader_.WorkBuffer = saved_; }
    WorkBufferSwitch(const WorkBufferSwitch&) = delete;
    WorkBufferSwitch& operator=(const WorkBufferSwitch&) = delete;

private:
    tEndInd& reader_;
    std::string_view saved_;
};

}  // namespace

// The directory inside the note (E = D + 2 + 12 i, 0-based in the note):
//   D      2 bytes   entry count
//   E      2 bytes   tag number
//   E + 2  2 bytes   field type
//   E + 4  4 bytes   item count n
//   E + 8  4 bytes   the value when it takes at most 4 bytes, else its offset o
// The next-directory link after the entries is not read.
void WalkMakerDirectory(TImageInfo& info, std::string_view makerNote, std::span<const TagRow> table,
                        std::int64_t D, std::int64_t B, std::int64_t A) {
    // The numeric reads address the note; the owner's bytes (the EXIF section bytes) are the
    // fallback source of values. The parser's own WorkBuffer comes back when the walk ends,
    // however it ends.
    const std::string_view owner =
        info.OwnerData != nullptr ? info.OwnerData->WorkBuffer : info.WorkBuffer;
    const WorkBufferSwitch readTheNote(info, makerNote);
    const auto L = static_cast<std::int64_t>(makerNote.size());
    const auto ownerSize = static_cast<std::int64_t>(owner.size());
    const bool collect = info.CollectMode == 4 || info.CollectMode == 255;
    FormatterContext context{&info, false};
    // Values may overlap, so the bytes that the entries render and store are not bounded by the
    // data; this bound is far above what any real note takes and keeps a hostile one (thousands
    // of entries pointing at one large block) from copying gigabytes.
    std::int64_t valueBudget = 2 * (L + ownerSize) + 65536;

    try {
        if (D < 0 || D > L - 2) throw ExifError(kNoteTooShort);
        const std::int64_t count = info.ReadUInt16At(D + 1);
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t E = D + 2 + 12 * i;
            if (E > L - 12) throw ExifError(kNoteTooShort);
            const auto tag = static_cast<std::uint16_t>(info.ReadUInt16At(E + 1));
            const auto type = static_cast<std::uint16_t>(info.ReadUInt16At(E + 3));
            const std::int64_t n = info.ReadUInt32At(E + 5);
            const std::int64_t size = n * FieldSize(type);  // at most 8 * (2^32 - 1)

            // Where the value is: in the entry, inside the note, or in the EXIF section bytes.
            std::int64_t o = 0;
            std::int64_t start = E + 8;
            if (size > 4) {
                o = info.ReadUInt32At(E + 9);
                start = o + D - B + 1;
            }
            std::string_view value;
            if (start >= 0 && start <= L && size <= L - start) {
                value = makerNote.substr(static_cast<std::size_t>(start),
                                         static_cast<std::size_t>(size));
            } else {
                const std::int64_t from = std::max<std::int64_t>(A + o - 1, 0);
                if (from < ownerSize)
                    value = owner.substr(static_cast<std::size_t>(from),
                                         static_cast<std::size_t>(std::min(size, ownerSize - from)));
            }

            const int rowIndex = IndexOfTag(tag, table);
            const TagRow* row = rowIndex >= 0 ? &table[static_cast<std::size_t>(rowIndex)] : nullptr;
            const std::string_view caption = row != nullptr ? row->Caption : "Unknown";
            if (IsSkipCaption(caption) || !collect) continue;

            valueBudget -= static_cast<std::int64_t>(value.size());
            if (valueBudget < 0) throw ExifError(kNoteValuesTooLarge);
            // A reader serving name lookups needs no text lines, only the tags it is asked for.
            // Sub-fields carry names with blanks that no lookup of that kind asks for.
            const bool lines = info.OnlyTagNames.empty();
            if (!lines && (row == nullptr || !info.WantsTagName(row->TagName))) continue;

            std::string rendered;
            if (type == 2) {
                rendered = Quoted(value.substr(0, value.find('\0')));
            } else if (type == 7) {
                rendered = Quoted(value);
            } else {
                try {
                    rendered = row != nullptr ? info.RenderValue(value, type, ValueMapOfTag(tag, table),
                                                            row->DisplayFormat)
                                              : info.RenderValue(value, type, {}, {});
                } catch (const ExifError&) {
                    rendered = Quoted(value);
                }
            }

            context.SubFieldsWritten = false;
            const std::string display = row != nullptr && row->Formatter != nullptr
                                            ? row->Formatter(rendered, context)
                                            : PrintableText(rendered);
            if (lines && context.SubFieldsWritten) {
                info.MakerNoteText += display;
                info.MakerNoteText += "\r\n";
                info.MakerNoteText += caption;
                info.MakerNoteText += kInfoSeparator;
                info.MakerNoteText += rendered;
            } else if (lines) {
                info.MakerNoteText += "\r\n";
                info.MakerNoteText += caption;
                info.MakerNoteText += kInfoSeparator;
                info.MakerNoteText += display;
            }

            if (row == nullptr) continue;
            TTagEntry entry = row->ToEntry();
            entry.Origin = 1;
            entry.FieldType = type;
            entry.DisplayText = context.SubFieldsWritten ? rendered : display;
            entry.RawBytes = std::string(value);
            try {
                info.AppendTag(std::move(entry));
            } catch (const ExifError&) {
                // A tag that cannot be stored is left out; the walk goes on.
            }
        }
    } catch (const std::exception& e) {
        if (info.OwnerData != nullptr) info.OwnerData->ErrorText = std::string("Error Detected = ") + e.what();
    }
}

void AddSubFieldTag(TImageInfo& info, const std::string& name, const std::string& value,
                    std::uint16_t fieldType) {
    if (info.CollectMode != 4 && info.CollectMode != 255) return;
    if (!info.WantsTagName(name)) return;
    TTagEntry entry;
    entry.Origin = 1;
    entry.FieldType = fieldType;
    entry.TagNumber = kSubFieldTagNumber;
    entry.TagName = name;
    entry.Caption = name;
    entry.DisplayText = value;
    entry.RawBytes = value;
    entry.RawLength = static_cast<std::int32_t>(value.size());
    try {
        info.AppendTag(std::move(entry));
    } catch (const ExifError&) {
        // Left out, as any tag that cannot be stored.
    }
}

}  // namespace veltrane::exif
