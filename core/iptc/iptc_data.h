#pragma once
// TIPTCdata: the IPTC datasets of a JPEG file's APP13 ("Photoshop 3.0") section, kept as named
// TTagEntry records that can be looked up, set, merged and removed by name.
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

class TimgData;

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

// The EXIF reader's IPTC part (an IptcReaderFactory): an empty TIPTCdata owned by owner.
IptcReaderPtr NewIptcReader(TimgData& owner);

class TIPTCdata {
public:
    explicit TIPTCdata(TimgData* owner);
    virtual ~TIPTCdata() = default;
    TIPTCdata(const TIPTCdata&) = delete;
    TIPTCdata& operator=(const TIPTCdata&) = delete;

    // Index of the first stored dataset named name, or -1.
    virtual int IptcIndexOfName(std::string_view name) const;
    // Removes the first stored dataset named name; later ones move down by one.
    virtual void RemoveDataset(std::string_view name);
    // Replaces the value of a stored dataset (an empty value leaves it as it is), or appends
    // the table's row of that name with the value. Returns the index, or -1 for an unknown name.
    virtual int SetDataset(std::string_view name, const std::string& value);
    // Merges value into a stored dataset's comma list, or stores it as a new list.
    virtual int AddToDataset(std::string_view name, const std::string& value);
    // AddToDataset for "SuppCategory" and "Keywords", SetDataset for every other known name.
    virtual int StoreDataset(std::string_view name, const std::string& value);
    // The value of the first stored dataset named name, or fallback.
    virtual std::string DatasetText(std::string_view name, const std::string& fallback) const;
    // Clears the datasets, has OwnerData read fileName and parses the first APP13 section it
    // found. When this object is OwnerData's own IptcInfo, it stays alive and becomes the
    // owner's IptcInfo again afterwards (the reader that OpenFile created is dropped), so the
    // caller's pointer holds the datasets of the named file. Returns HasDatasets().
    virtual bool LoadImageFile(const std::string& fileName);

    int IptcTagCount() const { return tagCount_; }
    int IptcCapacity() const { return static_cast<int>(tags_.size()); }
    // Copy of the stored dataset at index (0-based); an empty entry for an index out of range.
    TTagEntry DatasetAt(int index) const;
    // Appends a copy unless its TagNumber is 0; returns IptcTagCount() - 1 either way. The
    // array grows by 25 slots whenever fewer than two slots are free.
    int AppendDataset(const TTagEntry& entry);
    // Count 0, every slot emptied, capacity kept.
    void ClearDatasets();
    bool HasDatasets() const { return tagCount_ > 0; }

    // Parses APP13 section bytes (the two length bytes first, then the body).
    void ParseIptcData(std::string_view data);
    // Reads the dataset whose record-number byte stands at the 1-based position `position` of
    // the parse buffer, and moves `position` to the next dataset's record-number byte. The
    // returned entry has TagNumber 0 when it is not to be stored.
    TTagEntry ReadDataset(std::int64_t& position) const;

    TimgData* OwnerData;

private:
    int tagCount_ = 0;
    std::vector<TTagEntry> tags_;  // the allocated slots; the first tagCount_ are in use
    std::string parseBuffer_;      // the APP13 data of the last parse
};

}  // namespace veltrane::exif
