// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/stereo/spatial_jpeg.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/exif_edit/exif_numbers.h"

namespace veltrane::stereo {
namespace {

constexpr std::size_t RoundUp(std::size_t v, std::size_t m) { return (v + m - 1) / m * m; }

constexpr std::uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint8_t kIccName[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr std::size_t kIccHeader = sizeof kIccName + 2;  // name, sequence number, count
constexpr std::size_t kIccPiece = 65535 - 2 - kIccHeader;
constexpr std::size_t kMaxApp1Payload = 65535 - 2;

constexpr const char* kEncodeFailure = "cannot encode the eye as JPEG";

// The eye's APP1 payload: its Exif data as the decoded picture is (upright, of its size).
std::vector<std::uint8_t> ExifSegmentFor(const heif::EyeMetadata& metadata, int width, int height) {
    if (metadata.exifTiff.empty() || metadata.exifTiff.size() > kMaxApp1Payload - sizeof kExifHeader) return {};
    std::vector<std::uint8_t> app1(std::begin(kExifHeader), std::end(kExifHeader));
    app1.insert(app1.end(), metadata.exifTiff.begin(), metadata.exifTiff.end());
    // libheif turns the picture as the file's transformation boxes say; the Exif Orientation of
    // a HEIF image describes the same turn, and a JPEG viewer would apply it a second time.
    const auto orientation = ReadExifNumber(app1, ExifDirectory::Ifd0, kExifOrientation);
    if (orientation && *orientation != 1) WriteExifNumber(app1, ExifDirectory::Ifd0, kExifOrientation, 1);
    WriteExifNumber(app1, ExifDirectory::Exif, kExifPixelXDimension, static_cast<std::uint32_t>(width));
    WriteExifNumber(app1, ExifDirectory::Exif, kExifPixelYDimension, static_cast<std::uint32_t>(height));
    return app1;
}

// Rows [first, first + count) of a plane into band rows of bandStride bytes: rows past the
// plane repeat its last row, columns past its width its last column (libjpeg codes whole blocks).
void FillBand(std::uint8_t* band, std::size_t bandStride, const std::uint8_t* plane, std::size_t planeStride,
              std::size_t width, int planeRows, int first, int count, JSAMPROW* rows) {
    for (int r = 0; r < count; ++r) {
        const auto source = static_cast<std::size_t>(std::min(first + r, planeRows - 1));
        std::uint8_t* row = band + static_cast<std::size_t>(r) * bandStride;
        std::memcpy(row, plane + source * planeStride, width);
        std::memset(row + width, row[width - 1], bandStride - width);
        rows[r] = row;
    }
}

}  // namespace

std::vector<std::vector<std::uint8_t>> IccSegments(std::span<const std::uint8_t> profile) {
    std::vector<std::vector<std::uint8_t>> segments;
    const std::size_t count = (profile.size() + kIccPiece - 1) / kIccPiece;
    if (count > 255) return segments;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<std::uint8_t> segment(std::begin(kIccName), std::end(kIccName));
        segment.push_back(static_cast<std::uint8_t>(i + 1));
        segment.push_back(static_cast<std::uint8_t>(count));
        const auto piece = profile.subspan(i * kIccPiece, std::min(kIccPiece, profile.size() - i * kIccPiece));
        segment.insert(segment.end(), piece.begin(), piece.end());
        segments.push_back(std::move(segment));
    }
    return segments;
}

std::vector<std::uint8_t> IccProfileOf(const std::vector<std::vector<std::uint8_t>>& segments) {
    // Pieces 1..count, each once, all naming the same count.
    std::array<const std::vector<std::uint8_t>*, 256> pieces{};
    std::size_t count = 0;
    for (const auto& segment : segments) {
        if (segment.size() < kIccHeader || std::memcmp(segment.data(), kIccName, sizeof kIccName) != 0) continue;
        const std::size_t sequence = segment[sizeof kIccName], total = segment[sizeof kIccName + 1];
        if (total == 0 || sequence == 0 || sequence > total || (count != 0 && total != count) || pieces[sequence])
            return {};
        count = total;
        pieces[sequence] = &segment;
    }
    std::vector<std::uint8_t> profile;
    for (std::size_t i = 1; i <= count; ++i) {
        if (pieces[i] == nullptr) return {};
        profile.insert(profile.end(), pieces[i]->begin() + static_cast<std::ptrdiff_t>(kIccHeader), pieces[i]->end());
    }
    return profile;
}

JpegEye DecodeJpegEye(std::span<const std::uint8_t> jpeg, const CodecLimits& limits, bool rawWhenPossible,
                      const char* name) {
    Decoder decoder(jpeg, limits, name);
    decoder.ReadHeader(true);
    jpeg_decompress_struct& info = decoder.info;
    JpegEye eye;
    eye.width = static_cast<int>(info.image_width);
    eye.height = static_cast<int>(info.image_height);
    const std::vector<std::uint8_t> exif = decoder.ExifSegment();
    if (exif.size() > sizeof kExifHeader) eye.metadata.exifTiff.assign(exif.begin() + sizeof kExifHeader, exif.end());
    eye.metadata.iccProfile = IccProfileOf(decoder.IccSegments());
    const jpeg_component_info* c = info.comp_info;
    eye.ycbcr420 = rawWhenPossible && info.jpeg_color_space == JCS_YCbCr && info.num_components == 3 &&
                   c[0].h_samp_factor == 2 && c[0].v_samp_factor == 2 && c[1].h_samp_factor == 1 &&
                   c[1].v_samp_factor == 1 && c[2].h_samp_factor == 1 && c[2].v_samp_factor == 1;
    if (eye.ycbcr420) {
        // libjpeg hands out whole iMCU rows of 16 luma and 8 chroma rows, each row of whole
        // blocks: the planes are padded to that.
        eye.yStride = RoundUp(static_cast<std::size_t>(eye.width), 16);
        eye.chromaStride = eye.yStride / 2;
        const std::size_t rows = RoundUp(static_cast<std::size_t>(eye.height), 16);
        eye.y.resize(eye.yStride * rows);
        eye.cb.resize(eye.chromaStride * rows / 2);
        eye.cr.resize(eye.chromaStride * rows / 2);
        std::array<JSAMPROW, 32> pointers{};
        Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
            info.raw_data_out = TRUE;
            jpeg_start_decompress(&info);
            while (info.output_scanline < info.output_height) {
                const std::size_t row = info.output_scanline;
                for (std::size_t r = 0; r < 16; ++r) pointers[r] = eye.y.data() + (row + r) * eye.yStride;
                for (std::size_t r = 0; r < 8; ++r) {
                    pointers[16 + r] = eye.cb.data() + (row / 2 + r) * eye.chromaStride;
                    pointers[24 + r] = eye.cr.data() + (row / 2 + r) * eye.chromaStride;
                }
                JSAMPARRAY planes[3] = {pointers.data(), pointers.data() + 16, pointers.data() + 24};
                jpeg_read_raw_data(&info, planes, 16);
            }
            jpeg_finish_decompress(&info);
        });
    } else {
        eye.rgb.resize(static_cast<std::size_t>(eye.width) * static_cast<std::size_t>(eye.height) * 3);
        Guarded(decoder.errors, decoder.Failure().c_str(), [&] {
            info.out_color_space = JCS_RGB;
            jpeg_start_decompress(&info);
            while (info.output_scanline < info.output_height) {
                JSAMPROW row = eye.rgb.data() + static_cast<std::size_t>(info.output_scanline) * eye.width * 3;
                jpeg_read_scanlines(&info, &row, 1);
            }
            jpeg_finish_decompress(&info);
        });
    }
    return eye;
}

void AddJpegEye(heif::SpatialPhotoWriter& writer, heif::Eye eye, const JpegEye& jpeg) {
    if (jpeg.ycbcr420) {
        heif::Ycbcr420View planes;
        planes.width = jpeg.width;
        planes.height = jpeg.height;
        planes.y = jpeg.y.data();
        planes.cb = jpeg.cb.data();
        planes.cr = jpeg.cr.data();
        planes.yStride = jpeg.yStride;
        planes.chromaStride = jpeg.chromaStride;
        writer.AddEye(eye, planes, jpeg.metadata);
    } else {
        writer.AddEye(eye,
                      heif::RgbView{jpeg.width, jpeg.height, jpeg.rgb.data(), static_cast<std::size_t>(jpeg.width) * 3},
                      jpeg.metadata);
    }
}

void StartEyeEncoding(Encoder& out, int width, int height, int quality, bool raw, std::span<const std::uint8_t> exif,
                      const std::vector<std::vector<std::uint8_t>>& icc, const char* failure) {
    jpeg_compress_struct& info = out.info;
    Guarded(out.errors, failure, [&] {
        out.SetRgbInput(width, height, quality, 2, 2);
        if (raw) {
            // The same settings for YCbCr planes as they are: jpeg_set_defaults chose YCbCr
            // with luma sampled 2 x 2 for the RGB input already.
            info.in_color_space = JCS_YCbCr;
            info.raw_data_in = TRUE;
        }
        info.write_JFIF_header = exif.empty() ? TRUE : FALSE;
        jpeg_start_compress(&info, TRUE);
        if (!exif.empty()) jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
        for (const std::vector<std::uint8_t>& segment : icc)
            jpeg_write_marker(&info, JPEG_APP0 + 2, segment.data(), static_cast<unsigned>(segment.size()));
    });
}

std::vector<std::uint8_t> EyeJpeg(const heif::DecodedEye& eye, const heif::EyeMetadata& metadata, int quality) {
    const int width = eye.Width(), height = eye.Height();
    const std::optional<heif::Ycbcr420View> raw = eye.JpegYcbcr420();
    const std::vector<std::uint8_t> exif = ExifSegmentFor(metadata, width, height);
    const std::vector<std::vector<std::uint8_t>> icc = IccSegments(metadata.iccProfile);
    // A band of 16 rows: luma and the two chroma planes' 8 rows each, or RGB.
    const std::size_t yStride = RoundUp(static_cast<std::size_t>(width), 16), chromaStride = yStride / 2;
    std::vector<std::uint8_t> band(raw ? yStride * 16 + chromaStride * 16 : static_cast<std::size_t>(width) * 3 * 16);
    std::array<JSAMPROW, 32> rows{};
    // Quality 95 4:2:0 takes about two bits a pixel.
    Encoder out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / 4);
    jpeg_compress_struct& info = out.info;
    StartEyeEncoding(out, width, height, quality, raw.has_value(), exif, icc, kEncodeFailure);
    const int chromaRows = (height + 1) / 2;
    const std::size_t chromaWidth = (static_cast<std::size_t>(width) + 1) / 2;
    for (int y0 = 0; y0 < height; y0 += 16) {
        if (raw) {
            std::uint8_t* yBand = band.data();
            std::uint8_t* cbBand = yBand + yStride * 16;
            std::uint8_t* crBand = cbBand + chromaStride * 8;
            FillBand(yBand, yStride, raw->y, raw->yStride, static_cast<std::size_t>(width), height, y0, 16, rows.data());
            FillBand(cbBand, chromaStride, raw->cb, raw->chromaStride, chromaWidth, chromaRows, y0 / 2, 8,
                     rows.data() + 16);
            FillBand(crBand, chromaStride, raw->cr, raw->chromaStride, chromaWidth, chromaRows, y0 / 2, 8,
                     rows.data() + 24);
            JSAMPARRAY planes[3] = {rows.data(), rows.data() + 16, rows.data() + 24};
            Guarded(out.errors, kEncodeFailure, [&] { jpeg_write_raw_data(&info, planes, 16); });
        } else {
            const int count = std::min(16, height - y0);
            const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
            eye.RgbRows(y0, count, band.data(), rowBytes);
            for (int r = 0; r < count; ++r) rows[static_cast<std::size_t>(r)] = band.data() + static_cast<std::size_t>(r) * rowBytes;
            Guarded(out.errors, kEncodeFailure,
                    [&] { jpeg_write_scanlines(&info, rows.data(), static_cast<JDIMENSION>(count)); });
        }
    }
    Guarded(out.errors, kEncodeFailure, [&] { jpeg_finish_compress(&info); });
    // The buffer grew in steps of half its size; the eye is held while the other is decoded and
    // the pair composed, so it keeps only its bytes.
    std::vector<std::uint8_t> bytes = out.Take();
    bytes.shrink_to_fit();
    return bytes;
}

}  // namespace veltrane::stereo
