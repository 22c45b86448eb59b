// SPDX-License-Identifier: GPL-3.0-or-later
// The IPTC records as a part of the EXIF reader, and IptcRecords::LoadImageFile, the one
// operation that reads a file, through the reader.
#include "core/exif/exif_reader.h"
#include "core/iptc/iptc_data.h"

namespace veltrane::exif {

IptcRecordsPtr ReadIptcRecords(std::string_view sectionBytes) {
    IptcRecordsPtr records(new IptcRecords, {[](IptcRecords* r) { delete r; }});
    records->Parse(sectionBytes);
    return records;
}

bool IptcRecords::LoadImageFile(const std::string& path) {
    ClearDatasets();
    // A reader without parts: the datasets are parsed here, no maker note is walked.
    ExifReader reader;
    reader.OpenFile(path);
    if (const JpegSection* section = reader.IptcSection()) Parse(section->Bytes);
    return HasDatasets();
}

}  // namespace veltrane::exif
