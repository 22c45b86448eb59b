// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/heif_spatial/jpeg_eyes.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/stereo/jpeg_codec.h"
#include "imaging/stereo/spatial_jpeg.h"

namespace veltrane::heif_tool {
namespace {

constexpr std::size_t RoundUp(std::size_t v, std::size_t m) { return (v + m - 1) / m * m; }
constexpr const char* kFailure = "the side-by-side JPEG cannot be written";

// Rows [first, first + count) of two planes side by side into band rows of stride bytes: rows
// past the planes repeat their last row, columns past them the last column.
void FillBand(std::uint8_t* band, std::size_t stride, const std::uint8_t* a, std::size_t aStride, std::size_t aWidth,
              const std::uint8_t* b, std::size_t bStride, std::size_t bWidth, int first, int count, int lastRow,
              JSAMPROW* rows) {
    for (int r = 0; r < count; ++r) {
        const auto source = static_cast<std::size_t>(std::min(first + r, lastRow));
        std::uint8_t* row = band + static_cast<std::size_t>(r) * stride;
        std::memcpy(row, a + source * aStride, aWidth);
        std::memcpy(row + aWidth, b + source * bStride, bWidth);
        std::memset(row + aWidth + bWidth, row[aWidth + bWidth - 1], stride - aWidth - bWidth);
        rows[r] = row;
    }
}

}  // namespace

std::vector<std::uint8_t> ParallelJpeg(const heif::SpatialPhoto& photo, int quality) {
    const heif::DecodedEye left = photo.Decode(heif::Eye::Left);
    const heif::DecodedEye right = photo.Decode(heif::Eye::Right);
    if (left.Height() != right.Height()) throw heif::HeifError("the eyes differ in height");
    const int wl = left.Width(), wr = right.Width(), height = left.Height();
    const std::size_t width = static_cast<std::size_t>(wl) + static_cast<std::size_t>(wr);
    const auto rawLeft = left.JpegYcbcr420(), rawRight = right.JpegYcbcr420();
    const bool raw = rawLeft && rawRight && wl % 2 == 0;
    const heif::EyeMetadata& metadata = photo.Metadata(heif::Eye::Left);
    std::vector<std::uint8_t> exif;
    if (!metadata.exifTiff.empty() && metadata.exifTiff.size() <= 65533 - 6) {
        exif.resize(6 + metadata.exifTiff.size());
        std::memcpy(exif.data(), "Exif\0", 6);
        std::copy(metadata.exifTiff.begin(), metadata.exifTiff.end(), exif.begin() + 6);
    }
    const auto icc = stereo::IccSegments(metadata.iccProfile);

    stereo::Encoder out(width * static_cast<std::size_t>(height) / 4);
    jpeg_compress_struct& info = out.info;
    // Band buffers: 16 rows of luma and 8 of each chroma plane (raw), or 16 RGB rows.
    const std::size_t yStride = RoundUp(width, 16), chromaStride = yStride / 2;
    std::vector<std::uint8_t> band(raw ? yStride * 16 + chromaStride * 16 : width * 3 * 16);
    std::array<JSAMPROW, 32> rows{};
    stereo::StartEyeEncoding(out, static_cast<int>(width), height, quality, raw, exif, icc, kFailure);
    for (int y0 = 0; y0 < height; y0 += 16) {
        if (raw) {
            std::uint8_t* yBand = band.data();
            std::uint8_t* cbBand = yBand + yStride * 16;
            std::uint8_t* crBand = cbBand + chromaStride * 8;
            const std::size_t cl = static_cast<std::size_t>(wl) / 2, cr = (static_cast<std::size_t>(wr) + 1) / 2;
            const int chromaLast = (height + 1) / 2 - 1;
            FillBand(yBand, yStride, rawLeft->y, rawLeft->yStride, static_cast<std::size_t>(wl), rawRight->y,
                     rawRight->yStride, static_cast<std::size_t>(wr), y0, 16, height - 1, rows.data());
            FillBand(cbBand, chromaStride, rawLeft->cb, rawLeft->chromaStride, cl, rawRight->cb, rawRight->chromaStride,
                     cr, y0 / 2, 8, chromaLast, rows.data() + 16);
            FillBand(crBand, chromaStride, rawLeft->cr, rawLeft->chromaStride, cl, rawRight->cr, rawRight->chromaStride,
                     cr, y0 / 2, 8, chromaLast, rows.data() + 24);
            JSAMPARRAY planes[3] = {rows.data(), rows.data() + 16, rows.data() + 24};
            stereo::Guarded(out.errors, kFailure, [&] { jpeg_write_raw_data(&info, planes, 16); });
        } else {
            const int count = std::min(16, height - y0);
            left.RgbRows(y0, count, band.data(), width * 3);
            right.RgbRows(y0, count, band.data() + static_cast<std::size_t>(wl) * 3, width * 3);
            for (int r = 0; r < count; ++r) rows[static_cast<std::size_t>(r)] = band.data() + static_cast<std::size_t>(r) * width * 3;
            stereo::Guarded(out.errors, kFailure,
                            [&] { jpeg_write_scanlines(&info, rows.data(), static_cast<JDIMENSION>(count)); });
        }
    }
    stereo::Guarded(out.errors, kFailure, [&] { jpeg_finish_compress(&info); });
    return out.Take();
}

}  // namespace veltrane::heif_tool
