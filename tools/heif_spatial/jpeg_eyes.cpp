#include "tools/heif_spatial/jpeg_eyes.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <jpeglib.h>

namespace veltrane::heif_tool {

using heif::HeifError;

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to the
// one setjmp of Guarded, whose callers keep every object that owns memory outside the guarded
// frame.
struct Errors {
    jpeg_error_mgr pub{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
};

void ErrorExit(j_common_ptr info) {
    auto* e = reinterpret_cast<Errors*>(info->err);
    (*info->err->format_message)(info, e->message);
    std::longjmp(e->jump, 1);
}

template <typename Body>
void Guarded(Errors& errors, const char* what, Body body) {
    if (setjmp(errors.jump) != 0) throw HeifError(std::string(what) + ": " + errors.message);
    body();
}

constexpr std::size_t RoundUp(std::size_t v, std::size_t m) { return (v + m - 1) / m * m; }

const std::uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
const char kIccHeader[] = "ICC_PROFILE";  // and its terminating zero: 12 bytes
constexpr std::size_t kIccChunk = 65519;  // 65535 - 2 (length) - 12 (name) - 2 (sequence, count)

struct Decompressor {
    jpeg_decompress_struct info{};
    Errors errors;
    Decompressor() {
        info.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = ErrorExit;
        jpeg_create_decompress(&info);
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
};

struct Compressor {
    jpeg_compress_struct info{};
    Errors errors;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    Compressor() {
        info.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = ErrorExit;
        jpeg_create_compress(&info);
        jpeg_mem_dest(&info, &buffer, &size);
    }
    ~Compressor() {
        jpeg_destroy_compress(&info);
        std::free(buffer);
    }
};

heif::EyeMetadata MetadataOf(const jpeg_decompress_struct& info) {
    heif::EyeMetadata m;
    std::map<int, std::vector<std::uint8_t>> icc;
    for (auto marker = info.marker_list; marker != nullptr; marker = marker->next) {
        const std::span<const std::uint8_t> data(marker->data, marker->data_length);
        if (marker->marker == JPEG_APP0 + 1 && m.exifTiff.empty() && data.size() > 6 &&
            std::equal(std::begin(kExifHeader), std::end(kExifHeader), data.begin()))
            m.exifTiff.assign(data.begin() + 6, data.end());
        if (marker->marker == JPEG_APP0 + 2 && data.size() > 14 && std::memcmp(data.data(), kIccHeader, 12) == 0)
            icc[data[12]].assign(data.begin() + 14, data.end());
    }
    for (const auto& [sequence, chunk] : icc) m.iccProfile.insert(m.iccProfile.end(), chunk.begin(), chunk.end());
    return m;
}

void WriteMetadataSegments(jpeg_compress_struct& info, const heif::EyeMetadata& m) {
    if (!m.exifTiff.empty() && m.exifTiff.size() <= 65533 - 6) {
        std::vector<std::uint8_t> app1(std::begin(kExifHeader), std::end(kExifHeader));
        app1.insert(app1.end(), m.exifTiff.begin(), m.exifTiff.end());
        jpeg_write_marker(&info, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
    }
    for (const auto& segment : IccSegments(m.iccProfile))
        jpeg_write_marker(&info, JPEG_APP0 + 2, segment.data(), static_cast<unsigned>(segment.size()));
}

}  // namespace

std::vector<std::vector<std::uint8_t>> IccSegments(std::span<const std::uint8_t> profile) {
    std::vector<std::vector<std::uint8_t>> segments;
    const std::size_t count = (profile.size() + kIccChunk - 1) / kIccChunk;
    if (count > 255) return segments;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<std::uint8_t> s(kIccHeader, kIccHeader + 12);
        s.push_back(static_cast<std::uint8_t>(i + 1));
        s.push_back(static_cast<std::uint8_t>(count));
        const auto chunk = profile.subspan(i * kIccChunk, std::min(kIccChunk, profile.size() - i * kIccChunk));
        s.insert(s.end(), chunk.begin(), chunk.end());
        segments.push_back(std::move(s));
    }
    return segments;
}

JpegEye DecodeJpegEye(std::span<const std::uint8_t> jpeg, bool rawWhenPossible) {
    Decompressor d;
    JpegEye eye;
    jpeg_decompress_struct& info = d.info;
    Guarded(d.errors, "the JPEG does not decode", [&] {
        jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(&info, TRUE);
    });
    eye.width = static_cast<int>(info.image_width);
    eye.height = static_cast<int>(info.image_height);
    if (static_cast<std::uint64_t>(eye.width) * static_cast<std::uint64_t>(eye.height) > 120'000'000)
        throw HeifError("the JPEG is too large");
    eye.metadata = MetadataOf(info);
    const auto* c = info.comp_info;
    eye.ycbcr420 = rawWhenPossible && info.jpeg_color_space == JCS_YCbCr && info.num_components == 3 && c[0].h_samp_factor == 2 &&
                   c[0].v_samp_factor == 2 && c[1].h_samp_factor == 1 && c[1].v_samp_factor == 1 &&
                   c[2].h_samp_factor == 1 && c[2].v_samp_factor == 1;
    if (eye.ycbcr420) {
        // Whole MCUs of 16 x 16 pixels are decoded: the planes are padded to them.
        eye.yStride = RoundUp(static_cast<std::size_t>(eye.width), 16);
        eye.chromaStride = eye.yStride / 2;
        const std::size_t rows = RoundUp(static_cast<std::size_t>(eye.height), 16);
        eye.y.resize(eye.yStride * rows);
        eye.cb.resize(eye.chromaStride * rows / 2);
        eye.cr.resize(eye.chromaStride * rows / 2);
        std::vector<JSAMPROW> pointers(32);
        Guarded(d.errors, "the JPEG does not decode", [&] {
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
        eye.rgb.resize(static_cast<std::size_t>(eye.width) * eye.height * 3);
        Guarded(d.errors, "the JPEG does not decode", [&] {
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
        heif::Ycbcr420View v;
        v.width = jpeg.width;
        v.height = jpeg.height;
        v.y = jpeg.y.data();
        v.cb = jpeg.cb.data();
        v.cr = jpeg.cr.data();
        v.yStride = jpeg.yStride;
        v.chromaStride = jpeg.chromaStride;
        writer.AddEye(eye, v, jpeg.metadata);
    } else {
        writer.AddEye(eye, heif::RgbView{jpeg.width, jpeg.height, jpeg.rgb.data(), static_cast<std::size_t>(jpeg.width) * 3},
                      jpeg.metadata);
    }
}

std::vector<std::uint8_t> ParallelJpeg(const heif::SpatialPhoto& photo, int quality) {
    const heif::DecodedEye left = photo.Decode(heif::Eye::Left);
    const heif::DecodedEye right = photo.Decode(heif::Eye::Right);
    if (left.Height() != right.Height()) throw HeifError("the eyes differ in height");
    const int wl = left.Width(), wr = right.Width(), height = left.Height();
    const std::size_t width = static_cast<std::size_t>(wl) + static_cast<std::size_t>(wr);
    const auto rawLeft = left.JpegYcbcr420(), rawRight = right.JpegYcbcr420();
    const bool raw = rawLeft && rawRight && wl % 2 == 0;

    Compressor c;
    jpeg_compress_struct& info = c.info;
    // Band buffers: 16 rows of luma and 8 of each chroma plane (raw), or 16 RGB rows.
    const std::size_t yStride = RoundUp(width, 16), chromaStride = yStride / 2;
    std::vector<std::uint8_t> band(raw ? yStride * 16 + chromaStride * 16 : width * 3 * 16);
    std::vector<JSAMPROW> pointers(32);
    Guarded(c.errors, "the side-by-side JPEG cannot be written", [&] {
        info.image_width = static_cast<JDIMENSION>(width);
        info.image_height = static_cast<JDIMENSION>(height);
        info.input_components = 3;
        info.in_color_space = raw ? JCS_YCbCr : JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, quality, TRUE);
        info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 2;
        info.raw_data_in = raw ? TRUE : FALSE;
        info.write_JFIF_header = FALSE;
        jpeg_start_compress(&info, TRUE);
    });
    Guarded(c.errors, "the side-by-side JPEG cannot be written",
            [&] { WriteMetadataSegments(info, photo.Metadata(heif::Eye::Left)); });
    for (int y0 = 0; y0 < height; y0 += 16) {
        const int rows = std::min(16, height - y0);
        if (raw) {
            // Rows past the picture repeat its last row; columns past it its last column.
            const auto fill = [&](std::uint8_t* dst, std::size_t stride, const std::uint8_t* a, std::size_t aStride,
                                  std::size_t aWidth, const std::uint8_t* b, std::size_t bStride, std::size_t bWidth,
                                  int firstRow, int count, int lastRow) {
                for (int r = 0; r < count; ++r) {
                    const auto src = static_cast<std::size_t>(std::min(firstRow + r, lastRow));
                    std::uint8_t* d = dst + static_cast<std::size_t>(r) * stride;
                    std::memcpy(d, a + src * aStride, aWidth);
                    std::memcpy(d + aWidth, b + src * bStride, bWidth);
                    std::memset(d + aWidth + bWidth, d[aWidth + bWidth - 1], stride - aWidth - bWidth);
                    pointers[static_cast<std::size_t>(r)] = d;
                }
            };
            std::uint8_t* yBand = band.data();
            std::uint8_t* cbBand = yBand + yStride * 16;
            std::uint8_t* crBand = cbBand + chromaStride * 8;
            const std::size_t cl = static_cast<std::size_t>(wl) / 2, cr = (static_cast<std::size_t>(wr) + 1) / 2;
            const int chromaLast = (height + 1) / 2 - 1;
            fill(yBand, yStride, rawLeft->y, rawLeft->yStride, static_cast<std::size_t>(wl), rawRight->y,
                 rawRight->yStride, static_cast<std::size_t>(wr), y0, 16, height - 1);
            std::vector<JSAMPROW> yRows(pointers.begin(), pointers.begin() + 16);
            fill(cbBand, chromaStride, rawLeft->cb, rawLeft->chromaStride, cl, rawRight->cb, rawRight->chromaStride, cr,
                 y0 / 2, 8, chromaLast);
            std::vector<JSAMPROW> cbRows(pointers.begin(), pointers.begin() + 8);
            fill(crBand, chromaStride, rawLeft->cr, rawLeft->chromaStride, cl, rawRight->cr, rawRight->chromaStride, cr,
                 y0 / 2, 8, chromaLast);
            std::vector<JSAMPROW> crRows(pointers.begin(), pointers.begin() + 8);
            JSAMPARRAY planes[3] = {yRows.data(), cbRows.data(), crRows.data()};
            Guarded(c.errors, "the side-by-side JPEG cannot be written", [&] { jpeg_write_raw_data(&info, planes, 16); });
        } else {
            left.RgbRows(y0, rows, band.data(), width * 3);
            right.RgbRows(y0, rows, band.data() + static_cast<std::size_t>(wl) * 3, width * 3);
            for (int r = 0; r < rows; ++r) pointers[static_cast<std::size_t>(r)] = band.data() + static_cast<std::size_t>(r) * width * 3;
            Guarded(c.errors, "the side-by-side JPEG cannot be written",
                    [&] { jpeg_write_scanlines(&info, pointers.data(), static_cast<JDIMENSION>(rows)); });
        }
    }
    Guarded(c.errors, "the side-by-side JPEG cannot be written", [&] { jpeg_finish_compress(&info); });
    return {c.buffer, c.buffer + c.size};
}

}  // namespace veltrane::heif_tool
