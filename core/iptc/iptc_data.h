// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// IptcRecords: the IPTC datasets of a JPEG file's APP13 ("Photoshop 3.0") section, kept as named
// TagEntry records that can be looked up, set, merged and removed by name. Values are UTF-8:
// those read from a file are Windows-1252 there and converted when they are read.
//
// An IPTC dataset inside the APP13 data:
//
//   1 byte   0x1C tag marker
//   1 byte   record number (2 application record, 8 pre-object data)
//   1 byte   dataset number
//   2 bytes  value length, big-endian
//   n bytes  value
//
// Every name comparison here ignores ASCII letter case.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/exif/reader_parts.h"
#include "core/exif/tag_entry.h"

namespace veltrane::exif {

// The known datasets. Row order matters: name lookups take the first row that matches, so
// "SKIP" stands first. RawLength is the dataset's size limit; nothing compares a value with it.
inline constexpr std::array<TagRow, 49> IptcDatasetTable{{
    {0, "SKIP", "Record Version", {}, {}, nullptr, 2, 64},
    {3, "ObjectType", "Object Type Ref", {}, {}, nullptr, 2, 67},
    {4, "ObjectAttr", "Object Attribute Ref", {}, {}, nullptr, 2, 67},
    {5, "ObjectName", "Object name", {}, {}, nullptr, 2, 64},
    {7, "EditStatus", "Edit Status", {}, {}, nullptr, 2, 64},
    {8, "EditorialUpdate", "Editorial Update", {}, {}, nullptr, 2, 2},
    {10, "Urgency", "Urgency", {}, {}, nullptr, 2, 1},
    {12, "SubRef", "Subject Reference", {}, {}, nullptr, 2, 236},
    {15, "Category", "Category", {}, {}, nullptr, 2, 3},
    {20, "SuppCategory", "Supplemental category", {}, {}, nullptr, 2, 32},
    {22, "FixtureID", "Fixture ID", {}, {}, nullptr, 2, 32},
    {25, "Keywords", "Keywords", {}, {}, nullptr, 2, 64},
    {26, "ContentLocCode", "Content Location Code", {}, {}, nullptr, 2, 3},
    {27, "ContentLocName", "Content Location Name", {}, {}, nullptr, 2, 64},
    {30, "ReleaseDate", "Release Date", {}, {}, nullptr, 2, 8},
    {35, "ReleaseTime", "Release Time", {}, {}, nullptr, 2, 11},
    {37, "ExpireDate", "Expiration Date", {}, {}, nullptr, 2, 8},
    {38, "ExpireTime", "Expiration Time", {}, {}, nullptr, 2, 11},
    {40, "SpecialInstru", "Special Instructions", {}, {}, nullptr, 2, 256},
    {42, "ActionAdvised", "Action Advised", {}, {}, nullptr, 2, 2},
    {45, "RefService", "Reference Service", {}, {}, nullptr, 2, 10},
    {47, "RefDate", "Reference Date", {}, {}, nullptr, 2, 8},
    {50, "RefNumber", "Reference Number", {}, {}, nullptr, 2, 8},
    {55, "DateCreated", "Date created", {}, {}, nullptr, 2, 8},
    {60, "TimeCreated", "Time created", {}, {}, nullptr, 2, 11},
    {62, "DigitizeDate", "Digital Creation Date", {}, {}, nullptr, 2, 8},
    {63, "DigitizeTime", "Digital Creation Time", {}, {}, nullptr, 2, 11},
    {65, "OriginatingProgram", "Originating Program", {}, {}, nullptr, 2, 32},
    {70, "ProgramVersion", "Program version", {}, {}, nullptr, 2, 10},
    {75, "ObjectCycle", "Object Cycle", {}, {}, nullptr, 2, 1},
    {80, "ByLine", "ByLine", {}, {}, nullptr, 2, 32},
    {85, "ByLineTitle", "ByLine Title", {}, {}, nullptr, 2, 32},
    {90, "City", "City", {}, {}, nullptr, 2, 32},
    {92, "SubLocation", "Sublocation", {}, {}, nullptr, 2, 32},
    {95, "State", "Province/State", {}, {}, nullptr, 2, 32},
    {100, "LocationCode", "Country/Primary Location Code", {}, {}, nullptr, 2, 3},
    {101, "LocationName", "Country/Primary Location Name", {}, {}, nullptr, 2, 64},
    {103, "TransmissionRef", "Original Transmission Reference", {}, {}, nullptr, 2, 32},
    {105, "ImageHeadline", "Image headline", {}, {}, nullptr, 2, 256},
    {110, "ImageCredit", "Image credit", {}, {}, nullptr, 2, 32},
    {115, "Source", "Source", {}, {}, nullptr, 2, 32},
    {116, "Copyright", "Copyright Notice", {}, {}, nullptr, 2, 128},
    {118, "Contact", "Contact", {}, {}, nullptr, 2, 128},
    {120, "ImageCaption", "Image caption", {}, {}, nullptr, 2, 2000},
    {122, "ImageCaptionWriter", "Image caption writer", {}, {}, nullptr, 2, 32},
    {130, "ImageType", "Image type", {}, {}, nullptr, 2, 2},
    {131, "Orientation", "Image Orientation", {}, {}, nullptr, 2, 1},
    {135, "LangID", "Language ID", {}, {}, nullptr, 2, 3},
    {10, "Subfile", "Subfile", {}, {}, nullptr, 8, 2},
}};

static_assert(NamesAndCaptionsAreAscii(IptcDatasetTable));

// "SuppCategory" and "Keywords": stored once per name, their repeats merged into a comma list.
inline constexpr std::array<std::uint16_t, 2> MultiValuedDatasets{20, 25};

// Merges newItems into the comma list existing: every item of newItems, trimmed of blanks, is
// appended unless an item equal to it ignoring case is already there. Lists are split and
// joined by the comma-list rule (items separated by commas or blanks, double quotes around an
// item that holds a blank, comma or double quote, "" for a list of one empty item).
std::string MergeCommaList(std::string_view existing, std::string_view newItems);

// The comma-list rule on its own, used by MergeCommaList.
std::vector<std::string> SplitCommaList(std::string_view text);
std::string JoinCommaList(const std::vector<std::string>& items);

// First row of IptcDatasetTable named name (ignoring case), or -1.
int DatasetRowOfName(std::string_view name);

// The EXIF reader's IPTC part (an IptcRecordsFactory): the datasets of an APP13 section.
IptcRecordsPtr ReadIptcRecords(std::string_view sectionBytes);

class IptcRecords {
public:
    IptcRecords() = default;

    // Index of the first stored dataset named name, or -1.
    int IndexOfName(std::string_view name) const;
    // Removes the first stored dataset named name; later ones move down by one.
    void RemoveDataset(std::string_view name);
    // Replaces the value of a stored dataset (an empty value leaves it as it is), or appends
    // the table's row of that name with the value. Returns the index, or -1 for an unknown name.
    int SetDataset(std::string_view name, const std::string& value);
    // Merges value into a stored dataset's comma list, or stores it as a new list.
    int AddToDataset(std::string_view name, const std::string& value);
    // AddToDataset for "SuppCategory" and "Keywords", SetDataset for every other known name.
    int StoreDataset(std::string_view name, const std::string& value);
    // The value of the first stored dataset named name, or fallback.
    std::string DatasetText(std::string_view name, const std::string& fallback) const;
    // Clears the datasets and reads those of the first APP13 section of the file at path (a
    // JPEG file, as ExifReader::OpenFile reads it). Returns HasDatasets().
    bool LoadImageFile(const std::string& path);

    int DatasetCount() const { return count_; }
    int Capacity() const { return static_cast<int>(slots_.size()); }
    // Copy of the stored dataset at index (0-based); an empty entry for an index out of range.
    TagEntry DatasetAt(int index) const;
    // Appends a copy unless its TagNumber is 0; returns DatasetCount() - 1 either way. The
    // array grows by 25 slots whenever fewer than two slots are free.
    int AppendDataset(const TagEntry& entry);
    // Count 0, every slot emptied, capacity kept.
    void ClearDatasets();
    bool HasDatasets() const { return count_ > 0; }

    // Parses APP13 section bytes (the two length bytes first, then the body), replacing the
    // datasets stored.
    void Parse(std::string_view data);

private:
    // Reads the dataset whose record-number byte stands at offset of data, and moves offset to
    // the next dataset's record-number byte. The returned entry has TagNumber 0 when it is not
    // to be stored.
    static TagEntry ReadDataset(std::string_view data, std::int64_t& offset);

    int count_ = 0;
    std::vector<TagEntry> slots_;  // the allocated slots; the first count_ are in use
};

}  // namespace veltrane::exif
