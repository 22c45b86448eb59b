// veltrane-sample-writer: writes the project's own sample MPO files.
//   veltrane-sample-writer OUT.mpo            the bundled stereo pair
//   veltrane-sample-writer OUT.mpo N          N images (left and right eye alternating)
#include <cstdlib>
#include <iostream>
#include <string>

#include "tools/samples/jpeg_writer.h"

int main(int argc, char** argv) {
    using namespace veltrane::samples;
    if (argc < 2 || argc > 3 || std::string(argv[1]) == "--help") {
        std::cerr << "usage: veltrane-sample-writer OUT.mpo [IMAGES]\n";
        return 2;
    }
    Bytes mpo;
    if (argc == 2) {
        mpo = SampleMpo();
    } else {
        const int n = std::atoi(argv[2]);
        if (n < 1 || n > 5000) {
            std::cerr << "veltrane-sample-writer: IMAGES must be 1 to 5000\n";
            return 2;
        }
        std::vector<Bytes> images;
        for (int i = 0; i < n; ++i) images.push_back(SampleStereoImage(i % 2));
        mpo = JoinImages(images);
    }
    if (!WriteFile(argv[1], mpo)) {
        std::cerr << "veltrane-sample-writer: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
