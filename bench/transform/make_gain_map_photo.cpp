// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a synthetic phone photo with an HDR gain map, of camera size:
//   make_gain_map_photo FOLDER [WIDTH HEIGHT [color]]
// (default 4000 x 3000). FOLDER/photo.jpg is the primary image alone (quality 90, 4:2:0, a small
// EXIF segment and an XMP packet declaring the hdrgm namespace), FOLDER/gainmap.jpg the gain map
// at half the size (quality 85, one grey component, or YCbCr 4:2:0 with "color", and an XMP
// packet with the gain map's hdrgm values), FOLDER/hdr.jpg both as one MPO file: an MPF index of a
// Baseline MP Primary Image and an Undefined image, as phones write them.
#include <cstdint>
#include <cstdio>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "bench/support/photo_scene.h"
#include "core/mpo/mpo_writer.h"
#include "imaging/jpeg/libjpeg_errors.h"

namespace {

using veltrane::bench::PhotoScene;

// Every pixel of the scene at 1/scale, grey or in colour, with the given APP1 payloads.
std::vector<std::uint8_t> Encode(int width, int height, int scale, bool colour, int quality,
                                 const std::vector<std::vector<std::uint8_t>>& app1) {
    jpeg_compress_struct info{};
    veltrane::libjpeg::ErrorManager errors;
    veltrane::libjpeg::InstallErrorManager(info, errors);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.jump) != 0) {
        std::fprintf(stderr, "make_gain_map_photo: %s\n", errors.message);
        std::exit(1);
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = colour ? 3 : 1;
    info.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.write_JFIF_header = FALSE;
    jpeg_start_compress(&info, TRUE);
    for (const auto& payload : app1) jpeg_write_marker(&info, JPEG_APP0 + 1, payload.data(), static_cast<unsigned>(payload.size()));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * (colour ? 3 : 1));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < (colour ? 3 : 1); ++c)
                row[static_cast<std::size_t>(x * (colour ? 3 : 1) + c)] = PhotoScene(x * scale, y * scale, c);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

const char kXmpHeader[] = "http://ns.adobe.com/xap/1.0/";

std::vector<std::uint8_t> Xmp(const std::string& description) {
    std::vector<std::uint8_t> payload(kXmpHeader, kXmpHeader + sizeof kXmpHeader);  // with its NUL
    const std::string packet =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" hdrgm:Version=\"1.0\"" +
        description + "/></rdf:RDF></x:xmpmeta>";
    payload.insert(payload.end(), packet.begin(), packet.end());
    return payload;
}

bool Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: make_gain_map_photo FOLDER [WIDTH HEIGHT [color]]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int width = argc >= 4 ? std::stoi(argv[2]) : 4000, height = argc >= 4 ? std::stoi(argv[3]) : 3000;
    const bool colourGainMap = argc == 5 && std::strcmp(argv[4], "color") == 0;
    // EXIF: IFD0 with Orientation 1 and the EXIF IFD with the pixel sizes, little-endian.
    auto exif = [](std::uint32_t w, std::uint32_t h) {
        std::vector<std::uint8_t> e = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                                       2, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                                       0x69, 0x87, 4, 0, 1, 0, 0, 0, 38, 0, 0, 0, 0, 0, 0, 0,
                                       2, 0, 0x02, 0xA0, 4, 0, 1, 0, 0, 0, 0, 0, 0, 0,
                                       0x03, 0xA0, 4, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 4; ++i) {
            e[54 + i] = static_cast<std::uint8_t>(w >> (8 * i));
            e[66 + i] = static_cast<std::uint8_t>(h >> (8 * i));
        }
        return e;
    };
    const auto photo = Encode(width, height, 1, true, 90,
                              {exif(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)), Xmp("")});
    const auto gainMap = Encode(width / 2, height / 2, 2, colourGainMap, 85,
                                {Xmp(" hdrgm:GainMapMin=\"0\" hdrgm:GainMapMax=\"2.0\" hdrgm:Gamma=\"1\""
                                     " hdrgm:OffsetSDR=\"0.015625\" hdrgm:OffsetHDR=\"0.015625\""
                                     " hdrgm:HDRCapacityMin=\"0\" hdrgm:HDRCapacityMax=\"2.0\""
                                     " hdrgm:BaseRenditionIsHDR=\"False\"")});
    std::vector<veltrane::MpoImage> images(2);
    images[0].source = veltrane::MpoImageSource::Memory(photo, "photo");
    images[0].type = veltrane::kMpTypeBaselinePrimary;
    images[1].source = veltrane::MpoImageSource::Memory(gainMap, "gain map");
    images[1].type = veltrane::kMpTypeUndefined;
    if (!Write(folder + "/photo.jpg", photo) || !Write(folder + "/gainmap.jpg", gainMap)) return 1;
    veltrane::WriteMpoFile(images, folder + "/hdr.jpg");
    return 0;
}
