// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a synthetic stereo pair of camera size: make_stereo_pair FOLDER [WIDTH HEIGHT]
// (default 4000 x 3000). FOLDER/l.jpg and FOLDER/r.jpg are quality-90 4:2:0 JPEGs with a small
// EXIF segment, of a textured scene whose right-eye view sits 60 pixels to the left;
// FOLDER/pair.mpo is the two files back to back.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/photo_scene.h"
#include "imaging/stereo/jpeg_codec.h"

namespace {

using veltrane::stereo::Encoder;
using veltrane::stereo::Guarded;

using veltrane::bench::PhotoScene;

std::vector<std::uint8_t> Encode(int width, int height, int offset) {
    static const std::uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Encoder e;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    Guarded(e.errors, "encode", [&] {
        e.SetRgbInput(width, height, 90, 2, 2);
        e.info.write_JFIF_header = FALSE;
        jpeg_start_compress(&e.info, TRUE);
        jpeg_write_marker(&e.info, JPEG_APP0 + 1, kExif, sizeof kExif);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c) row[static_cast<std::size_t>(x) * 3 + c] = PhotoScene(x + offset, y, c);
            JSAMPROW p = row.data();
            jpeg_write_scanlines(&e.info, &p, 1);
        }
        jpeg_finish_compress(&e.info);
    });
    return e.Take();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: make_stereo_pair FOLDER [WIDTH HEIGHT]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int width = argc == 4 ? std::stoi(argv[2]) : 4000, height = argc == 4 ? std::stoi(argv[3]) : 3000;
    const auto left = Encode(width, height, 0), right = Encode(width, height, 60);
    std::ofstream(folder + "/l.jpg", std::ios::binary).write(reinterpret_cast<const char*>(left.data()), static_cast<std::streamsize>(left.size()));
    std::ofstream(folder + "/r.jpg", std::ios::binary).write(reinterpret_cast<const char*>(right.data()), static_cast<std::streamsize>(right.size()));
    std::ofstream mpo(folder + "/pair.mpo", std::ios::binary);
    mpo.write(reinterpret_cast<const char*>(left.data()), static_cast<std::streamsize>(left.size()));
    mpo.write(reinterpret_cast<const char*>(right.data()), static_cast<std::streamsize>(right.size()));
    return mpo ? 0 : 1;
}
