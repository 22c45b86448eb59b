// Animated GIF output: one palette for every frame from libimagequant, the frames written by
// giflib. The file:
//   header "GIF89a", logical screen (width, height, the global palette of 256 colours)
//   application extension "NETSCAPE2.0" with loop count 0 (loop forever)
//   per frame: graphic control extension (the delay in hundredths of a second), image
//   descriptor at (0, 0) of the full size, LZW-coded palette indexes
//   trailer
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <gif_lib.h>
#include <libimagequant.h>

#include "stereo/image_writers.h"
#include "stereo/jpeg_codec.h"

namespace veltrane::stereo {
namespace {

// libimagequant's objects, freed with their owner.
struct LiqFree {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
    void operator()(liq_image* p) const { liq_image_destroy(p); }
    void operator()(liq_histogram* p) const { liq_histogram_destroy(p); }
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};
template <typename T>
using LiqPtr = std::unique_ptr<T, LiqFree>;

[[noreturn]] void Fail(const std::string& cause) { throw StereoError("cannot encode the picture: " + cause); }

int AppendBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        return 0;  // giflib then fails with a write error
    }
    return length;
}

struct GifClose {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

// The palette and every frame's indexes.
struct Palettized {
    ColorMapObject* colours = nullptr;
    std::vector<std::vector<std::uint8_t>> indexes;
    ~Palettized() { GifFreeMapObject(colours); }
};

void Quantize(const std::vector<const RgbImage*>& frames, Palettized& out) {
    LiqPtr<liq_attr> attr(liq_attr_create());
    if (!attr) Fail("out of memory");
    liq_set_max_colors(attr.get(), 256);
    liq_set_speed(attr.get(), 8);
    LiqPtr<liq_histogram> histogram(liq_histogram_create(attr.get()));
    // libimagequant reads RGBA; each frame is widened once and kept until it is remapped.
    std::vector<std::vector<std::uint8_t>> rgba(frames.size());
    std::vector<LiqPtr<liq_image>> images;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const RgbImage& frame = *frames[f];
        const std::size_t n = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
        rgba[f].resize(n * 4);
        for (std::size_t i = 0; i < n; ++i) {
            std::memcpy(&rgba[f][i * 4], &frame.pixels[i * 3], 3);
            rgba[f][i * 4 + 3] = 255;
        }
        images.emplace_back(liq_image_create_rgba(attr.get(), rgba[f].data(), frame.width, frame.height, 0));
        if (!images.back() || liq_histogram_add_image(histogram.get(), attr.get(), images.back().get()) != LIQ_OK)
            Fail("cannot make a palette");
    }
    liq_result* raw = nullptr;
    if (liq_histogram_quantize(histogram.get(), attr.get(), &raw) != LIQ_OK) Fail("cannot make a palette");
    LiqPtr<liq_result> result(raw);
    liq_set_dithering_level(result.get(), 1.0f);
    out.indexes.resize(frames.size());
    for (std::size_t f = 0; f < frames.size(); ++f) {
        out.indexes[f].resize(static_cast<std::size_t>(frames[f]->width) * static_cast<std::size_t>(frames[f]->height));
        if (liq_write_remapped_image(result.get(), images[f].get(), out.indexes[f].data(), out.indexes[f].size()) != LIQ_OK)
            Fail("cannot map the picture to its palette");
        std::vector<std::uint8_t>().swap(rgba[f]);
    }
    const liq_palette* palette = liq_get_palette(result.get());
    // A GIF colour table has a power of two entries; the unused ones stay black.
    out.colours = GifMakeMapObject(256, nullptr);
    if (out.colours == nullptr) Fail("out of memory");
    for (unsigned i = 0; i < palette->count && i < 256; ++i)
        out.colours->Colors[i] = {palette->entries[i].r, palette->entries[i].g, palette->entries[i].b};
}

}  // namespace

std::vector<std::uint8_t> EncodeAnimatedGif(const std::vector<const RgbImage*>& frames, int delayMs) {
    if (frames.empty()) Fail("no frames");
    const int width = frames[0]->width, height = frames[0]->height;
    if (width > 0xFFFF || height > 0xFFFF) Fail("a GIF frame is at most 65535 pixels across");
    Palettized palettized;
    Quantize(frames, palettized);

    std::vector<std::uint8_t> out;
    int error = 0;
    std::unique_ptr<GifFileType, GifClose> gif(EGifOpen(&out, AppendBytes, &error));
    if (!gif) Fail(GifErrorString(error));
    auto check = [&](int status) {
        if (status != GIF_OK) Fail(GifErrorString(gif->Error));
    };
    EGifSetGifVersion(gif.get(), true);
    check(EGifPutScreenDesc(gif.get(), width, height, 8, 0, palettized.colours));
    // Loop forever: sub-block 1, then the little-endian loop count 0.
    static const GifByteType kNetscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType kLoopForever[] = {1, 0, 0};
    check(EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE));
    check(EGifPutExtensionBlock(gif.get(), sizeof kNetscape, kNetscape));
    check(EGifPutExtensionBlock(gif.get(), sizeof kLoopForever, kLoopForever));
    check(EGifPutExtensionTrailer(gif.get()));
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = (delayMs + 5) / 10;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        check(EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension));
        check(EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr));
        for (int y = 0; y < height; ++y)
            check(EGifPutLine(gif.get(), palettized.indexes[f].data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), width));
    }
    GifFileType* closing = gif.release();
    if (EGifCloseFile(closing, &error) != GIF_OK) Fail(GifErrorString(error));
    return out;
}

}  // namespace veltrane::stereo
