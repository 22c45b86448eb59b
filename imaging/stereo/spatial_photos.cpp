// SPDX-License-Identifier: GPL-3.0-or-later
// Spatial photos through libheif: the eyes decoded one at a time, each coded as JPEG (or scaled
// down for a preview) and let go before the next is decoded; the heic layout's eyes decoded from
// their JPEG images one at a time and encoded with x265.
#include "imaging/stereo/spatial_photos.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "imaging/heif/spatial_photo.h"
#include "imaging/stereo/resample.h"
#include "imaging/stereo/spatial_jpeg.h"

namespace veltrane::stereo {
namespace {

// The quality of the eyes' JPEG images: nothing is lossless across codecs, so high enough that
// the JPEG coding adds little to what HEVC lost.
constexpr int kEyeQuality = 95;

// Gives the heap's free pages back to the system. --stereo keeps freed memory in its heap for
// the codec's next arrays (main's allocator settings); after a decoder's or an encoder's work
// space is let go, the next step (the composition of the pair, the other eye's x265 run) asks
// for arrays of other sizes and would otherwise be added on top of it.
void ReleaseFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

heif::SpatialReadOptions ReadOptions(const CodecLimits& limits) {
    heif::SpatialReadOptions options;
    options.maxPixelsPerEye = limits.maxPixels;
    return options;
}

// The decoded eye at width x height: Lanczos-3 across each row as it is converted, then down
// the columns, streaming; only the filter's rows are held besides the result.
RgbImage ScaledRgb(const heif::DecodedEye& eye, int width, int height) {
    RgbImage out(width, height);
    const FilterTaps across = LanczosTaps(0, eye.Width(), eye.Width(), width);
    VerticalResampler down(LanczosTaps(0, eye.Height(), eye.Height(), height), out.RowBytes());
    std::vector<std::uint8_t> row(static_cast<std::size_t>(eye.Width()) * 3), narrow(out.RowBytes());
    const int rowsNeeded = down.SourceRowsNeeded();
    for (int y = 0; y < rowsNeeded; ++y) {
        eye.RgbRows(y, 1, row.data(), row.size());
        ResampleRow(row.data(), narrow.data(), across);
        down.Add(narrow.data(), [&](int outRow, const std::uint8_t* resampled) {
            std::copy(resampled, resampled + out.RowBytes(), out.Row(outRow));
        });
    }
    return out;
}

}  // namespace

bool SpatialPhotosAvailable() { return true; }

StereoPair ReadSpatialPair(const std::string& path, const CodecLimits& limits) {
    StereoPair pair;
    try {
        const heif::SpatialPhoto photo = heif::SpatialPhoto::Open(path, ReadOptions(limits));
        pair.camera = heif_boxes::ReadStereoCamera(photo.Structure());
        for (const heif::Eye eye : {heif::Eye::Left, heif::Eye::Right}) {
            // The decoded eye lives for this round only: one is held at a time.
            const heif::DecodedEye decoded = photo.Decode(eye);
            (eye == heif::Eye::Left ? pair.left : pair.right) = EyeJpeg(decoded, photo.Metadata(eye), kEyeQuality);
        }
    } catch (const heif::HeifError& e) {
        throw StereoError(e.what());
    }
    ReleaseFreedMemory();
    pair.reencodeReason = "from HEVC";
    pair.fromOtherCodec = true;
    return pair;
}

Eyes DecodeSpatialEyes(const std::string& path, int maxSide, const CodecLimits& limits, int& fullWidth,
                       int& fullHeight) {
    Eyes eyes;
    try {
        const heif::SpatialPhoto photo = heif::SpatialPhoto::Open(path, ReadOptions(limits));
        fullWidth = photo.Width(heif::Eye::Left);
        fullHeight = photo.Height(heif::Eye::Left);
        const int longer = std::max(fullWidth, fullHeight);
        eyes.scaleEighths = 1;
        while (eyes.scaleEighths < 8 && longer * eyes.scaleEighths < maxSide * 8) ++eyes.scaleEighths;
        for (const heif::Eye eye : {heif::Eye::Left, heif::Eye::Right}) {
            const heif::DecodedEye decoded = photo.Decode(eye);
            // Rounded up, as libjpeg's scaled sizes are.
            const int width = (decoded.Width() * eyes.scaleEighths + 7) / 8;
            const int height = (decoded.Height() * eyes.scaleEighths + 7) / 8;
            (eye == heif::Eye::Left ? eyes.left : eyes.right) = ScaledRgb(decoded, width, height);
        }
    } catch (const heif::HeifError& e) {
        throw StereoError(e.what());
    }
    return eyes;
}

std::vector<std::uint8_t> EncodeSpatialPhoto(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                                             int quality, const heif_boxes::StereoCamera& camera,
                                             const CodecLimits& limits) {
    try {
        heif::SpatialPhotoWriter writer({.quality = quality, .camera = camera});
        for (const heif::Eye eye : {heif::Eye::Left, heif::Eye::Right}) {
            const bool isLeft = eye == heif::Eye::Left;
            // Decoded, encoded and let go before the other eye is decoded.
            {
                const JpegEye jpeg = DecodeJpegEye(isLeft ? left : right, limits, true, isLeft ? "left image" : "right image");
                AddJpegEye(writer, eye, jpeg);
            }
            ReleaseFreedMemory();
        }
        return writer.Finish();
    } catch (const heif::HeifError& e) {
        throw StereoError(e.what());
    }
}

}  // namespace veltrane::stereo
