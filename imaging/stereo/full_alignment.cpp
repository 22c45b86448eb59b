// SPDX-License-Identifier: GPL-3.0-or-later
// Full alignment through the JPEG codec of this library: the eyes decoded on two threads and
// the correction measured; coded again, each eye is warped a row at a time straight into its
// encoder, the two on two threads, so that besides the two decoded eyes only the warps'
// windows are held.
#include "imaging/stereo/full_alignment.h"

#include <algorithm>
#include <future>

#include "imaging/align/eye_warp.h"
#include "imaging/stereo/image_writers.h"

namespace veltrane::stereo {
namespace {

// The eyes are coded once more before the layout is made of them: high enough that this adds
// little to the warp's own softening.
constexpr int kAlignedQuality = 97;

CorrectedEye DecodeEye(std::span<const std::uint8_t> bytes, const CodecLimits& limits, const char* name) {
    Decoder decoder(bytes, limits, name);
    decoder.ReadHeader(true);
    jpeg_decompress_struct& info = decoder.info;
    CorrectedEye eye;
    eye.exif = decoder.ExifSegment();
    eye.icc = decoder.IccSegments();
    if (info.num_components == 3) {
        eye.hSampling = info.comp_info[0].h_samp_factor;
        eye.vSampling = info.comp_info[0].v_samp_factor;
    }
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
    });
    eye.sourceWidth = static_cast<int>(info.output_width);
    eye.sourceHeight = static_cast<int>(info.output_height);
    const std::size_t rowBytes = static_cast<std::size_t>(eye.sourceWidth) * 3;
    eye.pixels = std::make_unique_for_overwrite<std::uint8_t[]>(rowBytes * static_cast<std::size_t>(eye.sourceHeight));
    while (info.output_scanline < info.output_height) {
        std::array<JSAMPROW, 16> rows{};
        const int first = static_cast<int>(info.output_scanline);
        const int count = std::min<int>(static_cast<int>(rows.size()), eye.sourceHeight - first);
        for (int i = 0; i < count; ++i)
            rows[static_cast<std::size_t>(i)] = eye.pixels.get() + static_cast<std::size_t>(first + i) * rowBytes;
        Guarded(decoder.errors, decoder.Failure().c_str(),
                [&] { jpeg_read_scanlines(&info, rows.data(), static_cast<JDIMENSION>(count)); });
    }
    return eye;
}

std::vector<std::uint8_t> EncodeEye(const CorrectedEye& eye) {
    const int width = eye.width, height = eye.height;
    JpegSettings jpeg;
    jpeg.quality = kAlignedQuality;
    jpeg.hSampling = eye.hSampling;
    jpeg.vSampling = eye.vSampling;
    jpeg.exif = eye.exif;
    if (!jpeg.exif.empty())
        PatchExifDimensions(jpeg.exif, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    jpeg.icc = eye.icc;
    jpeg.expectedSize = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / 2;
    const std::unique_ptr<RowWriter> out = NewJpegWriter(width, height, jpeg);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    try {
        align::EyeWarp warp(eye.View(), eye.map, width, height);
        for (int y = 0; y < height; ++y) {
            warp.NextRow(row.data());
            out->WriteRow(row.data());
        }
    } catch (const align::AlignError& e) {
        throw StereoError(std::string("cannot align: ") + e.what());
    }
    return out->Finish();
}

}  // namespace

MeasuredPair MeasurePair(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                         const StereoOptions& options) {
    // Messages name each image by its place in the pair, whichever eye it serves.
    std::span<const std::uint8_t> leftEye = left, rightEye = right;
    const char* leftName = "left image";
    const char* rightName = "right image";
    if (options.swap) {
        std::swap(leftEye, rightEye);
        std::swap(leftName, rightName);
    }
    MeasuredPair measured;
    {
        // (The future's destructor waits for the right eye also when the left eye fails.)
        auto rightDecoded = std::async(std::launch::async, [&] { return DecodeEye(rightEye, options.limits, rightName); });
        measured.left = DecodeEye(leftEye, options.limits, leftName);
        measured.right = rightDecoded.get();
    }
    if (measured.left.sourceHeight != measured.right.sourceHeight)
        throw StereoError("the two images differ in height (" + std::to_string(measured.left.sourceHeight) + " and " +
                          std::to_string(measured.right.sourceHeight) + " pixels)");

    align::AlignSettings settings;
    settings.keystone = options.keystone;
    align::PairCorrection correction;
    try {
        correction = align::MeasureCorrection(measured.left.View(), measured.right.View(), settings);
    } catch (const align::AlignError& e) {
        throw StereoError(std::string("cannot align: ") + e.what());
    }
    measured.left.map = correction.leftSource;
    measured.right.map = correction.rightSource;
    for (CorrectedEye* eye : {&measured.left, &measured.right}) {
        eye->width = correction.outWidth;
        eye->height = correction.outHeight;
    }
    measured.options = options;
    measured.options.alignFull = false;
    measured.options.keystone = false;
    measured.options.align = false;
    measured.options.swap = false;
    measured.correction = align::CorrectionWords(correction);
    return measured;
}

AlignedPair EncodeCorrected(const MeasuredPair& measured) {
    AlignedPair aligned;
    auto rightCoded =
        std::async(std::launch::async, [&] { return EncodeEye(measured.right); });
    aligned.pair.left = EncodeEye(measured.left);
    aligned.pair.right = rightCoded.get();
    aligned.options = measured.options;
    aligned.correction = measured.correction;
    return aligned;
}

AlignedPair AlignFully(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                       const StereoOptions& options) {
    return EncodeCorrected(MeasurePair(left, right, options));
}

bool ComposedFromWarp(Layout layout) {
    switch (layout) {
        case Layout::Wiggle:
        case Layout::Mpo:
        case Layout::Heic: return false;
        default: return true;
    }
}

void NoteAligned(StereoPicture& picture, const std::string& correction) {
    if (picture.lossless) {
        picture.lossless = false;
        picture.reencodeReason.clear();
    }
    picture.correction = correction;
}

}  // namespace veltrane::stereo
