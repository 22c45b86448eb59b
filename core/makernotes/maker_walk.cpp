// SPDX-License-Identifier: GPL-3.0-or-later
// The maker-note walk: one TIFF-style directory inside the maker-note bytes, every entry
// rendered to a line of the directory's maker-note text and, when the maker table knows the
// tag, stored in its tag list.
#include <algorithm>
#include <exception>
#include <span>
#include <utility>

#include "core/common/ascii.h"
#include "core/common/cp1252.h"
#include "core/exif/exif_error.h"
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

// The table's row of tag, or null. The maker tables list their tags in ascending order, each
// once (checked where they are defined), so a binary search finds it: notes of several hundred
// entries are common.
const TagRow* RowOfTag(std::uint16_t tag, std::span<const TagRow> table) {
    const auto it = std::lower_bound(table.begin(), table.end(), tag,
                                     [](const TagRow& row, std::uint16_t t) { return row.TagNumber < t; });
    return it != table.end() && it->TagNumber == tag ? &*it : nullptr;
}

}  // namespace

// The directory inside the note (E = D + 2 + 12 i, D the layout's directory offset):
//   D      2 bytes   entry count
//   E      2 bytes   tag number
//   E + 2  2 bytes   field type
//   E + 4  4 bytes   item count n
//   E + 8  4 bytes   the value when it takes at most 4 bytes, else its offset o
// The next-directory link after the entries is not read.
void WalkMakerDirectory(const MakerNote& note, const MakerLayout& layout, TiffDirectory& directory) {
    const std::string_view bytes = note.Bytes;
    const std::string_view section = note.Section;
    const ByteReader reader(AsBytes(bytes), layout.LittleEndian ? ByteOrder::LittleEndian : note.FileOrder);
    const auto L = static_cast<std::int64_t>(bytes.size());
    const auto sectionSize = static_cast<std::int64_t>(section.size());
    const std::int64_t D = layout.DirectoryOffset;
    const bool collect = CollectsTagList(directory.Options().Collect);
    const NumberFormat& numbers = directory.Options().Numbers;
    FormatterContext context{numbers, &directory, false};
    // Values may overlap, so the bytes that the entries render and store are not bounded by the
    // data; this bound is far above what any real note takes and keeps a hostile one (thousands
    // of entries pointing at one large block) from copying gigabytes.
    std::int64_t valueBudget = 2 * (L + sectionSize) + 65536;
    // A reader serving name lookups needs no text lines, only the tags it is asked for, so it
    // passes over every other entry at once: notes of a thousand entries that it does not want
    // are common. Sub-fields carry names with blanks that no lookup of that kind asks for.
    const bool lines = directory.Options().OnlyTagNames.empty();

    try {
        if (D < 0 || D > L - 2) throw ExifError(kNoteTooShort);
        const std::int64_t count = reader.U16(D);
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t E = D + 2 + 12 * i;
            if (E > L - 12) throw ExifError(kNoteTooShort);
            const std::uint16_t tag = reader.U16(E);
            const TagRow* row = RowOfTag(tag, layout.Table);
            if (!lines && (row == nullptr || !directory.WantsTagName(row->TagName))) continue;
            const std::uint16_t type = reader.U16(E + 2);
            const std::int64_t n = reader.U32(E + 4);
            const std::int64_t size = n * FieldSize(type);  // at most 8 * (2^32 - 1)

            // Where the value is: in the entry, inside the note, or in the stored EXIF section.
            std::int64_t o = 0;
            std::int64_t start = E + 8;
            if (size > 4) {
                o = reader.U32(E + 8);
                start = o + layout.NoteIndexOfOffsetZero;
            }
            std::string_view value;
            if (start >= 0 && start <= L && size <= L - start) {
                value = bytes.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(size));
            } else {
                const std::int64_t from = std::max<std::int64_t>(o + layout.SectionIndexOfOffsetZero, 0);
                if (from < sectionSize)
                    value = section.substr(static_cast<std::size_t>(from),
                                           static_cast<std::size_t>(std::min(size, sectionSize - from)));
            }

            const std::string_view caption = row != nullptr ? row->Caption : "Unknown";
            if (IsSkipCaption(caption) || !collect) continue;

            valueBudget -= static_cast<std::int64_t>(value.size());
            if (valueBudget < 0) throw ExifError(kNoteValuesTooLarge);

            std::string rendered;
            if (type == 2) {
                rendered = Quoted(value.substr(0, value.find('\0')));
            } else if (type == 7) {
                rendered = Quoted(value);
            } else {
                try {
                    rendered = row != nullptr ? RenderValue(reader.Order(), numbers, value, type, row->ValueMap,
                                                            row->DisplayFormat)
                                              : RenderValue(reader.Order(), numbers, value, type, {}, {});
                } catch (const ExifError&) {
                    rendered = Quoted(value);
                }
            }

            context.SubFieldsWritten = false;
            const std::string display = row != nullptr && row->Formatter != nullptr
                                            ? row->Formatter(rendered, context)
                                            : PrintableText(rendered);
            if (lines && context.SubFieldsWritten) {
                directory.AppendMakerNoteText(display);
                directory.AppendMakerNoteLine(caption, rendered);
            } else if (lines) {
                directory.AppendMakerNoteLine(caption, display);
            }

            if (row == nullptr) continue;
            TagEntry entry = row->ToEntry();
            entry.Origin = TagOrigin::MakerNote;
            entry.Directory = TagDirectory::MakerNotes;
            entry.FieldType = type;
            entry.DisplayText = Cp1252ToUtf8(context.SubFieldsWritten ? rendered : display);
            entry.RawBytes = std::string(value);
            try {
                directory.AppendTag(std::move(entry));
            } catch (const ExifError&) {
                // A tag that cannot be stored is left out; the walk goes on.
            }
        }
    } catch (const std::exception& e) {
        directory.ReportProblem(ReadStatus::MakerNoteError, Cp1252ToUtf8(e.what()));
    }
}

void AddSubFieldTag(TiffDirectory& directory, const std::string& name, const std::string& value,
                    std::uint16_t fieldType) {
    if (!CollectsTagList(directory.Options().Collect)) return;
    if (!directory.WantsTagName(name)) return;
    TagEntry entry;
    entry.Origin = TagOrigin::MakerNote;
    entry.Directory = TagDirectory::MakerNotes;
    entry.FieldType = fieldType;
    entry.TagNumber = kSubFieldTagNumber;
    entry.TagName = name;
    entry.Caption = name;
    entry.DisplayText = Cp1252ToUtf8(value);
    entry.RawBytes = value;
    entry.RawLength = static_cast<std::int32_t>(value.size());
    try {
        directory.AppendTag(std::move(entry));
    } catch (const ExifError&) {
        // Left out, as any tag that cannot be stored.
    }
}

}  // namespace veltrane::exif
