// SPDX-License-Identifier: GPL-3.0-or-later
// The image libraries of the Windows build, each used once through the calls a picture writer
// needs: a round trip through zlib, libpng, giflib and libwebp (whose container is then read by
// libwebpmux and libwebpdemux), a palette from libimagequant, and, where it was built, a HEIC
// picture coded by libheif with x265 and decoded with libde265.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <libimagequant.h>
#include <png.h>
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef VELTRANE_WITH_LIBHEIF
#include <libheif/heif.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// 4 x 2 RGB pixels of two colours.
constexpr int kWidth = 4, kHeight = 2;
const Bytes kPixels = {200, 30, 30, 200, 30, 30, 110, 160, 230, 110, 160, 230,
                       110, 160, 230, 110, 160, 230, 200, 30, 30, 200, 30, 30};

TEST(ImageLibraries, ZlibRoundTrip) {
    uLongf packedSize = compressBound(static_cast<uLong>(kPixels.size()));
    Bytes packed(packedSize);
    ASSERT_EQ(compress2(packed.data(), &packedSize, kPixels.data(), static_cast<uLong>(kPixels.size()), 9), Z_OK);
    Bytes unpacked(kPixels.size());
    uLongf unpackedSize = static_cast<uLongf>(unpacked.size());
    ASSERT_EQ(uncompress(unpacked.data(), &unpackedSize, packed.data(), packedSize), Z_OK);
    EXPECT_EQ(unpacked, kPixels);
}

TEST(ImageLibraries, PngRoundTrip) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    ASSERT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, kPixels.data(), 0, nullptr)) << image.message;
    Bytes png(size);
    ASSERT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, kPixels.data(), 0, nullptr)) << image.message;

    png_image read{};
    read.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&read, png.data(), size)) << read.message;
    read.format = PNG_FORMAT_RGB;
    Bytes pixels(PNG_IMAGE_SIZE(read));
    ASSERT_TRUE(png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr)) << read.message;
    EXPECT_EQ(pixels, kPixels);
}

TEST(ImageLibraries, GifRoundTrip) {
    // Palette indices of the pixels above: 0 red, 1 blue.
    Bytes indices;
    for (std::size_t p = 0; p < kPixels.size(); p += 3) indices.push_back(kPixels[p] == 200 ? 0 : 1);
    GifColorType colours[2] = {{200, 30, 30}, {110, 160, 230}};
    Bytes gif;
    int error = 0;
    GifFileType* out = EGifOpen(&gif, [](GifFileType* f, const GifByteType* data, int n) {
        auto* sink = static_cast<Bytes*>(f->UserData);
        sink->insert(sink->end(), data, data + n);
        return n;
    }, &error);
    ASSERT_NE(out, nullptr) << GifErrorString(error);
    ColorMapObject* map = GifMakeMapObject(2, colours);
    EXPECT_EQ(EGifPutScreenDesc(out, kWidth, kHeight, 1, 0, map), GIF_OK);
    EXPECT_EQ(EGifPutImageDesc(out, 0, 0, kWidth, kHeight, false, nullptr), GIF_OK);
    for (int y = 0; y < kHeight; ++y) EXPECT_EQ(EGifPutLine(out, indices.data() + y * kWidth, kWidth), GIF_OK);
    EXPECT_EQ(EGifCloseFile(out, &error), GIF_OK);
    GifFreeMapObject(map);

    struct Source {
        const Bytes* bytes;
        std::size_t at;
    } source{&gif, 0};
    GifFileType* in = DGifOpen(&source, [](GifFileType* f, GifByteType* data, int n) {
        auto* s = static_cast<Source*>(f->UserData);
        const int left = static_cast<int>(s->bytes->size() - s->at);
        if (n > left) n = left;
        std::memcpy(data, s->bytes->data() + s->at, static_cast<std::size_t>(n));
        s->at += static_cast<std::size_t>(n);
        return n;
    }, &error);
    ASSERT_NE(in, nullptr) << GifErrorString(error);
    ASSERT_EQ(DGifSlurp(in), GIF_OK) << GifErrorString(in->Error);
    ASSERT_EQ(in->ImageCount, 1);
    EXPECT_EQ(Bytes(in->SavedImages[0].RasterBits, in->SavedImages[0].RasterBits + kWidth * kHeight), indices);
    EXPECT_EQ(in->SColorMap->Colors[1].Blue, 230);
    DGifCloseFile(in, &error);
}

TEST(ImageLibraries, WebpRoundTripThroughMuxAndDemux) {
    std::uint8_t* encoded = nullptr;
    const std::size_t size = WebPEncodeLosslessRGB(kPixels.data(), kWidth, kHeight, kWidth * 3, &encoded);
    ASSERT_GT(size, 0u);
    int width = 0, height = 0;
    std::uint8_t* decoded = WebPDecodeRGB(encoded, size, &width, &height);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(Bytes(decoded, decoded + kPixels.size()), kPixels);
    WebPFree(decoded);

    const WebPData data = {encoded, size};
    WebPMux* mux = WebPMuxCreate(&data, 0);
    ASSERT_NE(mux, nullptr);
    EXPECT_EQ(WebPMuxGetCanvasSize(mux, &width, &height), WEBP_MUX_OK);
    EXPECT_EQ(width * 10 + height, kWidth * 10 + kHeight);
    WebPMuxDelete(mux);
    WebPDemuxer* demux = WebPDemux(&data);
    ASSERT_NE(demux, nullptr);
    EXPECT_EQ(WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT), 1u);
    WebPDemuxDelete(demux);
    WebPFree(encoded);
}

TEST(ImageLibraries, ImageQuantPaletteHoldsBothColours) {
    Bytes rgba;
    for (std::size_t p = 0; p < kPixels.size(); p += 3) rgba.insert(rgba.end(), {kPixels[p], kPixels[p + 1], kPixels[p + 2], 255});
    liq_attr* attr = liq_attr_create();
    liq_image* image = liq_image_create_rgba(attr, rgba.data(), kWidth, kHeight, 0);
    liq_result* result = nullptr;
    ASSERT_EQ(liq_image_quantize(image, attr, &result), LIQ_OK);
    Bytes indices(kWidth * kHeight);
    ASSERT_EQ(liq_write_remapped_image(result, image, indices.data(), indices.size()), LIQ_OK);
    const liq_palette* palette = liq_get_palette(result);
    ASSERT_EQ(palette->count, 2u);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const liq_color c = palette->entries[indices[i]];
        EXPECT_EQ(Bytes({c.r, c.g, c.b}), Bytes(kPixels.begin() + static_cast<std::ptrdiff_t>(i * 3),
                                               kPixels.begin() + static_cast<std::ptrdiff_t>(i * 3 + 3)));
    }
    liq_result_destroy(result);
    liq_image_destroy(image);
    liq_attr_destroy(attr);
}

#ifdef VELTRANE_WITH_LIBHEIF
TEST(ImageLibraries, HeicRoundTripThroughX265AndLibde265) {
    // A smooth 64 x 64 gradient, coded at high quality: it decodes to within a few levels.
    constexpr int kSide = 64;
    heif_image* image = nullptr;
    ASSERT_EQ(heif_image_create(kSide, kSide, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code,
              heif_error_Ok);
    ASSERT_EQ(heif_image_add_plane(image, heif_channel_interleaved, kSide, kSide, 8).code, heif_error_Ok);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            for (int c = 0; c < 3; ++c)
                plane[y * stride + x * 3 + c] = static_cast<std::uint8_t>(c == 0 ? x * 4 : c == 1 ? y * 4 : 128);

    heif_context* writer = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    ASSERT_EQ(heif_context_get_encoder_for_format(writer, heif_compression_HEVC, &encoder).code, heif_error_Ok);
    heif_encoder_set_lossy_quality(encoder, 95);
    // One thread: x265's thread pools pin themselves to NUMA nodes, which wine refuses (noisily).
    EXPECT_EQ(heif_encoder_set_parameter_string(encoder, "x265:pools", "none").code, heif_error_Ok);
    ASSERT_EQ(heif_context_encode_image(writer, image, encoder, nullptr, nullptr).code, heif_error_Ok);
    heif_encoder_release(encoder);
    Bytes file;
    heif_writer sink{};
    sink.writer_api_version = 1;
    sink.write = [](heif_context*, const void* data, size_t size, void* userdata) {
        auto* bytes = static_cast<Bytes*>(userdata);
        bytes->insert(bytes->end(), static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size);
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
    };
    ASSERT_EQ(heif_context_write(writer, &sink, &file).code, heif_error_Ok);
    heif_context_free(writer);

    heif_context* reader = heif_context_alloc();
    ASSERT_EQ(heif_context_read_from_memory_without_copy(reader, file.data(), file.size(), nullptr).code, heif_error_Ok);
    heif_image_handle* handle = nullptr;
    ASSERT_EQ(heif_context_get_primary_image_handle(reader, &handle).code, heif_error_Ok);
    heif_image* decoded = nullptr;
    ASSERT_EQ(heif_decode_image(handle, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code,
              heif_error_Ok);
    int decodedStride = 0;
    const std::uint8_t* pixels = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &decodedStride);
    ASSERT_EQ(heif_image_get_width(decoded, heif_channel_interleaved), kSide);
    long difference = 0;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide * 3; ++x) difference += std::abs(pixels[y * decodedStride + x] - plane[y * stride + x]);
    EXPECT_LT(difference / (kSide * kSide * 3), 4);
    heif_image_release(decoded);
    heif_image_handle_release(handle);
    heif_context_free(reader);
    heif_image_release(image);
}
#endif

}  // namespace
