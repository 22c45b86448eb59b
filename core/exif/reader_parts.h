// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts an ExifReader hands work to: a decoder for the camera maker's note (tag 0x927C) and a
// reader for the IPTC datasets of the first APP13 section. The reader itself knows neither: the
// modules that implement them sit above it and give their functions here, so a reader made
// without parts reads the EXIF and TIFF directories alone (the maker note is stored as a tag
// but not walked, and an APP13 section is kept but not parsed).
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/exif/byte_reader.h"

namespace veltrane::exif {

class TiffDirectory;
class IptcRecords;

// What the directory walk hands the maker-note part when it meets tag 0x927C. The views point
// into the directory and the reader's stored section, which outlive the call.
struct MakerNote {
    std::string_view Bytes;        // the note: the MakerNote value as the file stores it
    std::int64_t Offset = 0;       // the TIFF offset of its first byte
    std::string_view MakeText;     // Make and Model (UTF-8) and the raw ExifVersion bytes, as read so far
    std::string_view ModelText;
    std::string_view VersionText;
    bool TiffFile = false;         // read from a TIFF file (not from a JPEG file's APP1 section)
    ByteOrder FileOrder = ByteOrder::LittleEndian;
    // The EXIF section as the reader stores it (ExifData::Section): some makers' values that do
    // not lie inside the note are read from it.
    std::string_view Section;
};

// Walks the note into directory: its lines go to the maker-note text, its known entries become
// tags, an error that ends the walk becomes the directory's problem. True when it recognised
// the maker.
using MakerNoteDecoder = bool (*)(const MakerNote& note, TiffDirectory& directory);

// IPTC datasets, freed by the module that made them.
struct IptcRecordsDeleter {
    void (*Free)(IptcRecords*) = nullptr;
    void operator()(IptcRecords* records) const noexcept {
        if (Free != nullptr) Free(records);
    }
};
using IptcRecordsPtr = std::unique_ptr<IptcRecords, IptcRecordsDeleter>;

// The datasets of an APP13 section, given its stored bytes (the two length bytes first).
using IptcRecordsFactory = IptcRecordsPtr (*)(std::string_view sectionBytes);

struct ReaderParts {
    MakerNoteDecoder DecodeMakerNote = nullptr;
    IptcRecordsFactory ReadIptcRecords = nullptr;
};

}  // namespace veltrane::exif
