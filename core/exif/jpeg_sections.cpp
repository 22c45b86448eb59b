#include "core/exif/jpeg_sections.h"

#include <algorithm>
#include <cstring>
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
class TimgData::ByteStream {
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
        chunk_.resize(kChunkSize);
        std::size_t got = 0;
        if (left_ >= 0) {
            // A range: chunks read at their offsets, never past the range's end.
            got = static_cast<std::size_t>(std::min<std::int64_t>(left_, static_cast<std::int64_t>(kChunkSize)));
            if (got > 0) file_->ReadAt(next_, chunk_.data(), got);
            next_ += static_cast<std::int64_t>(got);
            left_ -= static_cast<std::int64_t>(got);
        } else {
            got = file_->Read(chunk_.data(), chunk_.size());
        }
        cur_ = chunk_.data();
        end_ = cur_ + got;
        return got > 0;
    }

    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    InputFile* file_ = nullptr;
    std::int64_t next_ = 0;   // file offset of the next chunk of a range
    std::int64_t left_ = -1;  // bytes of the range not yet read; -1: no range, read to the end
    std::vector<std::uint8_t> chunk_;
};

namespace {

enum class FileKind { Jpeg, Tiff, Other };

// The extension of the file name (from its last dot, dot included) in lower case decides.
FileKind KindOfName(std::string_view path) {
    std::size_t nameStart = 0;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (IsPathSeparator(path[i])) nameStart = i + 1;
    const std::string_view name = path.substr(nameStart);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return FileKind::Other;
    const std::string ext = LowerAscii(name.substr(dot));
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") return FileKind::Jpeg;
    if (ext == ".tif" || ext == ".tiff" || ext == ".nef") return FileKind::Tiff;
    return FileKind::Other;
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

constexpr const char* kEndOfData = "Read beyond end of file";

}  // namespace

TimgData::TimgData(int collectMode, ReaderParts parts) : CollectMode(collectMode), Parts(parts) {
    ClearAll();
}

TimgData::~TimgData() = default;

void TimgData::ClearAll() {
    SectionCount = 0;
    ExifSection = nullptr;
    IptcSection = nullptr;
    CommentSection = nullptr;
    ErrorText.clear();
    ImageInfo.reset();
    IptcInfo.reset();
    BigEndian = false;
    WorkBuffer = {};
}

bool TimgData::HasAnyMetadata() const {
    return ExifSection != nullptr || CommentSection != nullptr || IptcSection != nullptr;
}

bool TimgData::OpenFile(const std::string& path) {
    ClearAll();
    if (!IsExistingFile(path)) return false;
    const bool ranThrough = RanWithoutReaderError([&] {
        ErrorText = "Not an EXIF file";
        if (KindOfName(path) != FileKind::Other) {
            InputFile file(path);
            ByteStream stream(file);
            if (Load(stream, path)) ErrorText = "<none>";
        }
    });
    if (!ranThrough) ErrorText = "Illegal Exif construction";
    return HasAnyMetadata();
}

bool TimgData::OpenFileRange(const std::string& path, std::int64_t offset, std::int64_t length,
                             std::string_view fileName) {
    ClearAll();
    if (!IsExistingFile(path)) return false;
    const bool ranThrough = RanWithoutReaderError([&] {
        ErrorText = "Not an EXIF file";
        if (KindOfName(fileName) != FileKind::Other) {
            InputFile file(path);
            ByteStream stream(file, offset, length);
            if (Load(stream, fileName)) ErrorText = "<none>";
        }
    });
    if (!ranThrough) ErrorText = "Illegal Exif construction";
    return HasAnyMetadata();
}

bool TimgData::OpenBuffer(std::span<const std::uint8_t> bytes, std::string_view fileName) {
    ClearAll();
    const bool ranThrough = RanWithoutReaderError([&] {
        ErrorText = "Not an EXIF file";
        ByteStream stream(bytes);
        if (Load(stream, fileName)) ErrorText = "<none>";
    });
    if (!ranThrough) ErrorText = "Illegal Exif construction";
    return HasAnyMetadata();
}

bool TimgData::Load(ByteStream& stream, std::string_view fileName) {
    switch (KindOfName(fileName)) {
        case FileKind::Jpeg: return LoadJpeg(stream);
        case FileKind::Tiff: return LoadTiff(stream);
        case FileKind::Other: break;
    }
    return false;
}

bool TimgData::LoadJpeg(ByteStream& stream) {
    TiffMode = false;
    bool ok = false;
    // On an error the sections, ImageInfo and IptcInfo built so far stay.
    RanWithoutReaderError([&] { ok = WalkJpegMarkers(stream); });
    return ok;
}

bool TimgData::LoadTiff(ByteStream& stream) {
    TiffMode = true;
    bool ok = false;
    RanWithoutReaderError([&] { ok = ReadTiffStream(stream); });
    TiffMode = false;
    return ok;
}

// A JPEG file is FF D8 followed by marker sections:
//   FF (any number of FF fill bytes) marker
//   2 bytes  big-endian length, counting these two bytes
//   length - 2 bytes of payload
// The walk stores up to 20 sections and stops at start of scan (DA) or end of image (D9).
bool TimgData::WalkJpegMarkers(ByteStream& stream) {
    const int first = stream.Get();
    const int second = stream.Get();
    if (first != 0xFF || second != 0xD8) return false;

    SectionCount = 0;
    while (SectionCount < kMaxStoredSections) {
        int marker = 0;
        do {
            marker = stream.Get();
            if (marker < 0) throw ExifError(kEndOfData);
        } while (marker == 0xFF);

        ++SectionCount;
        tSection& section = Section(SectionCount);
        section.SectionMarker = marker;
        section.SectionLength = 0;
        section.SectionBytes.clear();
        const int hi = stream.Get();
        const int lo = stream.Get();
        if (hi < 0 || lo < 0) throw ExifError(kEndOfData);
        const int length = hi * 256 + lo;
        section.SectionLength = length;
        if (length < 2) {
            // Lengths 0 and 1 cannot even cover the length field: the load fails.
            section.SectionBytes.push_back(static_cast<char>(hi));
            section.SectionBytes.push_back(static_cast<char>(lo));
            throw ExifError("Illegal section length");
        }
        // A reader serving name lookups looks into the EXIF section alone; the payload of any
        // other section is passed over unstored.
        const bool keep = OnlyTagNames.empty() || (marker == 0xE1 && SectionCount <= 5 && ExifSection == nullptr);
        try {
            if (keep) {
                section.SectionBytes.assign(static_cast<std::size_t>(length), '\0');
                section.SectionBytes[0] = static_cast<char>(hi);
                section.SectionBytes[1] = static_cast<char>(lo);
                // A read cut short by the end of the file leaves the rest zero; not an error.
                stream.Read(section.SectionBytes.data() + 2, static_cast<std::size_t>(length - 2));
            } else {
                stream.Skip(static_cast<std::size_t>(length - 2));
            }
        } catch (const InOutError&) {
            continue;  // the section stays stored but is not looked at
        }

        // Without a comment, IPTC or EXIF section among the first four, the fifth ends the walk.
        if (SectionCount == 5 && !HasAnyMetadata()) break;

        switch (marker) {
            case 0xD9:  // end of image
            case 0xDA:  // start of scan
                return HasAnyMetadata();
            case 0xE1:  // APP1: only the first, and only within the first five sections
                if (SectionCount > 5 || ExifSection != nullptr) {
                    --SectionCount;  // the slot is reused by the next section
                } else {
                    ExifSection = &section;
                    ImageInfo = NewImageInfo();
                    WorkBuffer = section.SectionBytes;
                    CheckExifHeader();
                }
                break;
            case 0xED:  // APP13
                if (IptcSection == nullptr) {
                    IptcSection = &section;
                    if (keep && Parts.NewIptcReader != nullptr) IptcInfo = Parts.NewIptcReader(*this);
                }
                break;
            case 0xFE:  // COM: the last one wins
                CommentSection = &section;
                break;
            default:
                break;
        }
    }
    return HasAnyMetadata();
}

std::unique_ptr<TImageInfo> TimgData::NewImageInfo() {
    auto info = std::make_unique<TImageInfo>(this, CollectMode);
    info->OnlyTagNames = OnlyTagNames;
    info->DecodeMakerNote = Parts.DecodeMakerNote;
    return info;
}

// The accepted APP1 section, as 1-based positions of its SectionBytes:
//   1-2   length
//   3-8   "Exif" NUL NUL (only the first five bytes are compared)
//   9-10  "II" or "MM": the TIFF header's byte order
//   11-12 42
//   13-16 offset of the first directory, counted from position 9
void TimgData::CheckExifHeader() {
    if (!ImageInfo) ImageInfo = NewImageInfo();
    // Header bytes beyond the end of the section count as a mismatch.
    if (WorkBuffer.size() < 2 + ExifMagic.size() || WorkBuffer.substr(2, ExifMagic.size()) != ExifMagic) {
        ErrorText = "Incorrect Exif header";
        return;
    }
    const std::string_view mark = WorkBuffer.size() >= 10 ? WorkBuffer.substr(8, 2) : std::string_view{};
    if (mark == "II") {
        BigEndian = false;
    } else if (mark == "MM") {
        BigEndian = true;
    } else {
        ErrorText = "Invalid Exif alignment marker";
        return;
    }
    ImageInfo->InfoText.clear();
    ImageInfo->WorkBuffer = WorkBuffer;
    ImageInfo->BigEndian = BigEndian;
    // A section too short to hold the offset raises here, which ends the load as failed.
    const std::int64_t first = ReadUInt32At(13);
    const std::int64_t start = first == 0 ? 17 : first + 9;
    ImageInfo->WalkDirectory(start, 9, kImageDirectory, std::int64_t{ExifSection->SectionLength} - 6);
    ImageInfo->DeriveFilmFocalLength();
}

// A TIFF-structured file:
//   2 bytes  "II" or "MM"
//   2 bytes  42, 4 bytes offset of the first directory: neither is looked at
//   the rest: up to TiffReadSize bytes go into slot 1, whose position 1 is file offset 8; the
//   first directory is always taken to start there. Bytes past the end of the file are zero.
bool TimgData::ReadTiffStream(ByteStream& stream) {
    char mark[2] = {0, 0};
    if (stream.Read(mark, 2) < 2) return false;
    const std::string_view markText(mark, 2);
    if (markText != "II" && markText != "MM") return false;

    tSection& slot = Section(1);
    char header[6];
    stream.Read(header, sizeof header);
    slot.SectionBytes.assign(static_cast<std::size_t>(TiffReadSize), '\0');
    stream.Read(slot.SectionBytes.data(), slot.SectionBytes.size());
    SectionCount = 1;
    ExifSection = &slot;

    ImageInfo = NewImageInfo();
    ImageInfo->TiffMode = TiffMode;
    ImageInfo->InfoText.clear();
    WorkBuffer = slot.SectionBytes;
    ImageInfo->WorkBuffer = WorkBuffer;
    ImageInfo->BigEndian = markText == "MM";
    ImageInfo->WalkDirectory(1, -7, kImageDirectory, TiffReadSize);
    ImageInfo->DeriveFilmFocalLength();
    return true;
}

}  // namespace veltrane::exif
