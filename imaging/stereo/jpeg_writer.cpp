// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG output one row at a time, through libjpeg-turbo.
#include "imaging/stereo/image_writers.h"
#include "imaging/stereo/jpeg_codec.h"

namespace veltrane::stereo {
namespace {

constexpr const char* kEncodeFailure = "cannot encode the picture";

class JpegRowWriter : public RowWriter {
public:
    JpegRowWriter(int width, int height, const JpegSettings& settings) : encoder_(settings.expectedSize) {
        Guarded(encoder_.errors, kEncodeFailure, [&] {
            encoder_.SetRgbInput(width, height, settings.quality, settings.hSampling, settings.vSampling);
            encoder_.info.write_JFIF_header = settings.exif.empty() ? TRUE : FALSE;
            jpeg_start_compress(&encoder_.info, TRUE);
            if (!settings.exif.empty())
                jpeg_write_marker(&encoder_.info, JPEG_APP0 + 1, settings.exif.data(),
                                  static_cast<unsigned>(settings.exif.size()));
            for (const std::vector<std::uint8_t>& segment : settings.icc)
                jpeg_write_marker(&encoder_.info, JPEG_APP0 + 2, segment.data(), static_cast<unsigned>(segment.size()));
            if (!settings.jps.empty())
                jpeg_write_marker(&encoder_.info, JPEG_APP0 + 3, settings.jps.data(),
                                  static_cast<unsigned>(settings.jps.size()));
        });
    }
    void WriteRow(const std::uint8_t* rgb) override {
        JSAMPROW row = const_cast<JSAMPROW>(rgb);
        Guarded(encoder_.errors, kEncodeFailure, [&] { jpeg_write_scanlines(&encoder_.info, &row, 1); });
    }
    std::vector<std::uint8_t> Finish() override {
        Guarded(encoder_.errors, kEncodeFailure, [&] { jpeg_finish_compress(&encoder_.info); });
        return encoder_.Take();
    }

private:
    Encoder encoder_;
};

}  // namespace

std::unique_ptr<RowWriter> NewJpegWriter(int width, int height, const JpegSettings& settings) {
    return std::make_unique<JpegRowWriter>(width, height, settings);
}

}  // namespace veltrane::stereo
