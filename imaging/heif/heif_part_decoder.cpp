// SPDX-License-Identifier: GPL-3.0-or-later
// One HEIF image item to PNG (heif_part_decoder.h), written through the imaging wing's PNG
// encoder.
#include "imaging/heif/heif_part_decoder.h"

#include <algorithm>
#include <exception>
#include <new>
#include <ostream>

#include "core/common/exit_codes.h"
#include "core/common/file_io.h"
#include "core/heif_boxes/heif_structure.h"
#include "core/parts/heif_parts.h"
#include "imaging/heif/libheif_support.h"
#include "imaging/png/png_encoder.h"

namespace veltrane::heif {

namespace {

struct ImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
using ImagePtr = std::unique_ptr<heif_image, ImageRelease>;

// A decoded picture as PNG wants its rows: big-endian samples, one row after the other.
struct PngPicture {
    int width = 0, height = 0;
    png::PngColour colour = png::PngColour::Grey;
    int bitDepth = 8;
    std::size_t rowBytes = 0;
    std::vector<std::uint8_t> rows;
};

// Whether the coded picture is grey, and its bit depth, from the codec configuration of the
// single-image file's items.
std::pair<bool, int> GreyAndDepth(const std::vector<std::uint8_t>& file) {
    const auto s = heif_boxes::ParseHeif(file);
    bool grey = false;
    int depth = 8;
    for (const auto& item : s.items) {
        if (item.chromaFormat == 0) grey = true;
        depth = std::max(depth, item.bitDepth);
    }
    return {grey, depth};
}

PngPicture Decode(const std::vector<std::uint8_t>& file) {
    const auto [grey, depth] = GreyAndDepth(file);
    auto context = detail::NewContext();
    detail::Check(heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr),
                  "libheif cannot read the item");
    heif_image_handle* rawHandle = nullptr;
    detail::Check(heif_context_get_primary_image_handle(context.get(), &rawHandle), "libheif finds no image");
    const detail::HandlePtr handle(rawHandle);
    heif_image* rawImage = nullptr;
    detail::Check(heif_decode_image(handle.get(), &rawImage, grey ? heif_colorspace_monochrome : heif_colorspace_RGB,
                                    grey ? heif_chroma_monochrome : heif_chroma_interleaved_RGB, nullptr),
                  "libheif cannot decode the item");
    const ImagePtr image(rawImage);
    const heif_channel channel = grey ? heif_channel_Y : heif_channel_interleaved;
    PngPicture picture;
    picture.width = heif_image_get_width(image.get(), channel);
    picture.height = heif_image_get_height(image.get(), channel);
    const int bits = heif_image_get_bits_per_pixel_range(image.get(), channel);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(image.get(), channel, &stride);
    if (plane == nullptr || picture.width <= 0 || picture.height <= 0)
        throw HeifError("libheif decoded no picture");
    const auto width = static_cast<std::size_t>(picture.width), height = static_cast<std::size_t>(picture.height);
    picture.colour = grey ? png::PngColour::Grey : png::PngColour::Rgb;
    if (grey && depth > 8 && bits > 8) {
        // Samples of bits bits in 16-bit words; scaled to the full range by repeating their top
        // bits below them (1023 becomes 65535).
        picture.bitDepth = 16;
        picture.rowBytes = width * 2;
        picture.rows.resize(picture.rowBytes * height);
        for (std::size_t y = 0; y < height; ++y) {
            const auto* in = reinterpret_cast<const std::uint16_t*>(plane + y * static_cast<std::size_t>(stride));
            std::uint8_t* out = picture.rows.data() + y * picture.rowBytes;
            for (std::size_t x = 0; x < width; ++x) {
                const std::uint32_t v = in[x] & ((1u << bits) - 1);
                const auto wide = static_cast<std::uint16_t>((v << (16 - bits)) | (v >> (2 * bits - 16)));
                out[2 * x] = static_cast<std::uint8_t>(wide >> 8);
                out[2 * x + 1] = static_cast<std::uint8_t>(wide);
            }
        }
        return picture;
    }
    if (bits != 8) throw HeifError("libheif decoded " + std::to_string(bits) + "-bit samples where 8 were asked for");
    picture.rowBytes = width * (grey ? 1 : 3);
    picture.rows.resize(picture.rowBytes * height);
    for (std::size_t y = 0; y < height; ++y)
        std::copy_n(plane + y * static_cast<std::size_t>(stride), picture.rowBytes, picture.rows.data() + y * picture.rowBytes);
    return picture;
}

}  // namespace

void DecodeHeifItemToPng(const std::string& sourcePath, std::uint32_t itemId, const std::string& pngPath) {
    std::vector<std::uint8_t> single;
    {
        InputFile source(sourcePath);
        try {
            single = parts::SingleImageHeif(source, itemId);
        } catch (const heif_boxes::HeifFormatError& e) {
            throw HeifError(e.what());
        }
    }
    const PngPicture picture = Decode(single);
    single = {};
    std::vector<std::uint8_t> file;
    try {
        png::PngEncoder encoder(picture.width, picture.height, picture.bitDepth, picture.colour);
        for (std::size_t y = 0; y < static_cast<std::size_t>(picture.height); ++y)
            encoder.WriteRow(picture.rows.data() + y * picture.rowBytes);
        file = encoder.Finish();
    } catch (const png::PngEncodeError& e) {
        throw HeifError(std::string("cannot encode the PNG file: ") + e.what());
    }
    AtomicOutputFile out(pngPath);
    out.Write(file.data(), file.size());
    out.Commit();
}

int RunDecodeHeifItemCommand(const std::vector<std::string>& words, std::ostream&, std::ostream& err) {
    if (words.size() != 3) {
        err << "veltrane: --decode-heif-item needs SOURCE ITEM PNG\n";
        return kExitUsage;
    }
    std::uint32_t item = 0;
    try {
        const unsigned long value = std::stoul(words[1]);
        if (value == 0 || value > 0xFFFFFFFFul) throw std::out_of_range(words[1]);
        item = static_cast<std::uint32_t>(value);
    } catch (const std::exception&) {
        err << "veltrane: --decode-heif-item: not an item number: " << words[1] << "\n";
        return kExitUsage;
    }
    try {
        DecodeHeifItemToPng(words[0], item, words[2]);
        return kExitOk;
    } catch (const std::exception& e) {
        err << "veltrane: " << words[0] << ": " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace veltrane::heif
