// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane-sample-writer: writes the project's own sample MPO files.
//   veltrane-sample-writer OUT.mpo            the bundled stereo pair
//   veltrane-sample-writer OUT.mpo N          N images (left and right eye alternating)
//   veltrane-sample-writer --jfif OUT.mpo [N] N images (default 2) that begin FF D8 FF E0, found
//                                             only through the MPF index of the first image
#include <cstdlib>
#include <iostream>
#include <string>

#include "tools/samples/jpeg_writer.h"
#include "tools/samples/mpf_writer.h"

int main(int argc, char** argv) {
    using namespace veltrane::samples;
    const bool jfif = argc > 1 && std::string(argv[1]) == "--jfif";
    if (jfif) {
        --argc;
        ++argv;
    }
    if (argc < 2 || argc > 3 || std::string(argv[1]) == "--help") {
        std::cerr << "usage: veltrane-sample-writer [--jfif] OUT.mpo [IMAGES]\n";
        return 2;
    }
    const int n = argc == 3 ? std::atoi(argv[2]) : 2;
    if (n < 1 || n > (jfif ? 4000 : 5000)) {
        std::cerr << "veltrane-sample-writer: IMAGES must be 1 to 5000 (4000 with --jfif)\n";
        return 2;
    }
    std::vector<Bytes> images;
    for (int i = 0; i < n; ++i) images.push_back(jfif ? SampleJfifImage(i % 2) : SampleStereoImage(i % 2));
    Bytes mpo;
    if (jfif)
        mpo = IndexedMpo(images);
    else
        mpo = argc == 2 ? SampleMpo() : JoinImages(images);
    if (!WriteFile(argv[1], mpo)) {
        std::cerr << "veltrane-sample-writer: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
