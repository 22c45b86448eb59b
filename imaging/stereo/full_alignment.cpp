// SPDX-License-Identifier: GPL-3.0-or-later
// Full alignment through the JPEG codec of this library: the eyes decoded on two threads, the
// correction measured, then each eye warped a band of rows at a time straight into its encoder,
// again on two threads, so that besides the two decoded eyes only a band each is held.
#include "imaging/stereo/full_alignment.h"

#include <algorithm>
#include <future>

#include "imaging/align/pair_alignment.h"
#include "imaging/stereo/image_writers.h"

namespace veltrane::stereo {
namespace {

// The eyes are coded once more before the layout is made of them: high enough that this adds
// little to the warp's own softening.
constexpr int kAlignedQuality = 97;
// Rows warped at a time.
constexpr int kBand = 64;

struct DecodedEye {
    RgbImage rgb;
    std::vector<std::uint8_t> exif;
    std::vector<std::vector<std::uint8_t>> icc;
    int hSampling = 2, vSampling = 2;  // of the input's luma; 2 x 2 for a grey input
};

DecodedEye DecodeEye(std::span<const std::uint8_t> bytes, const CodecLimits& limits, const char* name) {
    Decoder decoder(bytes, limits, name);
    decoder.ReadHeader(true);
    jpeg_decompress_struct& info = decoder.info;
    DecodedEye eye;
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
    eye.rgb = RgbImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    while (info.output_scanline < info.output_height) {
        std::array<JSAMPROW, 16> rows{};
        const int first = static_cast<int>(info.output_scanline);
        const int count = std::min<int>(static_cast<int>(rows.size()), eye.rgb.height - first);
        for (int i = 0; i < count; ++i) rows[static_cast<std::size_t>(i)] = eye.rgb.Row(first + i);
        Guarded(decoder.errors, decoder.Failure().c_str(),
                [&] { jpeg_read_scanlines(&info, rows.data(), static_cast<JDIMENSION>(count)); });
    }
    return eye;
}

align::RgbView ViewOf(const RgbImage& image) {
    return {image.pixels.data(), image.width, image.height, static_cast<std::ptrdiff_t>(image.RowBytes())};
}

std::vector<std::uint8_t> EncodeCorrected(const DecodedEye& eye, const align::PlaneMap& map,
                                          const align::PairCorrection& correction) {
    JpegSettings jpeg;
    jpeg.quality = kAlignedQuality;
    jpeg.hSampling = eye.hSampling;
    jpeg.vSampling = eye.vSampling;
    jpeg.exif = eye.exif;
    if (!jpeg.exif.empty())
        PatchExifDimensions(jpeg.exif, static_cast<std::uint32_t>(correction.outWidth),
                            static_cast<std::uint32_t>(correction.outHeight));
    jpeg.icc = eye.icc;
    jpeg.expectedSize = static_cast<std::size_t>(correction.outWidth) * static_cast<std::size_t>(correction.outHeight) / 2;
    const std::unique_ptr<RowWriter> out = NewJpegWriter(correction.outWidth, correction.outHeight, jpeg);
    RgbImage band(correction.outWidth, kBand);
    for (int y = 0; y < correction.outHeight; y += kBand) {
        const int rows = std::min(kBand, correction.outHeight - y);
        try {
            align::WarpRows(ViewOf(eye.rgb), map, correction.outWidth, y, rows, band.Row(0),
                            static_cast<std::ptrdiff_t>(band.RowBytes()));
        } catch (const align::AlignError& e) {
            throw StereoError(std::string("cannot align: ") + e.what());
        }
        for (int r = 0; r < rows; ++r) out->WriteRow(band.Row(r));
    }
    return out->Finish();
}

}  // namespace

AlignedPair AlignFully(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                       const StereoOptions& options) {
    // Messages name each image by its place in the pair, whichever eye it serves.
    std::span<const std::uint8_t> leftEye = left, rightEye = right;
    const char* leftName = "left image";
    const char* rightName = "right image";
    if (options.swap) {
        std::swap(leftEye, rightEye);
        std::swap(leftName, rightName);
    }
    // Declared before the future that writes into it, so that the future is waited for first.
    DecodedEye r;
    auto rightDecoded = std::async(std::launch::async, [&] { r = DecodeEye(rightEye, options.limits, rightName); });
    DecodedEye l = DecodeEye(leftEye, options.limits, leftName);
    rightDecoded.get();
    if (l.rgb.height != r.rgb.height)
        throw StereoError("the two images differ in height (" + std::to_string(l.rgb.height) + " and " +
                          std::to_string(r.rgb.height) + " pixels)");

    align::AlignSettings settings;
    settings.keystone = options.keystone;
    align::PairCorrection correction;
    try {
        correction = align::MeasureCorrection(ViewOf(l.rgb), ViewOf(r.rgb), settings);
    } catch (const align::AlignError& e) {
        throw StereoError(std::string("cannot align: ") + e.what());
    }
    AlignedPair aligned;
    auto rightCoded = std::async(std::launch::async, [&] { return EncodeCorrected(r, correction.rightSource, correction); });
    aligned.pair.left = EncodeCorrected(l, correction.leftSource, correction);
    aligned.pair.right = rightCoded.get();
    aligned.options = options;
    aligned.options.alignFull = false;
    aligned.options.keystone = false;
    aligned.options.align = false;
    aligned.options.swap = false;
    aligned.correction = align::CorrectionWords(correction);
    return aligned;
}

void NoteAligned(StereoPicture& picture, const AlignedPair& aligned) {
    if (picture.lossless) {
        picture.lossless = false;
        picture.reencodeReason.clear();
    }
    picture.correction = aligned.correction;
}

}  // namespace veltrane::stereo
