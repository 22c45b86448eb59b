// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/parts/file_parts.h"

#include <array>
#include <cstring>
#include <utility>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/images/mpf_index.h"
#include "core/mpo/byte_source.h"
#include "core/mpo/image_role.h"
#include "core/parts/heif_parts.h"
#include "core/parts/jpeg_parts.h"

namespace veltrane::parts {
namespace {

constexpr std::array<std::string_view, 12> kHeifBrands = {"heic", "heix", "hevc", "hevx", "heim", "heis",
                                                          "hevm", "hevs", "mif1", "msf1", "avif", "avis"};

struct MimeExtension {
    std::string_view mime;
    const char* extension;
};
constexpr std::array<MimeExtension, 11> kExtensions = {{
    {"video/mp4", ".mp4"},
    {"video/quicktime", ".mov"},
    {"image/png", ".png"},
    {"image/jpeg", ".jpg"},
    {"image/heic", ".heic"},
    {"image/heif", ".heic"},
    {"image/avif", ".avif"},
    {"application/rdf+xml", ".xmp"},
    {"application/xmp+xml", ".xmp"},
    {"image/tiff", ".tif"},
    {"application/x-exif", ".tif"},
}};

std::string ThreeDigits(int n) {
    std::string s = "000" + std::to_string(n);
    return s.substr(s.size() - 3);
}

// Passes the scan's calls on to listener and keeps the MPF index the scan used.
class IndexKeeper final : public ScanListener {
public:
    explicit IndexKeeper(ScanListener& listener) : listener_(listener) {}
    bool Continue(std::int64_t scannedBytes) override { return listener_.Continue(scannedBytes); }
    void ImageComplete(int n, std::int64_t size) override { listener_.ImageComplete(n, size); }
    void ImageRecorded(int n, std::int64_t offset) override { listener_.ImageRecorded(n, offset); }
    void ImageLimitReached(std::int64_t offset) override { listener_.ImageLimitReached(offset); }
    void MpfIndexIgnored(const std::string& reason) override { listener_.MpfIndexIgnored(reason); }
    void MpfIndexUsed(const MpfIndex& index) override {
        used = index;
        listener_.MpfIndexUsed(index);
    }
    void ChunkRead(std::int64_t offset, std::span<const std::uint8_t> bytes) override {
        listener_.ChunkRead(offset, bytes);
    }
    std::optional<MpfIndex> used;

private:
    ScanListener& listener_;
};

// The hook of the scan and the split.
class JpegAndHeifParts final : public OtherParts {
public:
    JpegAndHeifParts() = default;
    explicit JpegAndHeifParts(HeifItemDecoder decode) : decode_(std::move(decode)) {}

    std::int64_t LastImageEnd(InputFile& file, const ImageIndex& index) const override {
        FileByteSource source(file);
        return LastImageEndBeforeParts(source, index);
    }

    int WriteOtherParts(const ExtractJob& job, const ImageIndex& index) const override {
        InputFile file(job.source);
        if (IsHeifFile(file)) {
            const PartList list = FindHeifParts(file);
            int written = 0;
            for (const FilePart& part : list.parts) {
                if (decode_ && IsHeifImagePart(part))
                    decode_(job.source, part.heifItemId, job.folder + BaseName(job.source) + ThreeDigits(part.number) + ".png");
                else
                    WritePartFile(file, part, 0, PartFileName(job, part));
                ++written;
            }
            return written;
        }
        if (index.ImageCount < 1) return 0;
        FileByteSource source(file);
        const PartList list = FindJpegParts(source, index);
        return WriteOtherPartFiles(job, list, index.ImageStart(1));
    }

private:
    HeifItemDecoder decode_;
};

}  // namespace

bool IsHeifFile(InputFile& file) {
    if (file.Size() < 16) return false;
    std::uint8_t head[32] = {};
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(file.Size(), sizeof head));
    file.ReadAt(0, head, n);
    if (std::memcmp(head + 4, "ftyp", 4) != 0) return false;
    const std::uint32_t boxSize = static_cast<std::uint32_t>(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
    // The major brand, then the compatible brands as far as the head holds them.
    for (std::size_t at = 8; at + 4 <= std::min<std::size_t>(n, boxSize); at += at == 8 ? 8 : 4) {
        const std::string_view brand(reinterpret_cast<const char*>(head + at), 4);
        for (const std::string_view heif : kHeifBrands)
            if (brand == heif) return true;
    }
    return false;
}

FileParts FindFileParts(const std::string& path, const ScanOptions& options, ScanListener& listener) {
    FileParts result;
    {
        InputFile file(path);
        if (IsHeifFile(file)) {
            result.heif = true;
            result.list = FindHeifParts(file);
            return result;
        }
    }
    // The last image's end comes with the parts, found once; the MPF index the scan used gives
    // the images' roles.
    ScanOptions scan = options;
    scan.otherParts = nullptr;
    IndexKeeper keeper(listener);
    ScanImageOffsets(result.index, path, scan, keeper);
    InputFile file(path);
    std::vector<ImageRole> roles;
    if (keeper.used && result.index.ImageCount >= 1) {
        const MpfIndex& mpf = *keeper.used;
        if (static_cast<int>(std::min<std::size_t>(mpf.entries.size(), kMaxImages)) == result.index.ImageCount)
            roles = ImageRolesOfFile(file, mpf);
        roles.resize(std::min<std::size_t>(roles.size(), static_cast<std::size_t>(result.index.ImageCount)));
    }
    FileByteSource source(file);
    result.list = FindJpegPartsEndingImages(source, result.index, roles);
    return result;
}

bool IsImagePart(const FilePart& part) {
    return part.locatedBy == PartLocator::MpfIndex || part.locatedBy == PartLocator::SignatureScan;
}

const OtherParts& PartsBeyondImages() {
    static const JpegAndHeifParts parts;
    return parts;
}

std::unique_ptr<OtherParts> PartsDecodingHeifImages(HeifItemDecoder decode) {
    return std::make_unique<JpegAndHeifParts>(std::move(decode));
}

ScanOptions WithOtherParts(ScanOptions options) {
    options.otherParts = &PartsBeyondImages();
    return options;
}

std::string PartExtension(std::string_view mime) {
    for (const MimeExtension& e : kExtensions)
        if (e.mime == mime) return e.extension;
    return ".bin";
}

std::string PartFileName(const ExtractJob& job, const FilePart& part) {
    return job.folder + BaseName(job.source) + ThreeDigits(part.number) + PartExtension(part.mime);
}

void WritePartFile(InputFile& source, const FilePart& part, std::int64_t primaryStart, const std::string& destPath) {
    if (part.locatedBy == PartLocator::HeifItem && part.kind != PartKind::Other) {
        WriteHeifPartFile(source, part, destPath);
        return;
    }
    AtomicOutputFile out(destPath);
    if (part.InXmp()) {
        FileByteSource bytes(source);
        std::string problem;
        const auto data = XmpPartBytes(bytes, primaryStart, part, problem);
        if (!data) throw InOutError(ioerr::ReadBeyondEnd, source.Path());
        out.Write(data->data(), data->size());
    } else {
        for (const ByteRange& range : part.ranges) {
            if (range.offset < 0 || range.length < 0 || range.offset > source.Size() ||
                range.length > source.Size() - range.offset)
                throw InOutError(ioerr::ReadBeyondEnd, source.Path());
            out.CopyFrom(source, range.offset, range.length);
        }
    }
    out.Commit();
}

int WriteOtherPartFiles(const ExtractJob& job, const PartList& list, std::int64_t primaryStart) {
    InputFile source(job.source);
    int written = 0;
    for (const FilePart& part : list.parts) {
        if (IsImagePart(part)) continue;
        WritePartFile(source, part, primaryStart, PartFileName(job, part));
        ++written;
    }
    return written;
}

}  // namespace veltrane::parts
