#pragma once
// TimgData: the entry point of the EXIF reader. It reads a JPEG file's marker sections (or a
// TIFF-structured file's first 256000 bytes after its header) into a table of sections,
// accepts the APP1 EXIF section, and creates the objects that interpret it: a TImageInfo for
// the TIFF directories (which hands maker notes to the parts' decoder) and, through its parts
// (reader_parts.h), an IPTC reader for the first APP13 section. Its ErrorText says how the
// last read ended. No error of the file's making ever leaves OpenFile or OpenBuffer; running
// out of memory does (std::bad_alloc), since it says nothing about the file.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/exif/byte_order.h"
#include "core/exif/reader_parts.h"
#include "core/exif/tiff_directory.h"

namespace veltrane::exif {

// One stored JPEG section.
struct tSection {
    // The section's bytes: the two length bytes as read, then the payload. A section that the
    // file cut short keeps its declared length; the bytes the file did not supply are zero.
    std::string SectionBytes;
    int SectionMarker = 0;  // the byte after FF, e.g. 0xE1 for APP1
    int SectionLength = 0;  // the big-endian length field; counts its own two bytes
};

// "Exif" and one NUL: only these five bytes of the APP1 payload are compared.
inline constexpr std::string_view ExifMagic{"Exif\0", 5};
// Bytes read from a TIFF file after its first 8.
inline constexpr std::int64_t TiffReadSize = 256000;
// The JPEG walk stores at most this many sections.
inline constexpr int kMaxStoredSections = 20;

class TimgData : public tEndInd {
public:
    // collectMode is handed to every TImageInfo this reader creates (the program uses 255);
    // parts decode maker notes and read IPTC sections (none: neither is done).
    explicit TimgData(int collectMode = 255, ReaderParts parts = {});
    ~TimgData();
    TimgData(const TimgData&) = delete;
    TimgData& operator=(const TimgData&) = delete;

    // Slots 1..21 live in SectionTable[0..20]; Section(n) gives slot n.
    std::array<tSection, 21> SectionTable;
    tSection& Section(int slot) { return SectionTable.at(static_cast<std::size_t>(slot - 1)); }
    const tSection& Section(int slot) const {
        return SectionTable.at(static_cast<std::size_t>(slot - 1));
    }

    bool TiffMode = false;
    int CollectMode = 255;
    ReaderParts Parts;
    // Empty: the normal reader. Otherwise the reader serves only name lookups of these tags
    // (see TImageInfo::OnlyTagNames, which its TImageInfo receives): of the JPEG sections it
    // keeps the bytes of the EXIF section alone (the others keep marker and length, and the
    // IPTC section gets no reader). Set it before OpenFile/OpenBuffer.
    std::span<const std::string_view> OnlyTagNames;
    int SectionCount = 0;
    tSection* ExifSection = nullptr;     // the accepted APP1 (for a TIFF file: slot 1)
    tSection* IptcSection = nullptr;     // the first APP13
    tSection* CommentSection = nullptr;  // the last COM
    // "" (no such file), "Not an EXIF file", "Incorrect Exif header",
    // "Invalid Exif alignment marker", "Illegally sized directory", "Error Detected = ...",
    // "<none>" (the load succeeded) or "Illegal Exif construction".
    std::string ErrorText;
    std::unique_ptr<TImageInfo> ImageInfo;
    IptcReaderPtr IptcInfo;  // made by Parts.NewIptcReader for the first APP13 section

    // Reads the file at path: ".jpg", ".jpeg", ".jpe" as JPEG, ".tif", ".tiff", ".nef" as TIFF
    // (extension compared in lower case), anything else not at all. Returns HasAnyMetadata.
    bool OpenFile(const std::string& path);
    // The same for bytes held in memory, classified by fileName's extension as if they were the
    // file of that name. The JPEG walk reads only up to the start of scan, so a large image
    // costs no more than its header; the bytes are not copied beyond the sections stored.
    bool OpenBuffer(std::span<const std::uint8_t> bytes, std::string_view fileName);
    // The same for the length bytes of the file at path that start at offset (an image inside
    // a larger file), classified by fileName's extension. Only the chunks up to the start of
    // scan are read, so memory stays small whatever the image's size.
    bool OpenFileRange(const std::string& path, std::int64_t offset, std::int64_t length,
                       std::string_view fileName);

    bool HasAnyMetadata() const;
    bool HasExifSection() const { return ExifSection != nullptr; }

    // Forgets the previous file: no sections, no ImageInfo/IptcInfo, empty ErrorText.
    void ClearAll();

    class ByteStream;  // the file or memory bytes being read (jpeg_sections.cpp)

private:
    bool Load(ByteStream& stream, std::string_view fileName);
    bool LoadJpeg(ByteStream& stream);
    bool LoadTiff(ByteStream& stream);
    bool WalkJpegMarkers(ByteStream& stream);
    bool ReadTiffStream(ByteStream& stream);
    void CheckExifHeader();
    std::unique_ptr<TImageInfo> NewImageInfo();
};

}  // namespace veltrane::exif
