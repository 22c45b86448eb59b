// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exif/exif_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "core/common/ascii.h"
#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/exif/exif_error.h"

namespace veltrane::exif {

// The bytes of the file being read, from memory or from an open file. Reading past the end
// yields nothing: Get returns -1 and Read returns fewer bytes than asked for. A file is read in
// chunks, so the JPEG walk, which stops at the start of scan, reads only the file's head.
class ExifReader::ByteStream {
public:
    explicit ByteStream(std::span<const std::uint8_t> bytes)
        : cur_(bytes.data()), end_(bytes.data() + bytes.size()) {}
    explicit ByteStream(InputFile& file) : file_(&file) {}
    // The length bytes of file from offset on: the stream ends after them.
    ByteStream(InputFile& file, std::int64_t offset, std::int64_t length)
        : file_(&file), next_(offset), left_(std::max<std::int64_t>(length, 0)) {}

    int Get() {
        if (cur_ == end_ && !Refill()) return -1;
        return *cur_++;
    }

    std::size_t Read(char* dst, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            if (cur_ == end_ && !Refill()) break;
            const std::size_t take = std::min(n - done, static_cast<std::size_t>(end_ - cur_));
            std::memcpy(dst + done, cur_, take);
            cur_ += take;
            done += take;
        }
        return done;
    }

    // Passes over n bytes (fewer at the end), reading nothing that is in no chunk yet.
    void Skip(std::size_t n) {
        while (n > 0) {
            if (cur_ == end_) {
                if (file_ != nullptr && left_ >= 0) {
                    // Inside a range nothing needs reading to pass over bytes.
                    const std::int64_t step = std::min<std::int64_t>(static_cast<std::int64_t>(n), left_);
                    next_ += step;
                    left_ -= step;
                    return;
                }
                if (!Refill()) return;
            }
            const std::size_t take = std::min(n, static_cast<std::size_t>(end_ - cur_));
            cur_ += take;
            n -= take;
        }
    }

private:
    static constexpr std::size_t kChunkSize = 65536;

    bool Refill() {
        if (file_ == nullptr) return false;
        // Left uninitialised: the read fills what is used, and a small file touches no more
        // than the pages it fills.
        if (!chunk_) chunk_ = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkSize);
        std::size_t got = 0;
        if (left_ >= 0) {
            // A range: chunks read at their offsets, never past the range's end.
            got = static_cast<std::size_t>(std::min<std::int64_t>(left_, static_cast<std::int64_t>(kChunkSize)));
            if (got > 0) file_->ReadAt(next_, chunk_.get(), got);
            next_ += static_cast<std::int64_t>(got);
            left_ -= static_cast<std::int64_t>(got);
        } else {
            got = file_->Read(chunk_.get(), kChunkSize);
        }
        cur_ = chunk_.get();
        end_ = cur_ + got;
        return got > 0;
    }

    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    InputFile* file_ = nullptr;
    std::int64_t next_ = 0;   // file offset of the next chunk of a range
    std::int64_t left_ = -1;  // bytes of the range not yet read; -1: no range, read to the end
    std::unique_ptr<std::uint8_t[]> chunk_;
};

namespace {

// The format of a file by its name: the extension (from its last dot, dot included) in lower
// case decides; none for a file that is read not at all. The extensions that count are at most
// five characters long, dot included: only the end of the name is looked at.
std::optional<SourceFormat> FormatOfName(std::string_view path) {
    std::size_t dot = path.size();
    while (dot > 0 && path.size() - dot < 5 && path[dot - 1] != '.' && !IsPathSeparator(path[dot - 1])) --dot;
    if (dot == 0 || path[dot - 1] != '.') return std::nullopt;
    const std::string_view ext = path.substr(dot - 1);
    for (const std::string_view jpeg : {".jpg", ".jpeg", ".jpe"})
        if (EqualIgnoringAsciiCase(ext, jpeg)) return SourceFormat::Jpeg;
    for (const std::string_view tiff : {".tif", ".tiff", ".nef"})
        if (EqualIgnoringAsciiCase(ext, tiff)) return SourceFormat::Tiff;
    return std::nullopt;
}

// Runs step and says whether it ran to its end. The reader's own errors end it early: a
// structure it cannot work around (ExifError), a read of the file that failed (InOutError), a
// checked index out of range (std::out_of_range from at() and substr()). Anything else, running
// out of memory above all, is no fault of the file and goes on to the caller.
template <typename Step>
bool RanWithoutReaderError(Step&& step) {
    try {
        step();
        return true;
    } catch (const ExifError&) {
    } catch (const InOutError&) {
    } catch (const std::out_of_range&) {
    }
    return false;
}

}  // namespace

ExifReader::ExifReader(ReaderParts parts, ReaderOptions options) : parts_(parts), options_(options) {}

ExifReader::~ExifReader() = default;

void ExifReader::Clear() {
    sections_.clear();
    exifSection_ = iptcSection_ = commentSection_ = -1;
    status_ = ReadStatus::NothingRead;
    statusDetail_.clear();
    directory_.reset();
    iptc_.reset();
}

bool ExifReader::HasAnyMetadata() const {
    return exifSection_ >= 0 || commentSection_ >= 0 || iptcSection_ >= 0;
}

bool ExifReader::OpenFile(const std::string& path) {
    Clear();
    if (!IsExistingFile(path)) return false;
    const bool ranThrough = RanWithoutReaderError([&] {
        status_ = ReadStatus::NotExif;
        if (const auto format = FormatOfName(path)) {
            InputFile file(path);
            ByteStream stream(file);
            Load(stream, *format);
        }
    });
    if (!ranThrough) status_ = ReadStatus::IllegalConstruction;
    return HasAnyMetadata();
}

bool ExifReader::OpenFileRange(const std::string& path, std::int64_t offset, std::int64_t length,
                               SourceFormat format) {
    Clear();
    if (!IsExistingFile(path)) return false;
    const bool ranThrough = RanWithoutReaderError([&] {
        status_ = ReadStatus::NotExif;
        InputFile file(path);
        ByteStream stream(file, offset, length);
        Load(stream, format);
    });
    if (!ranThrough) status_ = ReadStatus::IllegalConstruction;
    return HasAnyMetadata();
}

bool ExifReader::OpenBuffer(std::span<const std::uint8_t> bytes, SourceFormat format) {
    Clear();
    const bool ranThrough = RanWithoutReaderError([&] {
        status_ = ReadStatus::NotExif;
        ByteStream stream(bytes);
        Load(stream, format);
    });
    if (!ranThrough) status_ = ReadStatus::IllegalConstruction;
    return HasAnyMetadata();
}

// Reads the bytes in the format given and sets the status: Ok when the load ran to its end;
// otherwise the problem met last (a wrong EXIF header, a directory that does not fit, an error
// of the maker-note walk), or NotExif. On an error the sections, directory and IPTC records
// built so far stay.
bool ExifReader::Load(ByteStream& stream, SourceFormat format) {
    bool loaded = false;
    switch (format) {
        case SourceFormat::Jpeg: RanWithoutReaderError([&] { loaded = WalkJpegMarkers(stream); }); break;
        case SourceFormat::Tiff: RanWithoutReaderError([&] { loaded = ReadTiffStream(stream); }); break;
        case SourceFormat::ExifTiff: RanWithoutReaderError([&] { loaded = ReadExifTiff(stream); }); break;
    }
    if (loaded) {
        status_ = ReadStatus::Ok;
    } else if (directory_ != nullptr && directory_->Problem()) {
        status_ = *directory_->Problem();
        statusDetail_ = directory_->ProblemDetail();
    }
    return loaded;
}

// A JPEG file is FF D8 followed by marker sections:
//   FF (any number of FF fill bytes) marker
//   2 bytes  big-endian length, counting these two bytes
//   length - 2 bytes of payload
// The walk stores up to 20 sections and stops at start of scan (DA) or end of image (D9). Data
// that ends early or a section length below 2 fails the load; the failure is returned, not
// raised, since broken and cut-off files are common and an exception costs more than the rest
// of such a read.
bool ExifReader::WalkJpegMarkers(ByteStream& stream) {
    const int first = stream.Get();
    const int second = stream.Get();
    if (first != 0xFF || second != 0xD8) return false;

    sections_.clear();
    sections_.reserve(static_cast<std::size_t>(kMaxStoredSections));
    while (static_cast<int>(sections_.size()) < kMaxStoredSections) {
        int marker = 0;
        do {
            marker = stream.Get();
            if (marker < 0) return false;  // the data ends
        } while (marker == 0xFF);

        const int index = static_cast<int>(sections_.size());
        const int count = index + 1;  // sections stored, this one included
        JpegSection& section = sections_.emplace_back();
        section.Marker = marker;
        const int hi = stream.Get();
        const int lo = stream.Get();
        if (hi < 0 || lo < 0) return false;  // the data ends
        const int length = hi * 256 + lo;
        section.Length = length;
        if (length < 2) {
            // Lengths 0 and 1 cannot even cover the length field: the load fails.
            section.Bytes.push_back(static_cast<char>(hi));
            section.Bytes.push_back(static_cast<char>(lo));
            return false;
        }
        // A reader serving name lookups looks into the EXIF section alone; the payload of any
        // other section is passed over unstored.
        const bool keep = options_.OnlyTagNames.empty() || (marker == 0xE1 && count <= 5 && exifSection_ < 0);
        try {
            if (keep && !options_.OnlyTagNames.empty() && length - 2 > static_cast<int>(ExifMagic.size())) {
                // Only its EXIF header decides whether the section is looked into: an XMP
                // section's payload is passed over, stored no further than the header.
                char magic[ExifMagic.size()] = {};
                stream.Read(magic, sizeof magic);
                section.Bytes.assign({static_cast<char>(hi), static_cast<char>(lo)});
                section.Bytes.append(magic, sizeof magic);
                if (std::string_view(magic, sizeof magic) == ExifMagic) {
                    section.Bytes.resize(static_cast<std::size_t>(length), '\0');
                    stream.Read(section.Bytes.data() + 2 + sizeof magic, static_cast<std::size_t>(length - 2) - sizeof magic);
                } else {
                    stream.Skip(static_cast<std::size_t>(length - 2) - sizeof magic);
                }
            } else if (keep) {
                section.Bytes.assign(static_cast<std::size_t>(length), '\0');
                section.Bytes[0] = static_cast<char>(hi);
                section.Bytes[1] = static_cast<char>(lo);
                // A read cut short by the end of the file leaves the rest zero; not an error.
                stream.Read(section.Bytes.data() + 2, static_cast<std::size_t>(length - 2));
            } else {
                stream.Skip(static_cast<std::size_t>(length - 2));
            }
        } catch (const InOutError&) {
            continue;  // the section stays stored but is not looked at
        }

        // Without a comment, IPTC or EXIF section among the first four, the fifth ends the walk.
        if (count == 5 && !HasAnyMetadata()) break;

        switch (marker) {
            case 0xD9:  // end of image
            case 0xDA:  // start of scan
                return HasAnyMetadata();
            case 0xE1:  // APP1: only the first, and only within the first five sections
                if (count > 5 || exifSection_ >= 0) {
                    sections_.pop_back();  // not kept: the next section takes its place
                } else {
                    exifSection_ = index;
                    if (!CheckExifHeader()) return false;
                }
                break;
            case 0xED:  // APP13
                if (iptcSection_ < 0) {
                    iptcSection_ = index;
                    if (keep && parts_.ReadIptcRecords != nullptr) iptc_ = parts_.ReadIptcRecords(section.Bytes);
                }
                break;
            case 0xFE:  // COM: the last one wins
                commentSection_ = index;
                break;
            default:
                break;
        }
    }
    return HasAnyMetadata();
}

std::unique_ptr<TiffDirectory> ExifReader::NewDirectory(ExifData data) const {
    return std::make_unique<TiffDirectory>(data, options_, parts_.DecodeMakerNote);
}

// The accepted APP1 section, by offsets into its stored bytes:
//   0-1   length
//   2-7   "Exif" NUL NUL (only the first five bytes are compared)
//   8-    the TIFF data: "II" or "MM", 42, the offset of the first directory, ...
bool ExifReader::CheckExifHeader() {
    const std::string_view bytes = sections_[static_cast<std::size_t>(exifSection_)].Bytes;
    // A wrong header leaves the directory empty. Header bytes beyond the end of the section
    // count as a mismatch.
    if (bytes.size() < 2 + ExifMagic.size() || bytes.substr(2, ExifMagic.size()) != ExifMagic) {
        directory_ = NewDirectory({});
        status_ = ReadStatus::IncorrectExifHeader;
        return true;
    }
    const std::string_view mark = bytes.size() >= 10 ? bytes.substr(8, 2) : std::string_view{};
    if (mark != "II" && mark != "MM") {
        directory_ = NewDirectory({});
        status_ = ReadStatus::InvalidAlignmentMarker;
        return true;
    }
    const ByteOrder order = mark == "MM" ? ByteOrder::BigEndian : ByteOrder::LittleEndian;
    const ExifData data{ByteReader(AsBytes(bytes).subspan(8), order), bytes, false};
    directory_ = NewDirectory(data);
    // A section too short to hold the first directory's offset ends the load as failed. An
    // offset of 0 is taken as 8, right after the header.
    if (!data.Tiff.Holds(4, 4)) return false;
    const std::int64_t first = data.Tiff.U32(4);
    directory_->Walk(first == 0 ? 8 : first, kImageDirectory);
    directory_->DeriveFilmFocalLength();
    return true;
}

// A TIFF-structured file:
//   0   2 bytes  "II" or "MM"
//   2   2 bytes  42, then 4 bytes offset of the first directory: neither is looked at
//   8   the rest: up to kTiffFileBytesRead bytes are held, as the one stored section; the first
//       directory is always taken to start at offset 8. Bytes past the end of the file are zero.
bool ExifReader::ReadTiffStream(ByteStream& stream) {
    char mark[2] = {0, 0};
    if (stream.Read(mark, 2) < 2) return false;
    const std::string_view markText(mark, 2);
    if (markText != "II" && markText != "MM") return false;
    const ByteOrder order = markText == "MM" ? ByteOrder::BigEndian : ByteOrder::LittleEndian;

    char header[6];
    stream.Read(header, sizeof header);
    JpegSection& held = sections_.emplace_back();
    held.Bytes.assign(static_cast<std::size_t>(kTiffFileBytesRead), '\0');
    stream.Read(held.Bytes.data(), held.Bytes.size());
    exifSection_ = 0;

    directory_ = NewDirectory({ByteReader(AsBytes(held.Bytes), order, 8), held.Bytes, true});
    directory_->Walk(8, kImageDirectory);
    directory_->DeriveFilmFocalLength();
    return true;
}

// The TIFF structure of an EXIF block on its own, held whole (up to kMaxExifTiffBytes) as the
// one stored section, an APP1 section as a JPEG file would hold it:
//   0-1   the length, FF FF when the section is longer than a JPEG segment can be
//   2-7   "Exif" NUL NUL
//   8-    the TIFF data
// Its Length is the whole section's. No bytes: nothing read.
bool ExifReader::ReadExifTiff(ByteStream& stream) {
    std::string tiff;
    char chunk[4096];
    for (std::size_t got; tiff.size() < kMaxExifTiffBytes && (got = stream.Read(chunk, sizeof chunk)) > 0;)
        tiff.append(chunk, std::min(got, kMaxExifTiffBytes - tiff.size()));
    if (tiff.empty()) return false;
    JpegSection& section = sections_.emplace_back();
    section.Marker = 0xE1;
    section.Length = static_cast<int>(2 + ExifMagic.size() + 1 + tiff.size());
    const int field = std::min(section.Length, 0xFFFF);
    section.Bytes.reserve(static_cast<std::size_t>(section.Length));
    section.Bytes += static_cast<char>(field >> 8);
    section.Bytes += static_cast<char>(field & 0xFF);
    section.Bytes.append(ExifMagic);
    section.Bytes += '\0';
    section.Bytes += tiff;
    exifSection_ = 0;
    if (!CheckExifHeader()) return false;
    return HasAnyMetadata();
}

}  // namespace veltrane::exif
