// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/png/png_encoder.h"

#include <csetjmp>
#include <cstdio>
#include <new>
#include <string>

#include <png.h>

namespace veltrane::png {
namespace {

struct PngErrors {
    std::jmp_buf jump{};
    char message[200] = {};
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    auto* errors = static_cast<PngErrors*>(png_get_error_ptr(png));
    std::snprintf(errors->message, sizeof errors->message, "%s", message);
    std::longjmp(errors->jump, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    if (failed) png_error(png, "out of memory");
}

void NoFlush(png_structp) {}

}  // namespace

struct PngEncoder::State {
    PngErrors errors;
    std::vector<std::uint8_t> out;
    png_structp png = nullptr;
    png_infop info = nullptr;

    ~State() { png_destroy_write_struct(&png, info != nullptr ? &info : nullptr); }

    template <typename Body>
    void Guarded(Body&& body) {
        if (setjmp(errors.jump) != 0) throw PngEncodeError(errors.message[0] != 0 ? errors.message : "out of memory");
        body();
    }
};

PngEncoder::PngEncoder(int width, int height, int bitDepth, PngColour colour) : state_(std::make_unique<State>()) {
    State& s = *state_;
    const std::size_t samples = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                                (colour == PngColour::Rgb ? 3 : 1) * static_cast<std::size_t>(bitDepth / 8);
    s.out.reserve(samples / 2);
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s.errors, OnError, OnWarning);
    if (s.png == nullptr) throw PngEncodeError("out of memory");
    s.Guarded([&] {
        s.info = png_create_info_struct(s.png);
        if (s.info == nullptr) png_error(s.png, "out of memory");
        png_set_write_fn(s.png, &s.out, AppendBytes, NoFlush);
        png_set_IHDR(s.png, s.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth,
                     colour == PngColour::Rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(s.png, 3);
        png_write_info(s.png, s.info);
    });
}

PngEncoder::~PngEncoder() = default;

void PngEncoder::WriteRow(const std::uint8_t* row) {
    State& s = *state_;
    s.Guarded([&] { png_write_row(s.png, row); });
}

std::vector<std::uint8_t> PngEncoder::Finish() {
    State& s = *state_;
    s.Guarded([&] { png_write_end(s.png, s.info); });
    return std::move(s.out);
}

}  // namespace veltrane::png
