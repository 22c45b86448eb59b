// SPDX-License-Identifier: GPL-3.0-or-later
// PNG output one row at a time, through the imaging wing's PNG encoder (8-bit RGB).
#include <string>

#include "imaging/png/png_encoder.h"
#include "imaging/stereo/image_writers.h"
#include "imaging/stereo/jpeg_codec.h"

namespace veltrane::stereo {
namespace {

// body(), with the encoder's errors as the stereo library's.
template <typename Body>
auto Guarded(Body&& body) {
    try {
        return body();
    } catch (const png::PngEncodeError& e) {
        throw StereoError(std::string("cannot encode the picture: ") + e.what());
    }
}

class PngRowWriter : public RowWriter {
public:
    PngRowWriter(int width, int height)
        : encoder_(Guarded([&] { return png::PngEncoder(width, height, 8, png::PngColour::Rgb); })) {}

    void WriteRow(const std::uint8_t* rgb) override {
        Guarded([&] { encoder_.WriteRow(rgb); });
    }
    std::vector<std::uint8_t> Finish() override {
        return Guarded([&] { return encoder_.Finish(); });
    }

private:
    png::PngEncoder encoder_;
};

}  // namespace

std::unique_ptr<RowWriter> NewPngWriter(int width, int height) { return std::make_unique<PngRowWriter>(width, height); }

}  // namespace veltrane::stereo
