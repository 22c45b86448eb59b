// SPDX-License-Identifier: GPL-3.0-or-later
// Animated GIF output: one palette for every frame from libimagequant, each frame dithered onto
// it, the frames written by giflib. The file:
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

#include "imaging/stereo/image_writers.h"
#include "imaging/stereo/jpeg_codec.h"

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

// The nearest palette entry to a colour, looked up at 6 bits per channel and remembered: a
// photograph's frames hold a few ten thousand such colours, against 262144 possible.
class NearestColour {
public:
    explicit NearestColour(const liq_palette& palette) : palette_(palette), cache_(1 << 18, -1) {}
    int Of(int r, int g, int b) {
        const int key = (r >> 2) << 12 | (g >> 2) << 6 | (b >> 2);
        int& entry = cache_[static_cast<std::size_t>(key)];
        if (entry < 0) {
            // The centre of the 6-bit cell.
            const int cr = (r & ~3) + 2, cg = (g & ~3) + 2, cb = (b & ~3) + 2;
            int best = 0, bestDistance = 1 << 30;
            for (unsigned i = 0; i < palette_.count; ++i) {
                const liq_color& c = palette_.entries[i];
                const int dr = c.r - cr, dg = c.g - cg, db = c.b - cb;
                const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;  // green counts most
                if (distance < bestDistance) bestDistance = distance, best = static_cast<int>(i);
            }
            entry = best;
        }
        return entry;
    }

private:
    const liq_palette& palette_;
    std::vector<int> cache_;
};

// Floyd-Steinberg error diffusion onto the palette, in serpentine order (rows alternate their
// direction, which keeps the diffusion from drawing diagonal streaks). Errors are kept in
// sixteenths.
void Dither(const RgbImage& frame, NearestColour& nearest, const liq_palette& palette, std::vector<std::uint8_t>& out) {
    const int width = frame.width;
    out.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(frame.height));
    // The errors carried to this row and the next, with a pixel of margin at either end.
    std::vector<int> current(static_cast<std::size_t>(width + 2) * 3, 0), next(current.size(), 0);
    for (int y = 0; y < frame.height; ++y) {
        std::fill(next.begin(), next.end(), 0);
        const bool forward = y % 2 == 0;
        const int step = forward ? 1 : -1;
        const std::uint8_t* row = frame.Row(y);
        std::uint8_t* indexes = out.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int i = 0; i < width; ++i) {
            const int x = forward ? i : width - 1 - i;
            int want[3];
            for (int c = 0; c < 3; ++c) {
                const int v = row[x * 3 + c] + (current[static_cast<std::size_t>(x + 1) * 3 + static_cast<std::size_t>(c)] + 8) / 16;
                want[c] = v < 0 ? 0 : v > 255 ? 255 : v;
            }
            const int index = nearest.Of(want[0], want[1], want[2]);
            indexes[x] = static_cast<std::uint8_t>(index);
            const liq_color& got = palette.entries[index];
            const int error[3] = {want[0] - got.r, want[1] - got.g, want[2] - got.b};
            for (int c = 0; c < 3; ++c) {
                const std::size_t at = static_cast<std::size_t>(x + 1) * 3 + static_cast<std::size_t>(c);
                const std::size_t ahead = at + static_cast<std::size_t>(3 * step);
                const std::size_t behind = at - static_cast<std::size_t>(3 * step);
                current[ahead] += error[c] * 7;
                next[behind] += error[c] * 3;
                next[at] += error[c] * 5;
                next[ahead] += error[c] * 1;
            }
        }
        current.swap(next);
    }
}

void Quantize(const std::vector<const RgbImage*>& frames, Palettized& out) {
    LiqPtr<liq_attr> attr(liq_attr_create());
    if (!attr) Fail("out of memory");
    liq_set_max_colors(attr.get(), 256);
    // Speed 8 of 1..10: a palette as good to the eye for a photograph, at a fraction of the time.
    liq_set_speed(attr.get(), 8);
    LiqPtr<liq_histogram> histogram(liq_histogram_create(attr.get()));
    if (!histogram) Fail("out of memory");
    // The palette is chosen from every kSample-th pixel of every kSample-th row of all frames
    // (the colours of a photograph hardly change at that distance), in the RGBA that
    // libimagequant reads.
    constexpr int kSample = 3;
    for (const RgbImage* frame : frames) {
        const int width = (frame->width + kSample - 1) / kSample, height = (frame->height + kSample - 1) / kSample;
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
        std::uint8_t* p = rgba.data();
        for (int y = 0; y < frame->height; y += kSample)
            for (int x = 0; x < frame->width; x += kSample, p += 4) {
                std::memcpy(p, frame->Row(y) + static_cast<std::size_t>(x) * 3, 3);
                p[3] = 255;
            }
        LiqPtr<liq_image> image(liq_image_create_rgba(attr.get(), rgba.data(), width, height, 0));
        if (!image || liq_histogram_add_image(histogram.get(), attr.get(), image.get()) != LIQ_OK)
            Fail("cannot make a palette");
    }
    liq_result* raw = nullptr;
    if (liq_histogram_quantize(histogram.get(), attr.get(), &raw) != LIQ_OK) Fail("cannot make a palette");
    LiqPtr<liq_result> result(raw);
    const liq_palette* palette = liq_get_palette(result.get());
    if (palette == nullptr || palette->count == 0) Fail("cannot make a palette");
    NearestColour nearest(*palette);
    out.indexes.resize(frames.size());
    for (std::size_t f = 0; f < frames.size(); ++f) Dither(*frames[f], nearest, *palette, out.indexes[f]);
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
