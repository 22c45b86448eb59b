// SPDX-License-Identifier: GPL-3.0-or-later
// Animated WebP output through libwebp's animation encoder (libwebpmux): each frame a lossy
// picture; the encoder stores later frames as the rectangle that changed when that is smaller.
#include <memory>
#include <string>

#include <webp/encode.h>
#include <webp/mux.h>

#include "imaging/stereo/image_writers.h"
#include "imaging/stereo/jpeg_codec.h"

namespace veltrane::stereo {
namespace {

[[noreturn]] void Fail(const std::string& cause) { throw StereoError("cannot encode the picture: " + cause); }

struct EncoderDelete {
    void operator()(WebPAnimEncoder* e) const { WebPAnimEncoderDelete(e); }
};

struct Data {
    WebPData data;
    Data() { WebPDataInit(&data); }
    ~Data() { WebPDataClear(&data); }
    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;
};

struct Picture {
    WebPPicture picture{};
    Picture() {
        if (!WebPPictureInit(&picture)) Fail("libwebp version mismatch");
    }
    ~Picture() { WebPPictureFree(&picture); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
};

}  // namespace

std::vector<std::uint8_t> EncodeAnimatedWebp(const std::vector<const RgbImage*>& frames, int delayMs, int quality) {
    if (frames.empty()) Fail("no frames");
    const int width = frames[0]->width, height = frames[0]->height;
    if (width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION)
        Fail("a WebP frame is at most " + std::to_string(WEBP_MAX_DIMENSION) + " pixels across");
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) Fail("libwebp version mismatch");
    options.anim_params.loop_count = 0;  // forever
    std::unique_ptr<WebPAnimEncoder, EncoderDelete> encoder(WebPAnimEncoderNew(width, height, &options));
    if (!encoder) Fail("out of memory");
    WebPConfig config;
    if (!WebPConfigInit(&config)) Fail("libwebp version mismatch");
    config.quality = static_cast<float>(quality);
    int timestamp = 0;
    for (const RgbImage* frame : frames) {
        Picture p;
        p.picture.use_argb = 1;
        p.picture.width = width;
        p.picture.height = height;
        if (!WebPPictureImportRGB(&p.picture, frame->pixels.data(), static_cast<int>(frame->RowBytes())))
            Fail("out of memory");
        if (!WebPAnimEncoderAdd(encoder.get(), &p.picture, timestamp, &config))
            Fail(WebPAnimEncoderGetError(encoder.get()));
        timestamp += delayMs;
    }
    // The end time of the last frame gives its duration.
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, timestamp, nullptr)) Fail(WebPAnimEncoderGetError(encoder.get()));
    Data assembled;
    if (!WebPAnimEncoderAssemble(encoder.get(), &assembled.data)) Fail(WebPAnimEncoderGetError(encoder.get()));
    return {assembled.data.bytes, assembled.data.bytes + assembled.data.size};
}

}  // namespace veltrane::stereo
