// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real JPEG images for the transform tests, made and decoded with libjpeg: pictures of a scene
// in any sampling, the sets the tests turn (a photo with a gain map, a stereo pair, a single
// JPEG), and the same turns applied to decoded pixels.
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "core/mpo/mpo_writer.h"
#include "tools/samples/tiff_builder.h"
#include "imaging/transform/transform_geometry.h"

namespace veltrane::testing {

using Bytes = std::vector<std::uint8_t>;

struct Picture {
    int width = 0, height = 0, components = 0;
    std::vector<std::uint8_t> samples;  // row-major, components interleaved
    int At(int x, int y, int c) const {
        return samples[static_cast<std::size_t>((y * width + x) * components + c)];
    }
};

struct JpegFailure {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] inline void FailJpeg(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->jump, 1); }

// A scene of smooth shapes and texture, different for each seed.
inline std::uint8_t Scene(int x, int y, int c, int seed) {
    const unsigned h = static_cast<unsigned>(x * 73 + y * 151 + c * 37 + seed * 101) * 2654435761u;
    const int v = 40 + ((x + seed * 3) * 5 + y * 2 * (c + 1)) % 150 + static_cast<int>(h >> 28) +
                  ((x - 20 - seed) * (x - 20 - seed) + (y - 15) * (y - 15) < 120 ? 50 : 0);
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// A baseline JPEG of the scene: one grey component, or YCbCr with the luma sampled h x v; the
// segments (whole, FF En LL LL ...) follow SOI.
inline Bytes EncodeJpeg(int width, int height, int components, int h, int v, int seed, const std::vector<Bytes>& segments) {
    jpeg_compress_struct info{};
    JpegFailure failure{};
    info.err = jpeg_std_error(&failure.pub);
    failure.pub.error_exit = FailJpeg;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(failure.jump) != 0) throw std::runtime_error("the test's encoder failed");
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    info.write_JFIF_header = FALSE;
    info.comp_info[0].h_samp_factor = h;
    info.comp_info[0].v_samp_factor = v;
    jpeg_start_compress(&info, TRUE);
    for (const Bytes& s : segments)
        jpeg_write_marker(&info, s[1], s.data() + 4, static_cast<unsigned>(s.size() - 4));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width * components));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c) row[static_cast<std::size_t>(x * components + c)] = Scene(x, y, c, seed);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// Decoded without fancy upsampling, so that each chroma sample covers its pixels alike whatever
// the orientation, and in the colour space stored.
inline Picture DecodeJpeg(const Bytes& jpeg) {
    jpeg_decompress_struct info{};
    JpegFailure failure{};
    info.err = jpeg_std_error(&failure.pub);
    failure.pub.error_exit = FailJpeg;
    Picture picture;
    if (setjmp(failure.jump) != 0) {
        jpeg_destroy_decompress(&info);
        throw std::runtime_error("the test's decoder failed");
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.do_fancy_upsampling = FALSE;
    info.out_color_space = info.jpeg_color_space;  // YCbCr as stored: no conversion to magnify a level
    jpeg_start_decompress(&info);
    picture.width = static_cast<int>(info.output_width);
    picture.height = static_cast<int>(info.output_height);
    picture.components = info.output_components;
    picture.samples.resize(static_cast<std::size_t>(picture.width * picture.height * picture.components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW p = picture.samples.data() + static_cast<std::size_t>(info.output_scanline) * picture.width * picture.components;
        jpeg_read_scanlines(&info, &p, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return picture;
}

// The pixels of region, turned: each operation written out on pixel coordinates.
inline Picture TurnPicture(const Picture& in, transform::Region region, transform::Turn turn) {
    using transform::Turn;
    const int w = static_cast<int>(region.width), h = static_cast<int>(region.height);
    const bool swap = turn == Turn::Transpose || turn == Turn::Rotate90 || turn == Turn::Rotate270 || turn == Turn::Transverse;
    Picture out{swap ? h : w, swap ? w : h, in.components, {}};
    out.samples.reserve(static_cast<std::size_t>(w * h * in.components));
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            int sx = x, sy = y;  // in the region
            switch (turn) {
                case Turn::None: break;
                case Turn::FlipH: sx = w - 1 - x; break;
                case Turn::FlipV: sy = h - 1 - y; break;
                case Turn::Transpose: sx = y, sy = x; break;
                case Turn::Rotate90: sx = y, sy = h - 1 - x; break;
                case Turn::Rotate180: sx = w - 1 - x, sy = h - 1 - y; break;
                case Turn::Rotate270: sx = w - 1 - y, sy = x; break;
                case Turn::Transverse: sx = w - 1 - y, sy = h - 1 - x; break;
            }
            for (int c = 0; c < in.components; ++c)  // in the order of the samples
                out.samples.push_back(
                    static_cast<std::uint8_t>(in.At(sx + static_cast<int>(region.x), sy + static_cast<int>(region.y), c)));
        }
    }
    return out;
}

// The largest difference of two pictures of one size, or 256 when their sizes differ.
inline int LargestDifference(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.components != b.components) return 256;
    int largest = 0;
    for (std::size_t i = 0; i < a.samples.size(); ++i) largest = std::max(largest, std::abs(a.samples[i] - b.samples[i]));
    return largest;
}

// The MCU of a JPEG image in pixels, from its header.
inline transform::Grid GridOf(const Bytes& jpeg) {
    jpeg_decompress_struct info{};
    JpegFailure failure{};
    info.err = jpeg_std_error(&failure.pub);
    failure.pub.error_exit = FailJpeg;
    transform::Grid grid{8, 8};
    if (setjmp(failure.jump) == 0) {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_read_header(&info, TRUE);
        if (info.num_components > 1)
            grid = {8u * static_cast<unsigned>(info.max_h_samp_factor), 8u * static_cast<unsigned>(info.max_v_samp_factor)};
    }
    jpeg_destroy_decompress(&info);
    return grid;
}

// An APP1 EXIF segment: Orientation in IFD0 and the pixel sizes in the EXIF IFD.
inline Bytes ExifSegment(samples::ByteOrder order, std::uint16_t orientation, std::uint32_t width, std::uint32_t height) {
    samples::TiffBuilder tiff(order);
    const int ifd0 = tiff.AddIfd(), exif = tiff.AddIfd();
    tiff.Ascii(ifd0, 0x010F, "Veltrane");
    tiff.Short(ifd0, 0x0112, {orientation});
    tiff.Link(ifd0, 0x8769, exif);
    tiff.Long(exif, 0xA002, {width});
    tiff.Short(exif, 0xA003, {static_cast<std::uint16_t>(height)});
    return samples::ExifApp1Segment(tiff.Build());
}

// An APP1 XMP segment with the hdrgm namespace; a gain map's carries its own values.
inline Bytes XmpSegment(bool gainMap) {
    const std::string packet = std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" hdrgm:Version=\"1.0\"" +
        (gainMap ? " hdrgm:GainMapMin=\"0\" hdrgm:GainMapMax=\"3.5\" hdrgm:HDRCapacityMax=\"3.5\"" : "") +
        "/></rdf:RDF></x:xmpmeta>";
    Bytes segment(4 + packet.size());
    segment[0] = 0xFF;
    segment[1] = 0xE1;
    segment[2] = static_cast<std::uint8_t>((packet.size() + 2) >> 8);
    segment[3] = static_cast<std::uint8_t>(packet.size() + 2);
    std::copy(packet.begin(), packet.end(), segment.begin() + 4);
    return segment;
}

// An MPO file of the images with the given MP types.
inline Bytes MpoOf(const std::vector<Bytes>& images, const std::vector<std::uint32_t>& types) {
    std::vector<MpoImage> list(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        list[i].source = MpoImageSource::Memory(images[i]);
        list[i].type = types[i];
    }
    return BuildMpo(list);
}

}  // namespace veltrane::testing
