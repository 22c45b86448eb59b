// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/stereo/stereo_test_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include <gif_lib.h>
#include <png.h>
#include <webp/demux.h>

#include "imaging/stereo/jpeg_codec.h"

namespace veltrane::stereo::testing_support {

RgbImage DecodeJpeg(const Bytes& jpeg, bool fancyUpsampling) {
    Decoder d(jpeg, {});
    d.ReadHeader(false);
    Guarded(d.errors, "decode", [&] {
        d.info.out_color_space = JCS_RGB;
        d.info.do_fancy_upsampling = fancyUpsampling ? TRUE : FALSE;
        d.info.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&d.info);
    });
    RgbImage out(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height));
    Guarded(d.errors, "decode", [&] {
        while (d.info.output_scanline < d.info.output_height) {
            JSAMPROW row = out.Row(static_cast<int>(d.info.output_scanline));
            jpeg_read_scanlines(&d.info, &row, 1);
        }
    });
    return out;
}

RgbImage DecodePng(const Bytes& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) throw std::runtime_error(image.message);
    image.format = PNG_FORMAT_RGB;
    RgbImage out(static_cast<int>(image.width), static_cast<int>(image.height));
    if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) throw std::runtime_error(image.message);
    return out;
}

namespace {

int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
    auto* source = static_cast<std::pair<const Bytes*, std::size_t>*>(gif->UserData);
    const std::size_t n = std::min(static_cast<std::size_t>(length), source->first->size() - source->second);
    std::memcpy(out, source->first->data() + source->second, n);
    source->second += n;
    return static_cast<int>(n);
}

}  // namespace

std::vector<RgbImage> DecodeGif(const Bytes& gif, std::vector<int>* delaysMs, int* loopCount) {
    std::pair<const Bytes*, std::size_t> source{&gif, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&source, ReadFromMemory, &error);
    if (file == nullptr || DGifSlurp(file) != GIF_OK) throw std::runtime_error("not a GIF");
    std::vector<RgbImage> frames;
    if (loopCount) *loopCount = -1;
    for (int i = 0; i < file->ImageCount; ++i) {
        const SavedImage& saved = file->SavedImages[i];
        const ColorMapObject* map = saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap : file->SColorMap;
        RgbImage frame(saved.ImageDesc.Width, saved.ImageDesc.Height);
        for (std::size_t p = 0; p < static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height); ++p) {
            const GifColorType c = map->Colors[saved.RasterBits[p]];
            frame.pixels[p * 3] = c.Red, frame.pixels[p * 3 + 1] = c.Green, frame.pixels[p * 3 + 2] = c.Blue;
        }
        frames.push_back(std::move(frame));
        GraphicsControlBlock control{};
        if (delaysMs && DGifSavedExtensionToGCB(file, i, &control) == GIF_OK) delaysMs->push_back(control.DelayTime * 10);
        for (int e = 0; loopCount && e + 1 < saved.ExtensionBlockCount; ++e) {
            const ExtensionBlock& b = saved.ExtensionBlocks[e];
            if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 && std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0)
                *loopCount = saved.ExtensionBlocks[e + 1].Bytes[1] | saved.ExtensionBlocks[e + 1].Bytes[2] << 8;
        }
    }
    DGifCloseFile(file, &error);
    return frames;
}

std::vector<RgbImage> DecodeWebp(const Bytes& webp, std::vector<int>* delaysMs, int* loopCount) {
    WebPData data{webp.data(), webp.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (decoder == nullptr) throw std::runtime_error("not a WebP animation");
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    if (loopCount) *loopCount = static_cast<int>(info.loop_count);
    std::vector<RgbImage> frames;
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        std::uint8_t* rgba = nullptr;
        int timestamp = 0;
        WebPAnimDecoderGetNext(decoder, &rgba, &timestamp);
        RgbImage frame(static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height));
        for (std::size_t p = 0; p < frame.pixels.size() / 3; ++p) std::memcpy(&frame.pixels[p * 3], rgba + p * 4, 3);
        frames.push_back(std::move(frame));
        if (delaysMs) delaysMs->push_back(timestamp - previous);
        previous = timestamp;
    }
    WebPAnimDecoderDelete(decoder);
    return frames;
}

namespace {

// Broad shapes plus a fine texture that is not periodic: alignment has one clear answer.
std::uint8_t Scene(int x, int y, int channel) {
    std::uint32_t h = static_cast<std::uint32_t>(x / 3) * 374761393u + static_cast<std::uint32_t>(y / 3) * 668265263u +
                      static_cast<std::uint32_t>(channel) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    const double noise = static_cast<double>(h >> 24) / 255.0 - 0.5;
    const double wave = std::sin(x * 0.05 + channel) * std::cos(y * 0.043) + std::sin((x + 2 * y) * 0.011 * (channel + 1));
    const double v = 128 + 70 * wave + 36 * noise;
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

Bytes SceneJpeg(int width, int height, int dx, int dy, int quality, int hSampling, int vSampling) {
    Encoder e;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    Guarded(e.errors, "encode", [&] {
        e.SetRgbInput(width, height, quality, hSampling, vSampling);
        jpeg_start_compress(&e.info, TRUE);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c) row[static_cast<std::size_t>(x) * 3 + static_cast<std::size_t>(c)] = Scene(x - dx, y - dy, c);
            JSAMPROW p = row.data();
            jpeg_write_scanlines(&e.info, &p, 1);
        }
        jpeg_finish_compress(&e.info);
    });
    return e.Take();
}

RgbImage Crop(const RgbImage& image, int x, int y, int width, int height) {
    RgbImage out(width, height);
    for (int r = 0; r < height; ++r)
        std::memcpy(out.Row(r), image.Row(y + r) + static_cast<std::size_t>(x) * 3, out.RowBytes());
    return out;
}

RgbImage BoxReduce(const RgbImage& image, int factorX, int factorY) {
    RgbImage out((image.width + factorX - 1) / factorX, (image.height + factorY - 1) / factorY);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0, n = 0;
                for (int sy = y * factorY; sy < std::min(image.height, (y + 1) * factorY); ++sy)
                    for (int sx = x * factorX; sx < std::min(image.width, (x + 1) * factorX); ++sx, ++n)
                        sum += image.Row(sy)[sx * 3 + c];
                out.Row(y)[x * 3 + c] = static_cast<std::uint8_t>((sum + n / 2) / n);
            }
    return out;
}

double Psnr(const RgbImage& a, const RgbImage& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const double d = static_cast<double>(a.pixels[i]) - b.pixels[i];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.pixels.size())));
}

}  // namespace veltrane::stereo::testing_support
