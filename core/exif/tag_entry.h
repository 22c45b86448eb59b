// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TagEntry: the record of one tag, used alike for dictionary rows, maker-table rows, IPTC
// dataset rows and the tags that a directory walk stores. TagNumber 0 means "no tag": such
// records are never stored in a tag list.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/common/cp1252.h"
#include "core/common/number_format.h"

namespace veltrane::exif {

class TiffDirectory;

// What a formatter may use besides the text it formats: the number format of the texts it
// writes and, for the maker-note decoders, the directory that they add sub-field tags to (they
// also set SubFieldsWritten).
struct FormatterContext {
    NumberFormat Numbers{};
    TiffDirectory* Directory = nullptr;
    bool SubFieldsWritten = false;
};

// A Formatter takes the rendered text of a tag and returns the text to show instead. It may
// throw (a text that is not a decimal integer raises a conversion error).
using TagFormatter = std::string (*)(const std::string& text, FormatterContext& context);

// Where a stored tag comes from.
enum class TagOrigin : std::uint8_t {
    Directory,  // a TIFF directory (or an IPTC dataset, or a value derived from them)
    MakerNote   // the maker-note walk: an entry of the note or a decoded sub-field
};

// The directory a stored tag was read from, named in JSON output much as exiftool names its
// groups of family 1: the first directory of the TIFF structure, the EXIF, GPS and interoperability
// directories it points to, the SubIFDs of a raw file, the maker's note, and values computed
// from other tags. (The directory after the first, IFD1 of a thumbnail, is not walked.)
enum class TagDirectory : std::uint8_t { Ifd0, ExifIfd, Gps, Interop, SubIfd, MakerNotes, Composite };

// "IFD0", "ExifIFD", "GPS", "Interop", "SubIFD", "MakerNotes", "Composite".
constexpr std::string_view TagDirectoryName(TagDirectory directory) {
    switch (directory) {
        case TagDirectory::Ifd0: return "IFD0";
        case TagDirectory::ExifIfd: return "ExifIFD";
        case TagDirectory::Gps: return "GPS";
        case TagDirectory::Interop: return "Interop";
        case TagDirectory::SubIfd: return "SubIFD";
        case TagDirectory::MakerNotes: return "MakerNotes";
        case TagDirectory::Composite: return "Composite";
    }
    return "IFD0";
}

struct TagEntry {
    TagOrigin Origin = TagOrigin::Directory;
    TagDirectory Directory = TagDirectory::Ifd0;  // of a stored tag; not set in table rows
    std::uint16_t FieldType = 0;    // TIFF field type of the stored value; 0 in table rows
    std::uint16_t IptcRecord = 0;   // IPTC record number (2 or 8) for datasets
    std::uint16_t TagNumber = 0;
    std::string TagName;
    std::string Caption;
    std::string ValueMap;           // "0:Auto,1:Manual"
    std::string DisplayText;
    std::string RawBytes;
    std::uint32_t ValueOffset = 0;  // TIFF offset of the value (directory entries only)
    std::string DisplayFormat;      // "%5.2f", "%s sec", ...
    std::int32_t RawLength = 0;
    TagFormatter Formatter = nullptr;
};

// A constant table row. Tables are constexpr arrays of these; lookups hand out TagEntry copies.
struct TagRow {
    std::uint16_t TagNumber = 0;
    std::string_view TagName;
    std::string_view Caption;       // empty: completed from TagName where the table says so
    std::string_view ValueMap;
    std::string_view DisplayFormat;
    TagFormatter Formatter = nullptr;
    std::uint16_t IptcRecord = 0;
    std::int32_t RawLength = 0;

    TagEntry ToEntry() const {
        TagEntry e;
        e.TagNumber = TagNumber;
        e.TagName = std::string(TagName);
        e.Caption = std::string(Caption);
        e.ValueMap = std::string(ValueMap);
        e.DisplayFormat = std::string(DisplayFormat);
        e.Formatter = Formatter;
        e.IptcRecord = IptcRecord;
        e.RawLength = RawLength;
        return e;
    }
};

// A table row with only the leading columns given (the rest empty): tables written with it
// stay short and free of missing-initializer warnings.
constexpr TagRow MakeTagRow(std::uint16_t tagNumber, std::string_view tagName,
                            std::string_view caption = {}, std::string_view valueMap = {},
                            std::string_view displayFormat = {}, TagFormatter formatter = nullptr) {
    TagRow row;
    row.TagNumber = tagNumber;
    row.TagName = tagName;
    row.Caption = caption;
    row.ValueMap = valueMap;
    row.DisplayFormat = displayFormat;
    row.Formatter = formatter;
    return row;
}

// True when every name and caption of table is ASCII: they read the same in Windows-1252 and
// UTF-8, so the tags made from the table hand them out as they stand. Every table asserts it.
template <std::size_t N>
constexpr bool NamesAndCaptionsAreAscii(const std::array<TagRow, N>& table) {
    for (const TagRow& row : table)
        if (!IsAsciiText(row.TagName) || !IsAsciiText(row.Caption)) return false;
    return true;
}

}  // namespace veltrane::exif
