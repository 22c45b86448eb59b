// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/stereo_files.h"

#include <algorithm>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/extraction.h"
#include "core/images/scanner.h"
#include "core/heif_boxes/heif_image_metadata.h"
#include "imaging/stereo/compose_internal.h"
#include "imaging/stereo/full_alignment.h"
#include "imaging/stereo/spatial_photos.h"

namespace veltrane::stereo {
namespace {

// Lists nothing; passes on why the file's MPF index was not used.
class NoticeListener : public ScanListener {
public:
    explicit NoticeListener(const MpfIndexNotice& notice) : notice_(notice) {}
    void MpfIndexIgnored(const std::string& reason) override {
        if (notice_) notice_(reason);
    }

private:
    const MpfIndexNotice& notice_;
};

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    if (!IsExistingFile(path)) throw InOutError(ioerr::FileNotFound, path);
    InputFile file(path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(file.Size(), 0)));
    if (!bytes.empty()) file.ReadAt(0, bytes.data(), bytes.size());
    return bytes;
}

namespace {

ImageIndex ScanImages(const std::string& file, const ScanOptions& scan, const MpfIndexNotice& notice) {
    if (!IsExistingFile(file)) throw InOutError(ioerr::FileNotFound, file);
    ImageIndex index;
    NoticeListener listener(notice);
    ScanImageOffsets(index, file, scan, listener);
    return index;
}

// Images first and second of the scanned file.
std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> ReadIndexedPair(const std::string& file,
                                                                               const ImageIndex& index, int first,
                                                                               int second) {
    if (index.ImageCount < 2)
        throw StereoError("holds " + std::to_string(index.ImageCount) + (index.ImageCount == 1 ? " image" : " images") +
                          "; a stereo pair needs two");
    if (first > index.ImageCount || second > index.ImageCount)
        throw StereoError("--pair " + std::to_string(first) + "," + std::to_string(second) +
                          ": the file holds only " + std::to_string(index.ImageCount) + " images");
    return {ReadImageBytes(file, index, first), ReadImageBytes(file, index, second)};
}

}  // namespace

std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> ReadPair(const std::string& file, int first,
                                                                        int second, const ScanOptions& scan,
                                                                        const MpfIndexNotice& notice) {
    return ReadIndexedPair(file, ScanImages(file, scan, notice), first, second);
}

StereoPair ReadStereoPair(const std::string& file, int first, int second, bool pairChosen, const CodecLimits& limits,
                          const ScanOptions& scan, const MpfIndexNotice& notice) {
    if (!pairChosen && HasJpsName(file)) return SplitJps(ReadWholeFile(file), limits);
    if (IsExistingFile(file) && heif_boxes::IsHeifFile(file)) {
        if (pairChosen) throw StereoError("--pair is for MPO files: a spatial photo holds one pair");
        return ReadSpatialPair(file, limits);
    }
    const ImageIndex index = ScanImages(file, scan, notice);
    if (!pairChosen && index.ImageCount < 2) {
        // A JPEG file of one image: a JPS image when its header says so.
        const std::vector<std::uint8_t> bytes = ReadWholeFile(file);
        if (FindJpsDescriptor(bytes)) return SplitJps(bytes, limits);
    }
    auto [left, right] = ReadIndexedPair(file, index, first, second);
    return {std::move(left), std::move(right), {}};
}

namespace {

// What a picture says about the pair it was made of: never lossless when the pair was coded
// again, and "from HEVC" first for the eyes of a spatial photo (a heic picture of them is
// HEVC again, and says only that).
void NoteReencodedPair(StereoPicture& picture, const StereoPair& pair, Layout layout) {
    if (pair.reencodeReason.empty()) return;
    if (picture.lossless) {
        picture.lossless = false;
        picture.reencodeReason = pair.reencodeReason;
    } else if (pair.fromOtherCodec && layout != Layout::Heic && !picture.reencodeReason.empty()) {
        picture.reencodeReason = pair.reencodeReason + ", " + picture.reencodeReason;
    }
}

}  // namespace

namespace {

// The options with a spatial photo source's camera values, for the values not given.
StereoOptions WithSourceCamera(const StereoOptions& options, const StereoPair& pair) {
    StereoOptions with = options;
    const auto& c = pair.camera;
    if (c.baselineMm || c.horizontalFov || c.disparityAdjustment) with.camera.source = c;
    return with;
}

}  // namespace

StereoPicture ComposePair(const StereoPair& pair, const StereoOptions& options) {
    StereoPicture picture = ComposeStereo(pair.left, pair.right, WithSourceCamera(options, pair));
    NoteReencodedPair(picture, pair, options.layout);
    return picture;
}

void WritePicture(const StereoPicture& picture, const std::string& path) {
    AtomicOutputFile file(path);
    file.Write(picture.bytes.data(), picture.bytes.size());
    file.Commit();
}

WrittenPicture WriteStereo(const StereoPair& pair, const StereoOptions& options, const std::string& path) {
    if (options.alignFull && !ComposedFromWarp(options.layout)) {
        // The corrected pair is made before the output is touched: a pair that cannot be
        // aligned leaves nothing behind. (The other layouts are composed in memory from the
        // warps, below, before the file is written.)
        AlignedPair aligned = AlignFully(pair.left, pair.right, options);
        aligned.pair.reencodeReason = pair.reencodeReason;
        aligned.pair.fromOtherCodec = pair.fromOtherCodec;
        WrittenPicture written = WriteStereo(aligned.pair, aligned.options, path);
        NoteAligned(written.picture, aligned.correction);
        return written;
    }
    WrittenPicture written;
    if (options.layout == Layout::Mpo) {
        const MpoImages mpo = ComposeMpoImages(pair.left, pair.right, options);
        written.fileSize = WriteMpoPicture(mpo, path);
        written.picture = mpo.picture;
    } else {
        written.picture = ComposeStereo(pair.left, pair.right, WithSourceCamera(options, pair));
        WritePicture(written.picture, path);
        written.fileSize = static_cast<std::int64_t>(written.picture.bytes.size());
        written.picture.bytes = {};
    }
    NoteReencodedPair(written.picture, pair, options.layout);
    return written;
}

std::string DefaultStereoName(const std::string& source, Layout layout) {
    const std::size_t nameStart = source.size() - FileNamePart(source).size();
    const std::size_t dot = source.rfind('.');
    const std::string stem = dot != std::string::npos && dot > nameStart ? source.substr(0, dot) : source;
    switch (layout) {
        case Layout::Cross: return stem + ".jps";
        case Layout::Parallel: return stem + "_parallel.jpg";
        case Layout::Anaglyph: return stem + "_anaglyph.jpg";
        case Layout::OverUnder: return stem + "_overunder.jpg";
        case Layout::HalfSideBySide: return stem + "_halfsbs.jpg";
        case Layout::HalfOverUnder: return stem + "_halfou.jpg";
        case Layout::Interlaced: return stem + "_interlaced.png";
        case Layout::Wiggle: return stem + "_wiggle.gif";
        case Layout::Mpo: return stem + "_stereo.mpo";
        case Layout::Heic: return stem + "_spatial.heic";
    }
    return stem;
}

}  // namespace veltrane::stereo
