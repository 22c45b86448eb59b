// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ExifReader: the entry point of the EXIF reader. It reads a JPEG file's marker sections (or a
// TIFF-structured file's first bytes after its header), keeps them, accepts the APP1 EXIF
// section, and makes what interprets it: a TiffDirectory for the TIFF directories (which hands
// maker notes to the parts' decoder) and, through its parts (reader_parts.h), the IPTC records
// of the first APP13 section. Its Status says how the last read ended. No error of the file's
// making ever leaves OpenFile, OpenBuffer or OpenFileRange; running out of memory does
// (std::bad_alloc), since it says nothing about the file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/exif/read_status.h"
#include "core/exif/reader_options.h"
#include "core/exif/reader_parts.h"
#include "core/exif/tiff_directory.h"

namespace veltrane::exif {

// One stored JPEG section.
struct JpegSection {
    int Marker = 0;  // the byte after FF, e.g. 0xE1 for APP1
    int Length = 0;  // the big-endian length field; counts its own two bytes
    // The section's bytes: the two length bytes as read, then the payload. A section that the
    // file cut short keeps its declared length; the bytes the file did not supply are zero. A
    // reader serving name lookups keeps no bytes of sections other than the EXIF section.
    std::string Bytes;
};

// The sections of the last read in file order: at most kMaxStoredSections of a JPEG file, or
// the one section that holds the data of a TIFF file.
using JpegSections = std::vector<JpegSection>;

// "Exif" and one NUL: only these five bytes of the APP1 payload are compared.
inline constexpr std::string_view ExifMagic{"Exif\0", 5};
// The JPEG walk stores at most this many sections.
inline constexpr int kMaxStoredSections = 20;

// What a buffer or a range of a file holds.
enum class SourceFormat {
    Jpeg,      // a JPEG file: its marker sections up to the start of scan
    Tiff,      // a TIFF-structured file (TIFF, NEF)
    ExifTiff,  // the TIFF structure of an EXIF block without a JPEG around it (a HEIF file's
               // Exif item), held whole and read as the APP1 EXIF section of a JPEG file
};

// The EXIF of a block read whole (SourceFormat::ExifTiff) is held up to this size.
inline constexpr std::size_t kMaxExifTiffBytes = 64u << 20;

class ExifReader {
public:
    // parts decode maker notes and read IPTC sections (none: neither is done); options say
    // what the reader keeps of what it reads.
    explicit ExifReader(ReaderParts parts = {}, ReaderOptions options = {});
    ~ExifReader();
    ExifReader(const ExifReader&) = delete;
    ExifReader& operator=(const ExifReader&) = delete;

    // Reads the file at path: ".jpg", ".jpeg", ".jpe" as JPEG, ".tif", ".tiff", ".nef" as TIFF
    // (extension compared in lower case), anything else not at all. Returns HasAnyMetadata.
    bool OpenFile(const std::string& path);
    // The same for bytes held in memory in the given format. The JPEG walk reads only up to
    // the start of scan, so a large image costs no more than its header; the bytes are not
    // copied beyond the sections stored.
    bool OpenBuffer(std::span<const std::uint8_t> bytes, SourceFormat format);
    // The same for the length bytes of the file at path that start at offset (an image inside
    // a larger file). Only the chunks up to the start of scan are read, so memory stays small
    // whatever the image's size.
    bool OpenFileRange(const std::string& path, std::int64_t offset, std::int64_t length, SourceFormat format);

    ReadStatus Status() const { return status_; }
    // The status as users see it (`veltrane --info`).
    std::string StatusText() const { return exif::StatusText(status_, statusDetail_); }

    bool HasAnyMetadata() const;
    bool HasExifSection() const { return exifSection_ >= 0; }

    const JpegSections& Sections() const { return sections_; }
    const JpegSection* ExifSection() const { return SectionAt(exifSection_); }        // the accepted APP1
    const JpegSection* IptcSection() const { return SectionAt(iptcSection_); }        // the first APP13
    const JpegSection* CommentSection() const { return SectionAt(commentSection_); }  // the last COM
    // The directories of the accepted EXIF section; none before one was accepted.
    const TiffDirectory* Directory() const { return directory_.get(); }
    // The datasets of the first APP13 section, made by the parts' IPTC reader.
    const IptcRecords* Iptc() const { return iptc_.get(); }
    const ReaderOptions& Options() const { return options_; }

    class ByteStream;  // the file or memory bytes being read (exif_reader.cpp)

private:
    // Forgets the previous file: no sections, no directory or IPTC records, status NothingRead.
    void Clear();
    bool Load(ByteStream& stream, SourceFormat format);
    bool WalkJpegMarkers(ByteStream& stream);
    bool ReadTiffStream(ByteStream& stream);
    bool ReadExifTiff(ByteStream& stream);
    // False when the section cannot even hold the first directory's offset: the load fails.
    bool CheckExifHeader();
    std::unique_ptr<TiffDirectory> NewDirectory(ExifData data) const;
    const JpegSection* SectionAt(int index) const {
        return index >= 0 ? &sections_[static_cast<std::size_t>(index)] : nullptr;
    }

    ReaderParts parts_;
    ReaderOptions options_;
    JpegSections sections_;
    int exifSection_ = -1, iptcSection_ = -1, commentSection_ = -1;  // indexes into sections_
    ReadStatus status_ = ReadStatus::NothingRead;
    std::string statusDetail_;
    std::unique_ptr<TiffDirectory> directory_;
    IptcRecordsPtr iptc_;
};

}  // namespace veltrane::exif
